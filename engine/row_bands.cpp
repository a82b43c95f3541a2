#include "row_bands.h"

#include <algorithm>
#include <cwchar>

namespace {

constexpr LONG workerIdle = 0;
constexpr LONG workerCalled = 1;
constexpr LONG workerBusy = 2;
constexpr LONG workerAwaited = 3;

// How long the calling thread spins for a worker's last band before it
// sleeps: the band is short, and a sleep costs a wake-up under Wine.
constexpr int32_t spinsBeforeSleep = 20000;

// Bands per thread: small enough that the last one is soon done.
constexpr int32_t bandsPerThread = 8;

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

// Takes bands until none is left.
void TakeBands(BandCall& call)
{
    for (;;) {
        const int32_t first = InterlockedExchangeAdd(&call.nextRow, call.bandHeight);
        if (first >= call.height) {
            return;
        }
        const int32_t rows = call.height - first < call.bandHeight ? call.height - first
                                                                   : call.bandHeight;
        YCPixel* host = call.host + static_cast<ptrdiff_t>(first) * call.hostPitch;
        unsigned char* texels = call.texels + first * call.texelStride;
        if (call.pack != nullptr) {
            call.pack(host, call.hostPitch, texels, call.texelPitch, call.width, rows);
        } else {
            call.unpack(host, call.hostPitch, texels, call.texelPitch, call.width, rows);
        }
    }
}

// Bands on a worker, under the calling thread's number state; the worker's
// own comes back after them.
void TakeBandsInCallersFloatingState(RowBands* bands)
{
    const uint16_t ownControl = ReadX87Control();
    const uint32_t ownMxcsr = bands->sseState ? ReadMxcsr() : 0;
    WriteX87Control(bands->call.x87Control);
    if (bands->sseState) {
        WriteMxcsr(bands->call.mxcsr);
    }
    TakeBands(bands->call);
    if (bands->sseState) {
        WriteMxcsr(ownMxcsr);
    }
    WriteX87Control(ownControl);
}

// Waits for a call, takes bands, says it is done. A wake-up for a call the
// calling thread has already finished (it found the worker not started)
// finds the worker idle and is ignored. Leaves
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
        volatile LONG* state = &bands->workerState[index];
        if (InterlockedCompareExchange(state, workerBusy, workerCalled) != workerCalled) {
            continue;
        }
        TakeBandsInCallersFloatingState(bands);
        if (InterlockedExchange(state, workerIdle) == workerAwaited) {
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

// Ends worker i's part in the call: nothing to wait for when it has not
// started (it will find itself idle) or is done; else spins while its last
// band is likely to end soon, then sleeps on its done event, which the
// worker sets only when it finds itself awaited.
void EndWorkerCall(RowBands* bands, int32_t i)
{
    volatile LONG* state = &bands->workerState[i];
    if (InterlockedCompareExchange(state, workerIdle, workerCalled) != workerBusy) {
        return;
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    int32_t spin = 0;
    while (spin < spinsBeforeSleep && *state != workerIdle) {
        YieldProcessor();
        ++spin;
    }
    if (spin == spinsBeforeSleep &&
        InterlockedCompareExchange(state, workerAwaited, workerBusy) == workerBusy) {
        WaitForSingleObject(bands->doneEvents[i], INFINITE);
    }
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    bands->longestWaitTicks = std::max(bands->longestWaitTicks, end.QuadPart - start.QuadPart);
}

// Sets up the call (pack or unpack, whichever is given), wakes the workers,
// takes bands until none is left, and ends the workers' part. A worker that
// cannot be woken leaves its share to the others.
void RunInBands(RowBands* bands, PackRowsFunction pack, UnpackRowsFunction unpack,
                int32_t texelBytes, YCPixel* host, int32_t hostPitch, unsigned char* texels,
                int32_t texelPitch, int32_t width, int32_t height)
{
    BandCall& call = bands->call;
    call.pack = pack;
    call.unpack = unpack;
    call.host = host;
    call.hostPitch = hostPitch;
    call.texels = texels;
    call.texelPitch = texelPitch;
    call.texelStride = TexelRowStride(texelPitch, texelBytes);
    call.width = width;
    const int32_t threads = bands->workerCount + 1;
    call.height = height;
    call.bandHeight = height / (threads * bandsPerThread) > 0 ? height / (threads * bandsPerThread)
                                                              : 1;
    call.nextRow = 0;
    call.x87Control = ReadX87Control();
    call.mxcsr = bands->sseState ? ReadMxcsr() : 0;
    call.stop = false;
    for (int32_t i = 0; i < bands->workerCount; ++i) {
        InterlockedExchange(&bands->workerState[i], workerCalled);
        if (!SetEvent(bands->startEvents[i])) {
            InterlockedExchange(&bands->workerState[i], workerIdle);
        }
    }
    for (int32_t i = 0; bands->workersFirst && i < bands->workerCount; ++i) {
        while (bands->workerState[i] == workerCalled) {
            SwitchToThread();
        }
    }
    TakeBands(call);
    for (int32_t i = 0; i < bands->workerCount; ++i) {
        EndWorkerCall(bands, i);
    }
}

// Frames large enough to split are timed whatever the threads, so that the
// record compares the ways; smaller ones cost no counter reads.
bool Timed(const RowBands* bands, int32_t width, int32_t height)
{
    return bands != nullptr && width > 0 && height > 1 &&
           static_cast<int64_t>(width) * height >= bands->minimumPixels;
}

bool SplitsFrame(const RowBands* bands, int32_t width, int32_t height)
{
    return bands != nullptr && bands->workerCount > 0 && width > 0 && height > 1 &&
           static_cast<int64_t>(width) * height >= bands->minimumPixels;
}

// The x87 environment and MXCSR of the host's thread, kept across the few
// floating-point steps of the debugger lines (fnstenv also masks every x87
// exception until fldenv puts the host's masks back).
struct FloatingState {
    unsigned char x87[28];
    uint32_t mxcsr;
};

void SaveFloatingState(const RowBands* bands, FloatingState* state)
{
    __asm__ __volatile__("fnstenv %0" : "=m"(state->x87));
    state->mxcsr = bands->sseState ? ReadMxcsr() : 0;
}

void RestoreFloatingState(const RowBands* bands, const FloatingState& state)
{
    if (bands->sseState) {
        WriteMxcsr(state.mxcsr);
    }
    __asm__ __volatile__("fldenv %0" : : "m"(state.x87));
}

double Milliseconds(const RowBands* bands, int64_t ticks)
{
    return bands->counterFrequency > 0 ? 1000.0 * ticks / bands->counterFrequency : 0;
}

// For a debug viewer: which way a kind of call now goes, and why.
void LogWayChange(const RowBands* bands, const BandChoice& choice, const wchar_t* what)
{
    FloatingState host;
    SaveFloatingState(bands, &host);
    wchar_t line[160];
    const double now = Milliseconds(bands, MeanCost(choice.inUse));
    const double other = Milliseconds(bands, choice.otherAtTrial);
    if (choice.inBands) {
        std::swprintf(line, sizeof line / sizeof line[0],
                      L"kelvo: %ls now on %d threads (%.2f ms a call; one thread %.2f ms)\n", what,
                      static_cast<int>(bands->workerCount + 1), now, other);
    } else {
        std::swprintf(line, sizeof line / sizeof line[0],
                      L"kelvo: %ls now on one thread (%.2f ms a call; %d threads %.2f ms)\n", what,
                      now, static_cast<int>(bands->workerCount + 1), other);
    }
    OutputDebugStringW(line);
    RestoreFloatingState(bands, host);
}

void AddCall(CallRecord* record, int64_t ticks, bool inBands)
{
    record->ticks[record->count % keptCallTimes] = ticks;
    record->totalTicks += ticks;
    ++record->count;
    record->inBands += inBands ? 1 : 0;
}

void ClearCalls(CallRecord* record)
{
    record->totalTicks = 0;
    record->count = 0;
    record->inBands = 0;
    record->changes = 0;
}

// The median of the calls kept, in ticks.
int64_t MedianTicks(const CallRecord& record)
{
    int64_t kept[keptCallTimes];
    const int32_t n = record.count < keptCallTimes ? record.count : keptCallTimes;
    std::copy(record.ticks, record.ticks + n, kept);
    std::nth_element(kept, kept + n / 2, kept + n);
    return kept[n / 2];
}

// "kelvo: pack 1.21 ms a call (mean of 60; median 1.10 ms), 40 in bands on
// 2 threads, way changed 1 time; unpack ...; longest wait for a worker 0.08 ms"
void LogCallSummary(const RowBands* bands)
{
    FloatingState host;
    SaveFloatingState(bands, &host);
    const CallRecord* records[2] = {&bands->packCalls, &bands->unpackCalls};
    const wchar_t* names[2] = {L"pack", L"unpack"};
    wchar_t line[384] = L"kelvo:";
    const size_t size = sizeof line / sizeof line[0];
    size_t used = std::wcslen(line);
    const auto add = [&](int written) {
        if (written > 0) used += static_cast<size_t>(written);
    };
    for (int i = 0; i < 2; ++i) {
        const CallRecord& record = *records[i];
        if (record.count == 0) continue;
        add(std::swprintf(
            line + used, size - used, L"%ls %ls %.2f ms a call (mean of %d; median %.2f ms)",
            used > 6 ? L";" : L"", names[i], Milliseconds(bands, record.totalTicks / record.count),
            static_cast<int>(record.count), Milliseconds(bands, MedianTicks(record))));
        if (bands->workerCount == 0) {
            add(std::swprintf(line + used, size - used, L", all on one thread"));
        } else {
            add(std::swprintf(
                line + used, size - used, L", %d in bands on %d threads, way changed %d time%ls",
                static_cast<int>(record.inBands), static_cast<int>(bands->workerCount + 1),
                static_cast<int>(record.changes), record.changes == 1 ? L"" : L"s"));
        }
    }
    if (used > 6 && bands->workerCount > 0) {
        add(std::swprintf(line + used, size - used, L"; longest wait for a worker %.2f ms",
                          Milliseconds(bands, bands->longestWaitTicks)));
    }
    if (used > 6 && used + 1 < size) {
        line[used] = L'\n';
        line[used + 1] = L'\0';
        OutputDebugStringW(line);
    }
    RestoreFloatingState(bands, host);
}

// "kelvo: pack call 2.31 ms in bands"
void LogCall(const RowBands* bands, const wchar_t* what, int64_t ticks, bool inBands)
{
    FloatingState host;
    SaveFloatingState(bands, &host);
    wchar_t line[80];
    std::swprintf(line, sizeof line / sizeof line[0], L"kelvo: %ls call %.3f ms %ls\n", what,
                  Milliseconds(bands, ticks), inBands ? L"in bands" : L"on one thread");
    OutputDebugStringW(line);
    RestoreFloatingState(bands, host);
}

int64_t Elapsed(const LARGE_INTEGER& start)
{
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    return end.QuadPart - start.QuadPart;
}

}  // namespace

void ClearRowBands(RowBands* bands)
{
    bands->workerCount = 0;
    bands->minimumPixels = rowBandsMinimumPixels;
    bands->sseState = false;
    bands->workersFirst = false;
    bands->use = bandsMeasured;
    bands->traceCalls = false;
    bands->packChoice = BandChoice{};
    bands->unpackChoice = BandChoice{};
    ClearCalls(&bands->packCalls);
    ClearCalls(&bands->unpackCalls);
    LARGE_INTEGER frequency;
    bands->counterFrequency = QueryPerformanceFrequency(&frequency) ? frequency.QuadPart : 0;
    bands->longestWaitTicks = 0;
    for (int32_t i = 0; i < maxRowWorkers; ++i) {
        bands->threads[i] = nullptr;
        bands->startEvents[i] = nullptr;
        bands->doneEvents[i] = nullptr;
        bands->workerState[i] = workerIdle;
    }
    bands->call = BandCall{};
}

int32_t RowBandsThreadCount(bool* forced)
{
    int32_t count = 0;
    wchar_t given[8];
    const DWORD length = GetEnvironmentVariableW(L"KELVO_THREADS", given, 8);
    if (length > 0 && length < 8) {
        count = static_cast<int32_t>(wcstol(given, nullptr, 10));
    }
    *forced = count >= 1;
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

bool RowBandsTraceWanted()
{
    wchar_t given[4];
    const DWORD length = GetEnvironmentVariableW(L"KELVO_TRACE_CALLS", given, 4);
    return length == 1 && given[0] == L'1';
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
    LogCallSummary(bands);
    ClearCalls(&bands->packCalls);
    ClearCalls(&bands->unpackCalls);
    bands->longestWaitTicks = 0;
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

namespace {

// One kind of call over a frame (pack or unpack, whichever is given), in
// bands or on the calling thread as `choice` decides (always in bands when
// forced), timed into `record`; frames too small to split are not timed.
void ConvertFrame(RowBands* bands, PackRowsFunction pack, UnpackRowsFunction unpack,
                  BandChoice* choice, CallRecord* record, const wchar_t* what, int32_t texelBytes,
                  YCPixel* host, int32_t hostPitch, unsigned char* texels, int32_t texelPitch,
                  int32_t width, int32_t height)
{
    const auto onCallingThread = [&] {
        if (pack != nullptr) {
            pack(host, hostPitch, texels, texelPitch, width, height);
        } else {
            unpack(host, hostPitch, texels, texelPitch, width, height);
        }
    };
    if (!Timed(bands, width, height)) {
        onCallingThread();
        return;
    }
    const bool splits = SplitsFrame(bands, width, height);
    const bool measured = splits && bands->use == bandsMeasured;
    const void* converter = pack != nullptr ? reinterpret_cast<const void*>(pack)
                                            : reinterpret_cast<const void*>(unpack);
    const bool inBands = splits && (!measured || ChooseBands(choice, converter,
                                                             static_cast<int64_t>(width) * height));
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (inBands) {
        RunInBands(bands, pack, unpack, texelBytes, host, hostPitch, texels, texelPitch, width,
                   height);
    } else {
        onCallingThread();
    }
    const int64_t ticks = Elapsed(start);
    AddCall(record, ticks, inBands);
    if (bands->traceCalls) {
        LogCall(bands, what, ticks, inBands);
    }
    if (measured) {
        const bool wasInBands = choice->inBands;
        if (RecordCallTime(choice, inBands, ticks)) {
            LogWayChange(bands, *choice, what);
        }
        record->changes += choice->inBands != wasInBands ? 1 : 0;
    }
}

}  // namespace

void PackInBands(RowBands* bands, PackRowsFunction pack, int32_t texelBytes, const YCPixel* host,
                 int32_t hostPitch, void* texels, int32_t texelPitch, int32_t width, int32_t height)
{
    // The host rows are only read by a pack.
    ConvertFrame(bands, pack, nullptr, bands == nullptr ? nullptr : &bands->packChoice,
                 bands == nullptr ? nullptr : &bands->packCalls, L"pack", texelBytes,
                 const_cast<YCPixel*>(host), hostPitch, static_cast<unsigned char*>(texels),
                 texelPitch, width, height);
}

void UnpackInBands(RowBands* bands, UnpackRowsFunction unpack, int32_t texelBytes, YCPixel* host,
                   int32_t hostPitch, const void* texels, int32_t texelPitch, int32_t width,
                   int32_t height)
{
    // The texel rows are only read by an unpack.
    ConvertFrame(bands, nullptr, unpack, bands == nullptr ? nullptr : &bands->unpackChoice,
                 bands == nullptr ? nullptr : &bands->unpackCalls, L"unpack", texelBytes, host,
                 hostPitch, static_cast<unsigned char*>(const_cast<void*>(texels)), texelPitch,
                 width, height);
}
