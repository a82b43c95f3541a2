#include "message_capture.h"

#include <gtest/gtest.h>

#include "pointer_patch.h"
#include "session/error_boxes.h"
#include "wide_text.h"

namespace {

std::vector<CapturedMessage> capturedMessages;
std::vector<std::wstring> debuggerLines;

void WINAPI RecordDebuggerLine(LPCWSTR text)
{
    debuggerLines.push_back(text != nullptr ? text : L"<null>");
}

void RecordMessageBox(const CapturedErrorBox& box)
{
    capturedMessages.push_back({box.owner, WideFromUtf8(box.text), WideFromUtf8(box.caption),
                                static_cast<UINT>(box.type)});
}

}  // namespace

void InstallMessageCapture(HMODULE module)
{
    // The host's own capture. Patched anew on every call, not remembered by
    // module: a module unloaded and loaded again at the same address has a
    // fresh import table.
    std::string error;
    if (!CaptureErrorBoxes(module, RecordMessageBox, &error)) {
        ADD_FAILURE() << error;
        return;
    }
    // Only modules that can report a failed call import it. Recorded as
    // written, line end included, unlike the host's echo.
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
