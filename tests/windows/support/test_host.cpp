#include "test_host.h"

#include <cwchar>

#include "d3d_tracking.h"
#include "host_interface/debug_window.h"

int refreshCalls = 0;
int isActiveCalls = 0;
int32_t filterActive = 1;

int32_t __cdecl HostRefreshWindow(FilterContext*)
{
    ++refreshCalls;
    return 1;
}

int32_t __cdecl HostIsActive(FilterContext*)
{
    ++isActiveCalls;
    return filterActive;
}

void ResetHostCalls()
{
    refreshCalls = 0;
    isActiveCalls = 0;
    filterActive = 1;
}

void FillHostContext(FilterContext* context, const FilterTable* table, int32_t* tracks,
                     int32_t* checks, HostFunctions* functions, HMODULE module)
{
    *context = *table;
    *functions = {};
    functions->refreshWindow = HostRefreshWindow;
    functions->isActive = HostIsActive;
    context->trackValues = tracks;
    context->checkValues = checks;
    context->hostFunctions = functions;
    context->window = TestWindow();
    context->moduleInstance = module;
}

namespace {

struct WindowSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDebugWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    wchar_t title[32] = {};
    GetWindowTextW(window, title, 32);
    if (GetWindow(window, GW_OWNER) == search->owner && std::wcscmp(title, debugWindowTitle) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindDebugWindow(HWND owner)
{
    WindowSearch search = {owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDebugWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring DebugWindowText(HWND window)
{
    if (window == nullptr || !IsWindow(window)) {
        return L"<no window>";
    }
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}
