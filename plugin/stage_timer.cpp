#include "stage_timer.h"

#include <cwchar>

#include "bounded_format.h"
#include "host_interface/debug_window.h"

void MarkStage(StageCheckpoint timer[stageCheckpointCount], int index, const wchar_t* label)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    timer[index].counter = now.QuadPart;
    std::wcsncpy(timer[index].label, label, 15);
    timer[index].label[15] = L'\0';
}

void FormatStageText(wchar_t text[stageTextCapacity], int width, int height,
                     const wchar_t* formatTag, const StageCheckpoint timer[stageCheckpointCount],
                     int count, double counterFrequency)
{
    BoundedFormat(text, stageTextCapacity,
                  L"" KELVO_DEBUG_SIZE_LINE_START "%dx%d(%s)" KELVO_DEBUG_LINE_END, width, height,
                  formatTag);
    const double secondsPerTick = 1.0 / counterFrequency;
    // At most five lines of about 21 units each follow a size line of about
    // 40, so the 512-unit text never fills; each line is bounded on its own.
    size_t used = std::wcslen(text);
    for (int i = 1; i < count && i < stageCheckpointCount; ++i) {
        const int64_t ticks = timer[i].counter - timer[i - 1].counter;
        wchar_t line[stageLineCapacity];
        BoundedFormat(line, stageLineCapacity, L"%s:%.5E" KELVO_DEBUG_LINE_END, timer[i].label,
                      static_cast<double>(ticks) * secondsPerTick);
        BoundedFormat(text + used, stageTextCapacity - used, L"%s", line);
        used += std::wcslen(text + used);
    }
}

double ReadCounterFrequency(double current)
{
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? static_cast<double>(frequency.QuadPart) : current;
}

HWND CreateDebugWindow(HWND owner, HINSTANCE moduleInstance)
{
    // WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | ES_READONLY | ES_MULTILINE
    const DWORD style = 0x90C80804;
    HWND window = CreateWindowExW(0, L"EDIT", debugWindowTitle, style, CW_USEDEFAULT, 0, 180, 160,
                                  owner, nullptr, moduleInstance, nullptr);
    if (window != nullptr) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(OEM_FIXED_FONT)),
                     TRUE);
    }
    return window;
}
