// The host side of tests that drive the shipped plug-in through its
// callbacks: a context built from the plug-in's table with the test's own
// track and check arrays, host functions that count their calls, and the
// plug-in's debug window found among the test thread's windows.
#pragma once

#include <string>

#include <windows.h>

#include "host_interface/host_records.h"

// What the host functions saw; isActive answers filterActive.
extern int refreshCalls;
extern int isActiveCalls;
extern int32_t filterActive;

int32_t __cdecl HostRefreshWindow(FilterContext* context);
int32_t __cdecl HostIsActive(FilterContext* context);

// Zero counts, filter switched on.
void ResetHostCalls();

// The context a host makes from the table: the table's fields, then the
// arrays and host functions (refreshWindow, isActive above), the test window
// as the settings window and the plug-in's module.
void FillHostContext(FilterContext* context, const FilterTable* table, int32_t* tracks,
                     int32_t* checks, HostFunctions* functions, HMODULE module);

// The edit window titled "Debug KELVO" that `owner` owns, or null. Its title
// lasts only until the first frame's text replaces it (an edit control's
// text is its title), so look right after onInit.
HWND FindDebugWindow(HWND owner);

// The debug window's text (the record of the last frame), or "<no window>"
// when there is none.
std::wstring DebugWindowText(HWND window);
