// How the plug-in's GPU waits poll, and what polling more politely would
// give. Each wait issues an event query and calls GetData with FLUSH until it
// answers S_OK; on a software renderer the polling thread competes with the
// renderer's own threads for the processor. This program runs the shipped
// plug-in on filterhost's test picture in rounds, alternating three ways of
// answering GetData (the method slot of the query class is replaced; the
// plug-in is not changed):
//   spin   the real method, as shipped;
//   yield  the real method, then Sleep(0) when the event is not done yet;
//   sleep  the real method, then Sleep(1) when the event is not done yet.
// It prints the median stage times and GetData calls per frame of each way.
//
//   wait_poll_bench [WIDTHxHEIGHT] [FRAMES PER ROUND] [ROUNDS] [FORMAT]
//
// Default 1920x1080, 6 frames, 3 rounds, format 0 (F32).
#define CINTERFACE
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <d3d9.h>
#include <windows.h>

#include "error_boxes.h"
#include "host_session.h"
#include "stage_summary.h"
#include "test_picture.h"

namespace {

enum PollWay { spin, yield, sleep, pollWayCount };
const char* const wayNames[pollWayCount] = {"spin (as shipped)", "yield: Sleep(0)", "sleep: Sleep(1)"};

typedef HRESULT(__stdcall* GetDataFunction)(IDirect3DQuery9*, void*, DWORD, DWORD);
GetDataFunction realGetData = nullptr;
PollWay currentWay = spin;
long long getDataCalls = 0;

HRESULT __stdcall PollingGetData(IDirect3DQuery9* query, void* data, DWORD size, DWORD flags)
{
    ++getDataCalls;
    HRESULT result = realGetData(query, data, size, flags);
    if (result == S_FALSE && currentWay != spin) {
        Sleep(currentWay == yield ? 0 : 1);
    }
    return result;
}

// Replaces GetData in the vtable shared by every query object, reached
// through a query of a device of our own.
bool HookGetData(std::string* error)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"wait poll bench", WS_OVERLAPPEDWINDOW, 0, 0, 64,
                                  64, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (direct3d == nullptr) {
        *error = "no Direct3D 9";
        return false;
    }
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.Windowed = TRUE;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* device = nullptr;
    IDirect3DQuery9* query = nullptr;
    if (FAILED(direct3d->lpVtbl->CreateDevice(
            direct3d, D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
            D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &parameters, &device)) ||
        FAILED(device->lpVtbl->CreateQuery(device, D3DQUERYTYPE_EVENT, &query))) {
        *error = "cannot make a device and an event query";
        return false;
    }
    void** slot = reinterpret_cast<void**>(query->lpVtbl) +
                  offsetof(IDirect3DQuery9Vtbl, GetData) / sizeof(void*);
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection);
    realGetData = reinterpret_cast<GetDataFunction>(*slot);
    *slot = reinterpret_cast<void*>(&PollingGetData);
    VirtualProtect(slot, sizeof(void*), protection, &protection);
    // The objects stay: the slot's page belongs to d3d9.dll, which must stay loaded.
    return true;
}

struct WayResults {
    std::vector<StageStatistics> stages;
    std::vector<double> totals;
    long long getDataCalls = 0;
    int frames = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    int width = 1920;
    int height = 1080;
    int frames = 6;
    int rounds = 3;
    int format = 0;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &width, &height) != 2) return 2;
    if (argc > 2) frames = std::max(1, std::atoi(argv[2]));
    if (argc > 3) rounds = std::max(1, std::atoi(argv[3]));
    if (argc > 4) format = std::atoi(argv[4]);

    std::string error;
    if (!HookGetData(&error)) {
        std::fprintf(stderr, "wait_poll_bench: %s\n", error.c_str());
        return 1;
    }
    HostSession session;
    if (!OpenSession(&session, DefaultPluginPath(), &error)) {
        std::fprintf(stderr, "wait_poll_bench: %s\n", error.c_str());
        return 1;
    }
    CaptureErrorBoxes(session.module, &error);
    SetTrack(&session, 15, format, &error);
    if (StartPlugin(&session) == 0) {
        std::fprintf(stderr, "wait_poll_bench: the plug-in did not start\n");
        CloseSession(&session);
        return 1;
    }
    NotifyUpdate(&session);
    const YCFrame picture = MakeTestPicture(width, height, width);
    {
        YCFrame frame = picture;  // the allocating frame, not counted
        ProcessFrame(&session, &frame);
    }
    WayResults results[pollWayCount];
    for (int round = 0; round < rounds; ++round) {
        for (int way = 0; way < pollWayCount; ++way) {
            currentWay = static_cast<PollWay>(way);
            for (int i = 0; i < frames; ++i) {
                YCFrame frame = picture;
                long long before = getDataCalls;
                FrameResult r = ProcessFrame(&session, &frame);
                if (r.returned == 0) {
                    std::fprintf(stderr, "wait_poll_bench: a frame failed\n");
                    CloseSession(&session);
                    return 1;
                }
                results[way].getDataCalls += getDataCalls - before;
                ++results[way].frames;
                results[way].totals.push_back(r.hostSeconds);
                AddStageTimes(&results[way].stages, ParseDebugText(r.debugText).stages);
            }
        }
    }
    currentWay = spin;
    CloseSession(&session);

    std::printf("%dx%d, format %d, %d rounds of %d frames per way\n", width, height, format,
                rounds, frames);
    std::printf("%-20s %9s %9s %9s %9s %14s\n", "way", "Put ms", "Proc ms", "Get ms", "frame ms",
                "GetData/frame");
    for (int way = 0; way < pollWayCount; ++way) {
        const WayResults& w = results[way];
        double put = 0, proc = 0, get = 0;
        for (const StageStatistics& s : w.stages) {
            if (s.label == "Put") put = Median(s.seconds);
            if (s.label == "Proc") proc = Median(s.seconds);
            if (s.label == "Get") get = Median(s.seconds);
        }
        std::printf("%-20s %9.1f %9.1f %9.1f %9.1f %14.0f\n", wayNames[way], put * 1e3,
                    proc * 1e3, get * 1e3, Median(w.totals) * 1e3,
                    double(w.getDataCalls) / w.frames);
    }
    return 0;
}
