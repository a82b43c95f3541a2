// A filter plug-in of the host interface with a predictable transform, for
// testing the development host's mechanics (see standin_report.h).
#include <cstdio>
#include <cwchar>

#include "core/format_kinds.h"
#include "host_interface/debug_window.h"
#include "standin_report.h"

namespace {

StandinReport report;

const char* const trackNames[standinTrackCount] = {
    "T0", "T1", "T2",  "T3",  "T4",  "T5",  "T6",  "T7",
    "T8", "T9", "T10", "T11", "T12", "T13", "T14", "Format",
};
const int32_t trackDefaults[standinTrackCount] = {0, 11, 0, 0, 14, -15, 16, 0,
                                                  0, 19, 0, 0, 22, 0,   0,  0};
const int32_t trackMinimums[standinTrackCount] = {
    -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, -256, 0,
};
const int32_t trackMaximums[standinTrackCount] = {
    256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 4,
};
const char* const checkNames[standinCheckCount] = {"Sync", "Other"};
const int32_t checkDefaults[standinCheckCount] = {0, 1};

HostContextFunction HostFunctionAt(FilterContext* context, int offset)
{
    return *reinterpret_cast<HostContextFunction*>(reinterpret_cast<char*>(context->hostFunctions) +
                                                   offset);
}

int32_t __cdecl StandinInit(FilterContext* context)
{
    ++report.initCalls;
    report.initContext = context;
    report.initWindow = context->window;
    report.initInstance = context->moduleInstance;
    report.initHostFunctions = context->hostFunctions;
    for (int i = 0; i < standinTrackCount; ++i) report.initTracks[i] = context->trackValues[i];
    for (int i = 0; i < standinCheckCount; ++i) report.initChecks[i] = context->checkValues[i];
    report.isActiveAtInit = HostFunctionAt(context, 100)(context);
    if (context->trackValues[1] == standinRefuseInit) {
        return 0;
    }
    report.debugWindow = CreateWindowExW(0, L"EDIT", debugWindowTitle, 0x90C80804, CW_USEDEFAULT, 0,
                                         180, 160, context->window, nullptr,
                                         context->moduleInstance, nullptr);
    return 1;
}

int32_t __cdecl StandinExit(FilterContext*)
{
    ++report.exitCalls;
    if (report.debugWindow != nullptr) {
        DestroyWindow(report.debugWindow);
        report.debugWindow = nullptr;
    }
    return 1;
}

int32_t __cdecl StandinProcess(FilterContext* context, FrameInfo* frame)
{
    ++report.processCalls;
    report.processContext = context;
    report.frameWidth = frame->width;
    report.frameHeight = frame->height;
    report.frameMaxWidth = frame->maxWidth;
    report.framePixels = frame->pixels;
    const int32_t* tracks = context->trackValues;
    if (tracks[2] == standinShowError) {
        report.messageBoxResult = MessageBoxW(
            nullptr,
            L"\x30D5\x30EC\x30FC\x30E0\x3092\x51E6\x7406\x3067\x304D\x307E\x305B\x3093\n"
            L"frame refused",
            L"Standin", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
        return 0;
    }
    for (int y = 0; y < frame->height; ++y) {
        YCPixel* row = frame->pixels + static_cast<ptrdiff_t>(y) * frame->maxWidth;
        for (int x = 0; x < frame->width; ++x) {
            row[x].y = static_cast<int16_t>(row[x].y + tracks[0] * 16);
        }
        if (tracks[3] == standinWritePastWidth && frame->maxWidth > frame->width) {
            row[frame->width].y = 0;
        }
    }
    if (context->checkValues[1] == standinSpoilPixel) {
        frame->pixels[0].cr = static_cast<int16_t>(frame->pixels[0].cr + 100);
    }
    const FormatKindRow* kindRow = FormatKindRowOf(tracks[15]);
    const char* tag = kindRow != nullptr ? kindRow->name : "Unknown";
    wchar_t text[512];
    int n = report.processCalls;
    int length =
        std::swprintf(text, 512, L"" KELVO_DEBUG_SIZE_LINE_START "%dx%d(%hs)" KELVO_DEBUG_LINE_END,
                      static_cast<int>(frame->width), static_cast<int>(frame->height), tag);
    if (n == 1) {
        length += std::swprintf(text + length, 512 - length, L"%ls:%.5E" KELVO_DEBUG_LINE_END,
                                stageAlloc, 0.05);
    }
    std::swprintf(text + length, 512 - length,
                  L"%ls:%.5E" KELVO_DEBUG_LINE_END "%ls:%.5E" KELVO_DEBUG_LINE_END
                  "%ls:%.5E" KELVO_DEBUG_LINE_END,
                  stagePut, n * 1e-3, stageProc, n * 2e-3, stageGet, 0.5e-3);
    if (report.debugWindow != nullptr) {
        SendMessageW(report.debugWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    return 1;
}

int32_t __cdecl StandinUpdate(FilterContext* context, int32_t)
{
    ++report.updateCalls;
    if (context->checkValues[0] != 0) {
        context->trackValues[9] = context->trackValues[6];
        context->trackValues[12] = context->trackValues[6];
        HostFunctionAt(context, 84)(context);
    }
    return 1;
}

int32_t __cdecl StandinWindowMessage(HWND window, uint32_t message, int32_t first, int32_t, void*,
                                     FilterContext* context)
{
    ++report.messageCalls;
    report.messageWindow = window;
    report.message = message;
    report.messageFirst = first;
    report.messageContext = context;
    if (message == 1133) {
        report.isActiveAtMessage = HostFunctionAt(context, 100)(context);
    }
    return 0;
}

FilterTable table = {
    0,
    0,
    0,
    "Stand-in",
    standinTrackCount,
    trackNames,
    trackDefaults,
    trackMinimums,
    trackMaximums,
    standinCheckCount,
    checkNames,
    checkDefaults,
    StandinProcess,
    StandinInit,
    StandinExit,
    StandinUpdate,
    StandinWindowMessage,
    nullptr,
    nullptr,
    0,
    0,
    "stand-in filter",
    0,
    0,
    nullptr,
    nullptr,
    nullptr,
    {},
};

}  // namespace

extern "C" FilterTable* __cdecl GetFilterTable(void)
{
    return &table;
}

extern "C" StandinReport* __cdecl GetStandinReport(void)
{
    return &report;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        report.ownInstance = instance;
    }
    return TRUE;
}
