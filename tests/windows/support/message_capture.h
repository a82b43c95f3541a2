// Message boxes recorded instead of shown. Once installed for a module, every
// MessageBoxW that module calls is appended to a list and answered with IDOK;
// no box ever appears, so no test can wait for a click. Its lines for the
// debugger (OutputDebugStringW) are recorded as well.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

struct CapturedMessage {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
};

// Redirects module's MessageBoxW import for the rest of the program, through
// the development host's CaptureErrorBoxes; safe to call again. Fails the
// calling test when the module does not import it.
void InstallMessageCapture(HMODULE module);

// The boxes recorded since the last call, in the order they were shown.
std::vector<CapturedMessage> TakeMessages();

// The texts alone, for comparing a sequence of messages.
std::vector<std::wstring> TakeMessageTexts();

// Fails the calling test unless every box recorded since the last call came
// from the error box: no owner, caption "Tarnel", system-modal with the error
// icon. Returns their texts in order.
std::vector<std::wstring> TakeErrorBoxTexts();

// The debugger lines recorded since the last call, in order.
std::vector<std::wstring> TakeDebuggerLines();
