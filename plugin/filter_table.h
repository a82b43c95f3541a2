// The module's export and the callbacks its registration table points to.
#pragma once

#include "host_interface/host_records.h"

// Exported by name and as ordinal 1 (see kelvo.def): the address of the one
// static registration table, the same on every call.
extern "C" FilterTable* __cdecl GetFilterTable(void);

int32_t __cdecl onProcess(FilterContext* context, FrameInfo* frame);
int32_t __cdecl onInit(FilterContext* context);
int32_t __cdecl onExit(FilterContext* context);
int32_t __cdecl onUpdate(FilterContext* context, int32_t hostValue);
int32_t __cdecl onWindowMessage(HWND window, uint32_t message, int32_t wParam, int32_t lParam,
                                void* hostOpaque, FilterContext* context);
