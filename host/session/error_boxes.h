// The plug-in's error boxes, caught instead of shown. Its every message goes
// through user32's MessageBoxW as a system-modal box, which would stop an
// unattended run until someone clicks; the host swaps the plug-in's import
// of MessageBoxW for a function that hands the box on (filterhost prints it
// to stderr as UTF-8) and answers OK. Its debugger lines (the call that
// failed, the threads its converters use) are caught the same way, from
// kernel32's OutputDebugStringW, where no debugger would show them.
#pragma once

#include <string>

#include <windows.h>

struct CapturedErrorBox {
    std::string caption;  // UTF-8
    std::string text;     // UTF-8
    unsigned type;        // the MB_* flags asked for
    HWND owner;           // the window the box was to belong to
};

// What becomes of a caught box; called on the thread that asked for it.
using ErrorBoxHandler = void (*)(const CapturedErrorBox& box);

// Prints the box to stderr: "filterhost: error box "CAPTION": TEXT".
void EchoErrorBox(const CapturedErrorBox& box);

// Patches `module`'s import address table so that its boxes go to
// `handler`. False, with the reason, when the module does not import
// MessageBoxW from user32 (then it shows no boxes that could be caught this
// way) or the table cannot be written.
bool CaptureErrorBoxes(HMODULE module, ErrorBoxHandler handler, std::string* error);

// The import address table slots through which `module` calls `dll`'s
// `function` (DLL names compared without regard to case): found by the name
// the module was linked against, or, for imports bound by address without a
// name table, by the address the loader put in the slot. Writes the first
// `capacity` of them to `slots` and returns how many there are.
int FindImportSlots(HMODULE module, const char* dll, const char* function, void** slots[],
                    int capacity);

// A debugger line without its line end, UTF-8; called on the thread that wrote it.
using DebuggerLineHandler = void (*)(const std::string& line);

// Prints the line to stderr: "filterhost: plug-in: LINE".
void EchoDebuggerLine(const std::string& line);

// As CaptureErrorBoxes, for OutputDebugStringW; false when the module does
// not import it (it writes no lines).
bool CaptureDebuggerLines(HMODULE module, DebuggerLineHandler handler);
