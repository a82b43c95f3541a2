// The debug window's text and the bounded formatter it is built with, run on
// the same C runtime the plug-in uses.
#include <cwchar>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "bounded_format.h"
#include "stage_timer.h"

namespace {

TEST(BoundedFormat, InvalidCapacitiesTouchNothing)
{
    wchar_t buffer[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(BoundedFormat(buffer, 0, L"abc"), boundedFormatInvalidArgument);
    EXPECT_EQ(BoundedFormat(buffer, 2147483648u, L"abc"), boundedFormatInvalidArgument);
    for (wchar_t c : buffer) EXPECT_EQ(c, L'x');
}

TEST(BoundedFormat, WideStringsAndThreeDigitExponents)
{
    wchar_t buffer[64];
    EXPECT_EQ(BoundedFormat(buffer, 64, L"%s:%.5E", L"Proc ", 0.0025), S_OK);
    EXPECT_STREQ(buffer, L"Proc :2.50000E-003");
    EXPECT_EQ(BoundedFormat(buffer, 64, L"%.5E", -1234567.0), S_OK);
    EXPECT_STREQ(buffer, L"-1.23457E+006");
}

// The contract over many random texts and capacities, on the runtime the
// plug-in uses (libFuzzer has no build for it): the result says whether the
// text fit, the destination always holds the longest prefix that fits and a
// terminator, and nothing past the capacity is written.
TEST(BoundedFormat, RandomTextsAndCapacitiesKeepTheContract)
{
    std::mt19937 random(1207);
    std::uniform_int_distribution<int> capacities(1, 48), lengths(0, 64), characters(0x20, 0x7E);
    for (int round = 0; round < 20000; ++round) {
        const size_t capacity = static_cast<size_t>(capacities(random));
        std::wstring text(static_cast<size_t>(lengths(random)), L' ');
        for (wchar_t& c : text) c = static_cast<wchar_t>(characters(random));
        if (round % 3 == 0) text += L"\u30C7";  // a character beyond ASCII
        wchar_t buffer[80];
        std::wmemset(buffer, L'#', 80);
        const HRESULT result = BoundedFormat(buffer, capacity, L"%s", text.c_str());

        const bool fits = text.size() <= capacity - 1;
        ASSERT_EQ(result, fits ? S_OK : boundedFormatInsufficientBuffer)
            << "capacity " << capacity << ", length " << text.size();
        const size_t kept = fits ? text.size() : capacity - 1;
        ASSERT_EQ(std::wstring(buffer), text.substr(0, kept));
        for (size_t i = capacity; i < 80; ++i) {
            ASSERT_EQ(buffer[i], L'#') << "wrote at " << i << " with capacity " << capacity;
        }
    }
}

StageCheckpoint Checkpoint(int64_t counter, const wchar_t* label)
{
    StageCheckpoint c = {};
    c.counter = counter;
    std::wcscpy(c.label, label);
    return c;
}

// The size line, then a line per stage between checkpoints, the time in
// counter ticks over the frequency; checkpoints past the count are stale.
TEST(StageText, ASizeLineThenOneLinePerStageInOrder)
{
    const struct {
        StageCheckpoint timer[stageCheckpointCount];
        int checkpoints;
        double frequency;
        int32_t width, height;
        const wchar_t* tag;
        const wchar_t* text;
    } frames[] = {
        {{Checkpoint(1000, L"Init"), Checkpoint(3500, L"Put  "), Checkpoint(3600, L"Proc "),
          Checkpoint(3601, L"Get  "), Checkpoint(99, L"stale"), Checkpoint(98, L"stale")},
         4,
         1.0,
         1920,
         1080,
         L"F32",
         L"Size :1920x1080(F32)\r\nPut  :2.50000E+003\r\nProc :1.00000E+002\r\n"
         L"Get  :1.00000E+000\r\n"},
        {{Checkpoint(0, L"Init"), Checkpoint(2000000, L"Param"), Checkpoint(3000000, L"Put  "),
          Checkpoint(3500000, L"Proc "), Checkpoint(3600000, L"Get  "), Checkpoint(0, L"")},
         5,
         1.0e6,
         7,
         3,
         L"U10",  // a 1 MHz counter
         L"Size :7x3(U10)\r\nParam:2.00000E+000\r\nPut  :1.00000E+000\r\n"
         L"Proc :5.00000E-001\r\nGet  :1.00000E-001\r\n"},
    };
    for (const auto& frame : frames) {
        wchar_t text[stageTextCapacity];
        FormatStageText(text, frame.width, frame.height, frame.tag, frame.timer, frame.checkpoints,
                        frame.frequency);
        EXPECT_STREQ(text, frame.text);
    }
}

TEST(StageText, MarkStageTakesTheCounterAndTheLabel)
{
    StageCheckpoint timer[stageCheckpointCount] = {};
    LARGE_INTEGER before, after;
    QueryPerformanceCounter(&before);
    MarkStage(timer, 2, L"Proc ");
    QueryPerformanceCounter(&after);
    EXPECT_GE(timer[2].counter, before.QuadPart);
    EXPECT_LE(timer[2].counter, after.QuadPart);
    EXPECT_STREQ(timer[2].label, L"Proc ");
    EXPECT_EQ(timer[1].counter, 0);
    EXPECT_EQ(timer[3].counter, 0);
}

TEST(DebugWindow, ReadOnlyMultiLineEditWithItsTitleAndSize)
{
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    HWND window = CreateDebugWindow(owner, GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
    wchar_t title[32];
    GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, L"Debug KELVO");
    wchar_t className[16];
    GetClassNameW(window, className, 16);
    EXPECT_EQ(_wcsicmp(className, L"EDIT"), 0);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    // The edit control takes WS_BORDER over as its own border, so of
    // WS_CAPTION only the dialog frame half can be read back.
    EXPECT_EQ(style & (WS_POPUP | WS_DLGFRAME | WS_SYSMENU), WS_POPUP | WS_DLGFRAME | WS_SYSMENU);
    EXPECT_TRUE(style & ES_READONLY);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetWindow(window, GW_OWNER), owner);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 180);
    EXPECT_EQ(rect.bottom - rect.top, 160);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)),
              GetStockObject(OEM_FIXED_FONT));
    DestroyWindow(window);
    DestroyWindow(owner);
}

}  // namespace
