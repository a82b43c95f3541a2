#include "message_capture.h"

#include <gtest/gtest.h>

#include "pointer_patch.h"

namespace {

std::vector<CapturedMessage> capturedMessages;
std::vector<std::wstring> debuggerLines;

void WINAPI RecordDebuggerLine(LPCWSTR text)
{
    debuggerLines.push_back(text != nullptr ? text : L"<null>");
}

int WINAPI RecordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
{
    capturedMessages.push_back({owner, text != nullptr ? text : L"<null>",
                                caption != nullptr ? caption : L"<null>", style});
    return IDOK;
}

}  // namespace

void InstallMessageCapture(HMODULE module)
{
    // Decided by the import entry itself, not by remembering the module: a
    // module unloaded and loaded again at the same address has a fresh
    // import table.
    void** entry = FindImportEntry(module, "user32.dll", "MessageBoxW");
    if (entry == nullptr) {
        ADD_FAILURE() << "the module does not import user32!MessageBoxW";
        return;
    }
    if (*entry != reinterpret_cast<void*>(&RecordMessageBox)) {
        WritePointer(entry, reinterpret_cast<void*>(&RecordMessageBox));
    }
    // Only modules that can report a failed call import it.
    void** debugger = FindImportEntry(module, "kernel32.dll", "OutputDebugStringW");
    if (debugger != nullptr && *debugger != reinterpret_cast<void*>(&RecordDebuggerLine)) {
        WritePointer(debugger, reinterpret_cast<void*>(&RecordDebuggerLine));
    }
}

std::vector<std::wstring> TakeDebuggerLines()
{
    std::vector<std::wstring> lines;
    lines.swap(debuggerLines);
    return lines;
}

std::vector<CapturedMessage> TakeMessages()
{
    std::vector<CapturedMessage> messages;
    messages.swap(capturedMessages);
    return messages;
}

std::vector<std::wstring> TakeMessageTexts()
{
    std::vector<std::wstring> texts;
    for (const CapturedMessage& message : TakeMessages()) {
        texts.push_back(message.text);
    }
    return texts;
}

std::vector<std::wstring> TakeErrorBoxTexts()
{
    std::vector<std::wstring> texts;
    for (const CapturedMessage& message : TakeMessages()) {
        EXPECT_EQ(message.owner, nullptr)
            << "box with an owner: " << testing::PrintToString(message.text);
        EXPECT_EQ(message.caption, L"Tarnel");
        EXPECT_EQ(message.style, static_cast<UINT>(MB_SYSTEMMODAL | MB_ICONERROR));
        texts.push_back(message.text);
    }
    return texts;
}
