#include "row_bands.h"

#include <cwchar>

namespace {

constexpr LONG bandRunning = 0;
constexpr LONG bandDone = 1;
constexpr LONG bandAwaited = 2;

// How long the calling thread spins for a worker's band before it sleeps:
// about the time Wine takes to wake a thread, which is what the spin saves.
constexpr int32_t spinsBeforeSleep = 20000;

uint16_t ReadX87Control()
{
    uint16_t control;
    __asm__ __volatile__("fnstcw %0" : "=m"(control));
    return control;
}

void WriteX87Control(uint16_t control)
{
    __asm__ __volatile__("fldcw %0" : : "m"(control));
}

// Assembled whatever the compiler's target: only run when sseState says the
// processor has the register.
uint32_t ReadMxcsr()
{
    uint32_t value;
    __asm__ __volatile__("stmxcsr %0" : "=m"(value));
    return value;
}

void WriteMxcsr(uint32_t value)
{
    __asm__ __volatile__("ldmxcsr %0" : : "m"(value));
}

void RunBand(const BandCall& call, int32_t band)
{
    const int32_t first = call.bandRows[band];
    const int32_t rows = call.bandRows[band + 1] - first;
    if (rows <= 0) {
        return;
    }
    YCPixel* host = call.host + static_cast<ptrdiff_t>(first) * call.hostPitch;
    unsigned char* texels = call.texels + first * call.texelStride;
    if (call.pack != nullptr) {
        call.pack(host, call.hostPitch, texels, call.texelPitch, call.width, rows);
    } else {
        call.unpack(host, call.hostPitch, texels, call.texelPitch, call.width, rows);
    }
}

// A band on a worker, under the calling thread's number state; the worker's
// own comes back after it.
void RunBandAsCaller(const RowBands* bands, int32_t band)
{
    const uint16_t ownControl = ReadX87Control();
    const uint32_t ownMxcsr = bands->sseState ? ReadMxcsr() : 0;
    WriteX87Control(bands->call.x87Control);
    if (bands->sseState) {
        WriteMxcsr(bands->call.mxcsr);
    }
    RunBand(bands->call, band);
    if (bands->sseState) {
        WriteMxcsr(ownMxcsr);
    }
    WriteX87Control(ownControl);
}

// Waits for a start, converts band index + 1, says it is done. Leaves
// through FreeLibraryAndExitThread: the module stays loaded while a worker
// runs, even when the host unloads the plug-in without onExit.
DWORD WINAPI WorkerMain(void* parameter)
{
    RowWorker* worker = static_cast<RowWorker*>(parameter);
    RowBands* bands = worker->bands;
    const int32_t index = worker->index;
    const HMODULE module = worker->module;
    for (;;) {
        if (WaitForSingleObject(bands->startEvents[index], INFINITE) != WAIT_OBJECT_0 ||
            bands->call.stop) {
            break;
        }
        RunBandAsCaller(bands, index + 1);
        if (InterlockedExchange(&bands->bandState[index], bandDone) == bandAwaited) {
            SetEvent(bands->doneEvents[index]);
        }
    }
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

void CloseIfOpen(HANDLE& handle)
{
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

bool StartWorker(RowBands* bands, int32_t index)
{
    RowWorker& worker = bands->workers[index];
    worker.bands = bands;
    worker.index = index;
    worker.module = nullptr;
    bands->startEvents[index] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    bands->doneEvents[index] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (bands->startEvents[index] == nullptr || bands->doneEvents[index] == nullptr ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&WorkerMain), &worker.module)) {
        CloseIfOpen(bands->startEvents[index]);
        CloseIfOpen(bands->doneEvents[index]);
        return false;
    }
    bands->threads[index] = CreateThread(nullptr, 64 * 1024, WorkerMain, &worker,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (bands->threads[index] == nullptr) {
        FreeLibrary(worker.module);
        CloseIfOpen(bands->startEvents[index]);
        CloseIfOpen(bands->doneEvents[index]);
        return false;
    }
    return true;
}

// Waits for worker i's band: spins while the worker is likely to finish
// soon, then sleeps on its done event, which the worker sets only when it
// finds the band awaited.
void AwaitBand(RowBands* bands, int32_t i)
{
    for (int32_t spin = 0; spin < spinsBeforeSleep; ++spin) {
        if (bands->bandState[i] == bandDone) {
            return;
        }
        YieldProcessor();
    }
    if (InterlockedCompareExchange(&bands->bandState[i], bandAwaited, bandRunning) ==
        bandRunning) {
        WaitForSingleObject(bands->doneEvents[i], INFINITE);
    }
}

// Splits the rows, wakes the workers, converts the first band here and
// waits for the others. A worker that cannot be woken has its band done
// here as well.
void RunInBands(RowBands* bands, int32_t height)
{
    BandCall& call = bands->call;
    const int32_t bandCount = bands->workerCount + 1;
    for (int32_t band = 0; band <= bandCount; ++band) {
        call.bandRows[band] =
            static_cast<int32_t>(static_cast<int64_t>(height) * band / bandCount);
    }
    call.x87Control = ReadX87Control();
    call.mxcsr = bands->sseState ? ReadMxcsr() : 0;
    call.stop = false;

    bool signalled[maxRowWorkers] = {};
    bool missed[maxRowWorkers + 1] = {};
    for (int32_t i = 0; i < bands->workerCount; ++i) {
        bands->bandState[i] = bandRunning;
        signalled[i] = SetEvent(bands->startEvents[i]) != 0;
        missed[i + 1] = !signalled[i];
    }
    RunBand(call, 0);
    for (int32_t band = 1; band < bandCount; ++band) {
        if (missed[band]) {
            RunBand(call, band);
        }
    }
    for (int32_t i = 0; i < bands->workerCount; ++i) {
        if (signalled[i]) {
            AwaitBand(bands, i);
        }
    }
}

bool SplitsFrame(const RowBands* bands, int32_t width, int32_t height)
{
    return bands != nullptr && bands->workerCount > 0 && width > 0 && height > 1 &&
           static_cast<int64_t>(width) * height >= bands->minimumPixels;
}

}  // namespace

void ClearRowBands(RowBands* bands)
{
    bands->workerCount = 0;
    bands->minimumPixels = rowBandsMinimumPixels;
    bands->sseState = false;
    for (int32_t i = 0; i < maxRowWorkers; ++i) {
        bands->threads[i] = nullptr;
        bands->startEvents[i] = nullptr;
        bands->doneEvents[i] = nullptr;
        bands->bandState[i] = bandDone;
    }
    bands->call = BandCall{};
}

int32_t RowBandsThreadCount()
{
    int32_t count = 0;
    wchar_t forced[8];
    const DWORD length = GetEnvironmentVariableW(L"KELVO_THREADS", forced, 8);
    if (length > 0 && length < 8) {
        count = static_cast<int32_t>(wcstol(forced, nullptr, 10));
    }
    if (count < 1) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        count = static_cast<int32_t>(system.dwNumberOfProcessors);
    }
    if (count < 1) {
        return 1;
    }
    return count > maxRowWorkers + 1 ? maxRowWorkers + 1 : count;
}

bool StartRowBands(RowBands* bands, int32_t threadCount, bool sseState)
{
    bands->sseState = sseState;
    bands->call.stop = false;
    const int32_t wanted = threadCount - 1 > maxRowWorkers ? maxRowWorkers : threadCount - 1;
    while (bands->workerCount < wanted) {
        if (!StartWorker(bands, bands->workerCount)) {
            return false;
        }
        ++bands->workerCount;
    }
    return true;
}

void StopRowBands(RowBands* bands)
{
    const int32_t count = bands->workerCount;
    if (count == 0) {
        return;
    }
    bands->call.stop = true;
    HANDLE waitFor[maxRowWorkers];
    int32_t signalled = 0;
    for (int32_t i = 0; i < count; ++i) {
        // A worker that cannot be told to leave stays blocked; its module
        // reference keeps its code loaded.
        if (SetEvent(bands->startEvents[i])) {
            waitFor[signalled++] = bands->threads[i];
        }
    }
    if (signalled > 0) {
        WaitForMultipleObjects(signalled, waitFor, TRUE, INFINITE);
    }
    for (int32_t i = 0; i < count; ++i) {
        CloseIfOpen(bands->threads[i]);
        CloseIfOpen(bands->startEvents[i]);
        CloseIfOpen(bands->doneEvents[i]);
    }
    bands->workerCount = 0;
}

void PackInBands(RowBands* bands, PackRowsFunction pack, int32_t texelBytes, const YCPixel* host,
                 int32_t hostPitch, void* texels, int32_t texelPitch, int32_t width,
                 int32_t height)
{
    if (!SplitsFrame(bands, width, height)) {
        pack(host, hostPitch, texels, texelPitch, width, height);
        return;
    }
    BandCall& call = bands->call;
    call.pack = pack;
    call.unpack = nullptr;
    call.host = const_cast<YCPixel*>(host);  // only read by a pack
    call.hostPitch = hostPitch;
    call.texels = static_cast<unsigned char*>(texels);
    call.texelPitch = texelPitch;
    call.texelStride = static_cast<ptrdiff_t>(texelPitch / texelBytes) * texelBytes;
    call.width = width;
    RunInBands(bands, height);
}

void UnpackInBands(RowBands* bands, UnpackRowsFunction unpack, int32_t texelBytes,
                   YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                   int32_t width, int32_t height)
{
    if (!SplitsFrame(bands, width, height)) {
        unpack(host, hostPitch, texels, texelPitch, width, height);
        return;
    }
    BandCall& call = bands->call;
    call.pack = nullptr;
    call.unpack = unpack;
    call.host = host;
    call.hostPitch = hostPitch;
    call.texels = static_cast<unsigned char*>(const_cast<void*>(texels));  // only read
    call.texelPitch = texelPitch;
    call.texelStride = static_cast<ptrdiff_t>(texelPitch / texelBytes) * texelBytes;
    call.width = width;
    RunInBands(bands, height);
}
