// One loaded plug-in and the host's records for it: the development host's
// side of the binary interface. The session owns the FilterContext, the
// HostFunctions table, the track and check arrays and the settings window it
// lends to the callbacks; they live at fixed addresses for the session's
// lifetime, so a session is neither copied nor moved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "host_interface/host_records.h"
#include "pictures/yc_frame.h"

struct HostSession {
    HostSession() = default;
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    std::wstring path;
    HMODULE module = nullptr;
    FilterTable* table = nullptr;  // the plug-in's static table
    FilterContext context = {};    // the host's record lent to every callback
    HostFunctions functions = {};
    std::vector<int32_t> trackValues;  // at least 16 entries
    std::vector<int32_t> checkValues;  // at least 1 entry
    HWND settingsWindow = nullptr;     // owner of the plug-in's windows
    HWND debugWindow = nullptr;        // the plug-in's debug window, once seen
    bool active = true;                // what isActive answers
    int refreshCalls = 0;              // refreshWindow calls received
    int isActiveCalls = 0;
    bool initCalled = false;
};

// Loads the module, reads its table and builds the context: tracks and
// checks at their defaults, host functions, a hidden settings window, the
// module handle. Does not call onInit. False with a message (the session is
// then closed) for a module that cannot be loaded, lacks GetFilterTable or
// returns an unusable table.
bool OpenSession(HostSession* session, const std::wstring& pluginPath, std::string* error);

// Before or between callbacks, as a host's sliders would.
bool SetTrack(HostSession* session, int index, int32_t value, std::string* error);
bool SetCheck(HostSession* session, int index, int32_t value, std::string* error);

int32_t StartPlugin(HostSession* session);   // onInit's result
int32_t NotifyUpdate(HostSession* session);  // onUpdate(context, 0)
// onWindowMessage with the settings window, as the host forwards its messages.
int32_t SendHostMessage(HostSession* session, uint32_t message, int32_t wParam, int32_t lParam);

struct FrameResult {
    int32_t returned = 0;       // onProcess's result
    bool paddingIntact = true;  // nothing past the width was written
    double hostSeconds = 0.0;   // the onProcess call on the host's clock
    bool hasDebugText = false;
    std::string debugText;  // UTF-8, as the window shows it
};

// One onProcess call on `frame`, in place.
FrameResult ProcessFrame(HostSession* session, YCFrame* frame);

// The plug-in's "Debug KELVO" window, or null: an edit control owned by the
// session's settings window. Its title is its text, so "Debug KELVO" shows
// only until the first frame replaces it; the window seen then is
// remembered, and later searches also accept an owned edit control whose
// text starts with the size line.
HWND FindDebugWindow(const HostSession* session);
bool ReadDebugText(const HostSession* session, std::string* text);

// onExit when onInit was called, then the window and the module go.
void CloseSession(HostSession* session);

std::wstring DefaultPluginPath();

// A string of the plug-in's table (code page 932) as UTF-8; "(null)" for none.
std::string FromShiftJis(const char* text);

// The registration table as text, strings converted from Shift-JIS.
std::string DescribeTable(const FilterTable& table);
