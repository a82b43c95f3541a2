// The one error box of the plug-in.
#pragma once

// Shows text in a system-modal box with the error icon, no owner window and
// the caption "Tarnel"; blocks the calling thread until it is closed.
// Returns 0.
int ShowError(const wchar_t* text);
