// The binary interface shared with the 32-bit host: the registration table
// the plug-in exports, and the records the host lends to every callback.
// Field order, widths and offsets are fixed by the host; fields the plug-in
// leaves zero still have to exist. Every record is 32-bit little-endian with
// no padding, which the checks at the end hold the compiler to.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host_interface/yc_pixel.h"

#if !defined(_WIN32) || INTPTR_MAX != INT32_MAX
#error "host records describe a 32-bit Windows interface"
#endif

#include <windows.h>

// Window messages the host sends to onWindowMessage, also while the filter
// is switched off.
constexpr uint32_t messageReleaseResources = WM_USER + 109;  // 1133: free what memory you can
constexpr uint32_t messageSettingsChanged = WM_USER + 111;   // 1135: the settings changed

struct FilterTable;
struct HostFunctions;
struct FrameInfo;

// The host hands back a record of the table's own layout, filled in with its
// live values, as the first argument of the callbacks.
typedef FilterTable FilterContext;

// Callbacks and host functions are plain C functions: arguments on the
// stack, removed by the caller, a 32-bit result.
typedef int32_t(__cdecl* ProcessCallback)(FilterContext* context, FrameInfo* frame);
typedef int32_t(__cdecl* InitCallback)(FilterContext* context);
typedef int32_t(__cdecl* ExitCallback)(FilterContext* context);
typedef int32_t(__cdecl* UpdateCallback)(FilterContext* context, int32_t hostValue);
typedef int32_t(__cdecl* WindowMessageCallback)(HWND window, uint32_t message, int32_t wParam,
                                                int32_t lParam, void* hostOpaque,
                                                FilterContext* context);
typedef int32_t(__cdecl* HostContextFunction)(FilterContext* context);

struct FilterTable {
    uint32_t flags;
    int32_t windowWidth;
    int32_t windowHeight;
    const char* displayName;
    int32_t trackCount;
    const char* const* trackNames;
    const int32_t* trackDefaults;
    const int32_t* trackMinimums;
    const int32_t* trackMaximums;
    int32_t checkCount;
    const char* const* checkNames;
    const int32_t* checkDefaults;
    ProcessCallback onProcess;
    InitCallback onInit;
    ExitCallback onExit;
    UpdateCallback onUpdate;
    WindowMessageCallback onWindowMessage;
    int32_t* trackValues;  // host's live values, in its FilterContext only
    int32_t* checkValues;  // host's live values, in its FilterContext only
    uint32_t hostReserved76;
    uint32_t hostReserved80;
    const char* infoText;
    uint32_t hostReserved88;
    uint32_t hostReserved92;
    HostFunctions* hostFunctions;  // FilterContext only
    HWND window;                   // FilterContext only: the filter's settings window
    HINSTANCE moduleInstance;      // FilterContext only: this plug-in's module
    uint32_t hostReserved108[8];
};

// The host's function table. Only two entries are called; the rest are the
// host's and are modelled as opaque slots so that the offsets come out right.
struct HostFunctions {
    void* hostSlots0to20[21];
    HostContextFunction refreshWindow;  // show slider values changed by the plug-in
    void* hostSlots22to24[3];
    HostContextFunction isActive;  // nonzero while the filter is switched on
};

// The frame the host passes to onProcess. Row r starts at pixels + r * maxWidth.
struct FrameInfo {
    uint32_t hostField0;
    YCPixel* pixels;
    uint32_t hostField8;
    int32_t width;
    int32_t height;
    int32_t maxWidth;
};

static_assert(sizeof(FilterTable) == 140, "FilterTable is 35 fields of 32 bits");
static_assert(offsetof(FilterTable, flags) == 0);
static_assert(offsetof(FilterTable, windowWidth) == 4);
static_assert(offsetof(FilterTable, windowHeight) == 8);
static_assert(offsetof(FilterTable, displayName) == 12);
static_assert(offsetof(FilterTable, trackCount) == 16);
static_assert(offsetof(FilterTable, trackNames) == 20);
static_assert(offsetof(FilterTable, trackDefaults) == 24);
static_assert(offsetof(FilterTable, trackMinimums) == 28);
static_assert(offsetof(FilterTable, trackMaximums) == 32);
static_assert(offsetof(FilterTable, checkCount) == 36);
static_assert(offsetof(FilterTable, checkNames) == 40);
static_assert(offsetof(FilterTable, checkDefaults) == 44);
static_assert(offsetof(FilterTable, onProcess) == 48);
static_assert(offsetof(FilterTable, onInit) == 52);
static_assert(offsetof(FilterTable, onExit) == 56);
static_assert(offsetof(FilterTable, onUpdate) == 60);
static_assert(offsetof(FilterTable, onWindowMessage) == 64);
static_assert(offsetof(FilterTable, trackValues) == 68);
static_assert(offsetof(FilterTable, checkValues) == 72);
static_assert(offsetof(FilterTable, hostReserved76) == 76);
static_assert(offsetof(FilterTable, hostReserved80) == 80);
static_assert(offsetof(FilterTable, infoText) == 84);
static_assert(offsetof(FilterTable, hostReserved88) == 88);
static_assert(offsetof(FilterTable, hostReserved92) == 92);
static_assert(offsetof(FilterTable, hostFunctions) == 96);
static_assert(offsetof(FilterTable, window) == 100);
static_assert(offsetof(FilterTable, moduleInstance) == 104);
static_assert(offsetof(FilterTable, hostReserved108) == 108);

static_assert(offsetof(HostFunctions, refreshWindow) == 84, "22nd entry");
static_assert(offsetof(HostFunctions, isActive) == 100, "26th entry");
static_assert(sizeof(HostFunctions) == 104);

static_assert(offsetof(FrameInfo, pixels) == 4);
static_assert(offsetof(FrameInfo, width) == 12);
static_assert(offsetof(FrameInfo, height) == 16);
static_assert(offsetof(FrameInfo, maxWidth) == 20);

static_assert(offsetof(YCPixel, y) == 0);
static_assert(offsetof(YCPixel, cb) == 2);
static_assert(offsetof(YCPixel, cr) == 4);
