#include "show_error.h"

#include <windows.h>

int ShowError(const wchar_t* text)
{
    // System-modal: the host's thread is blocked inside a callback, so the
    // box must stay in front of every window until the user has read it.
    MessageBoxW(nullptr, text, L"Tarnel", MB_SYSTEMMODAL | MB_ICONERROR);
    return 0;
}
