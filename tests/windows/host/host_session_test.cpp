// The host library driving the stand-in filter: the records it lends, the
// calls it makes, the frames it passes and what it reads back.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "host_interface/debug_window.h"
#include "pictures/test_picture.h"
#include "plugin_module.h"
#include "core/correction_tracks.h"
#include "reports/stage_summary.h"
#include "session/error_boxes.h"
#include "session/host_session.h"
#include "standin_report.h"

namespace {

// The boxes caught since the last take, oldest first; kept here instead of
// printed, so that the tests can look at them.
std::vector<CapturedErrorBox> caughtBoxes;

void RecordErrorBox(const CapturedErrorBox& box)
{
    caughtBoxes.push_back(box);
}

std::vector<CapturedErrorBox> TakeCapturedErrorBoxes()
{
    std::vector<CapturedErrorBox> boxes;
    boxes.swap(caughtBoxes);
    return boxes;
}

class StandinSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        TakeCapturedErrorBoxes();
        std::string error;
        ASSERT_TRUE(OpenSession(&session, PathBesideProgram(L"standin_filter.auf"), &error))
            << error;
        // Every test catches the stand-in's boxes: none may ever be shown.
        ASSERT_TRUE(CaptureErrorBoxes(session.module, RecordErrorBox, &error)) << error;
        auto get = reinterpret_cast<GetStandinReportFunction>(
            reinterpret_cast<void*>(GetProcAddress(session.module, "GetStandinReport")));
        ASSERT_NE(get, nullptr);
        report = get();
    }
    void TearDown() override { CloseSession(&session); }

    HostSession session;
    StandinReport* report = nullptr;
};

TEST_F(StandinSession, ContextIsBuiltFromTheTable)
{
    std::string error;
    ASSERT_TRUE(SetTrack(&session, 0, 5, &error)) << error;
    ASSERT_EQ(StartPlugin(&session), 1);
    EXPECT_EQ(report->initCalls, 1);
    EXPECT_EQ(report->initContext, &session.context);
    // Tracks and checks start at the table's defaults, changed ones as set.
    const int32_t expectedTracks[trackCount] = {5, 11, 0, 0, 14, -15, 16, 0,
                                                0, 19, 0, 0, 22, 0,   0,  0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(report->initTracks[i], expectedTracks[i]) << i;
    EXPECT_EQ(report->initChecks[0], 0);
    EXPECT_EQ(report->initChecks[1], 1);
    // The settings window and the plug-in's own module handle.
    EXPECT_NE(report->initWindow, nullptr);
    EXPECT_TRUE(IsWindow(report->initWindow));
    EXPECT_EQ(report->initWindow, session.settingsWindow);
    EXPECT_EQ(report->initInstance, report->ownInstance);
    // isActive, called through offset 100, answers for a switched-on filter.
    EXPECT_NE(report->initHostFunctions, nullptr);
    EXPECT_EQ(report->isActiveAtInit, 1);
    EXPECT_EQ(session.isActiveCalls, 1);
}

TEST_F(StandinSession, SettingsOutsideTheTableAreRefused)
{
    std::string error;
    EXPECT_FALSE(SetTrack(&session, 16, 1, &error));
    EXPECT_NE(error.find("16"), std::string::npos) << error;
    EXPECT_FALSE(SetTrack(&session, -1, 1, &error));
    EXPECT_FALSE(SetCheck(&session, 2, 1, &error));
    EXPECT_TRUE(SetCheck(&session, 1, 0, &error));
}

TEST_F(StandinSession, RefreshWindowAndTrackWritesReachTheHost)
{
    std::string error;
    ASSERT_TRUE(SetTrack(&session, 6, 40, &error));
    ASSERT_EQ(StartPlugin(&session), 1);
    EXPECT_EQ(NotifyUpdate(&session), 1);
    EXPECT_EQ(session.refreshCalls, 0);  // sync off
    EXPECT_EQ(session.trackValues[9], 19);

    ASSERT_TRUE(SetCheck(&session, 0, 1, &error));
    NotifyUpdate(&session);
    EXPECT_EQ(report->updateCalls, 2);
    EXPECT_EQ(session.refreshCalls, 1);  // through offset 84
    EXPECT_EQ(session.trackValues[9], 40);
    EXPECT_EQ(session.trackValues[12], 40);
}

TEST_F(StandinSession, HostMessagesCarryTheWindowContextAndActiveState)
{
    ASSERT_EQ(StartPlugin(&session), 1);
    session.active = false;
    EXPECT_EQ(SendHostMessage(&session, messageReleaseResources, 3, 0), 0);
    EXPECT_EQ(report->message, 1133u);
    EXPECT_EQ(report->messageFirst, 3);
    EXPECT_EQ(report->messageWindow, session.settingsWindow);
    EXPECT_EQ(report->messageContext, &session.context);
    EXPECT_EQ(report->isActiveAtMessage, 0);
    session.active = true;
    SendHostMessage(&session, messageReleaseResources, 0, 0);
    EXPECT_EQ(report->isActiveAtMessage, 1);
    SendHostMessage(&session, messageSettingsChanged, 0, 0);
    EXPECT_EQ(report->message, 1135u);
    EXPECT_EQ(report->messageCalls, 3);
}

TEST_F(StandinSession, FramesArePassedInPlaceWithTheirPitch)
{
    std::string error;
    ASSERT_TRUE(SetTrack(&session, 0, 3, &error));
    ASSERT_EQ(StartPlugin(&session), 1);
    YCFrame input = MakeTestPicture(13, 6, 20);
    YCFrame frame = input;
    FrameResult result = ProcessFrame(&session, &frame);
    EXPECT_EQ(result.returned, 1);
    EXPECT_EQ(report->processContext, &session.context);
    EXPECT_EQ(report->frameWidth, 13);
    EXPECT_EQ(report->frameHeight, 6);
    EXPECT_EQ(report->frameMaxWidth, 20);
    EXPECT_EQ(report->framePixels, frame.pixels.data());
    EXPECT_TRUE(result.paddingIntact);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 13; ++x) {
            EXPECT_EQ(PixelAt(frame, x, y).y, PixelAt(input, x, y).y + 48) << x << "," << y;
            EXPECT_EQ(PixelAt(frame, x, y).cr, PixelAt(input, x, y).cr);
        }
    }
    EXPECT_GE(result.hostSeconds, 0.0);
}

TEST_F(StandinSession, WritesPastTheWidthAreCaught)
{
    std::string error;
    ASSERT_TRUE(SetTrack(&session, 3, standinWritePastWidth, &error));
    ASSERT_EQ(StartPlugin(&session), 1);
    YCFrame frame = MakeTestPicture(8, 4, 9);
    EXPECT_FALSE(ProcessFrame(&session, &frame).paddingIntact);
    // Without spare pixels there is nothing past the width to spoil.
    YCFrame tight = MakeTestPicture(8, 4, 8);
    EXPECT_TRUE(ProcessFrame(&session, &tight).paddingIntact);
}

TEST_F(StandinSession, DebugTextIsReadFromTheOwnedWindowOnly)
{
    // A window of the same title that the session's settings window does not
    // own must never be taken for the plug-in's.
    HWND stranger = CreateWindowExW(0, L"EDIT", debugWindowTitle, WS_POPUP, 0, 0, 10, 10, nullptr,
                                    nullptr, nullptr, nullptr);
    ASSERT_NE(stranger, nullptr);
    SetWindowTextW(stranger, L"" KELVO_DEBUG_SIZE_LINE_START "1x1(S16)" KELVO_DEBUG_LINE_END);
    std::string text;
    EXPECT_FALSE(ReadDebugText(&session, &text));
    EXPECT_EQ(FindDebugWindow(&session), nullptr);

    ASSERT_EQ(StartPlugin(&session), 1);
    ASSERT_NE(report->debugWindow, nullptr);
    EXPECT_EQ(FindDebugWindow(&session), report->debugWindow);
    std::string error;
    ASSERT_TRUE(SetTrack(&session, 15, 2, &error));
    YCFrame frame = MakeTestPicture(30, 20, 30);
    FrameResult first = ProcessFrame(&session, &frame);
    ASSERT_TRUE(first.hasDebugText);
    EXPECT_EQ(first.debugText.substr(0, 22),
              KELVO_DEBUG_SIZE_LINE_START "30x20(U16)" KELVO_DEBUG_LINE_END "Allo");
    FrameResult second = ProcessFrame(&session, &frame);
    DebugReport parsed = ParseDebugText(second.debugText);
    ASSERT_EQ(parsed.stages.size(), 3u) << second.debugText;
    EXPECT_EQ(parsed.stages[0].label, "Put");
    EXPECT_DOUBLE_EQ(parsed.stages[0].seconds, 0.002);
    DestroyWindow(stranger);
}

TEST_F(StandinSession, ErrorBoxesAreCaughtAndAnsweredWithOk)
{
    std::string error;
    ASSERT_TRUE(SetTrack(&session, 2, standinShowError, &error));
    ASSERT_EQ(StartPlugin(&session), 1);
    YCFrame frame = MakeTestPicture(4, 4, 4);
    YCFrame before = frame;
    FrameResult result = ProcessFrame(&session, &frame);
    EXPECT_EQ(result.returned, 0);
    EXPECT_EQ(report->messageBoxResult, IDOK);
    std::vector<CapturedErrorBox> boxes = TakeCapturedErrorBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Standin");
    EXPECT_EQ(boxes[0].text, "\xE3\x83\x95\xE3\x83\xAC\xE3\x83\xBC\xE3\x83\xA0\xE3\x82\x92"
                             "\xE5\x87\xA6\xE7\x90\x86\xE3\x81\xA7\xE3\x81\x8D\xE3\x81\xBE"
                             "\xE3\x81\x9B\xE3\x82\x93\nframe refused");
    EXPECT_EQ(boxes[0].type & MB_SYSTEMMODAL, static_cast<unsigned>(MB_SYSTEMMODAL));
    EXPECT_TRUE(TakeCapturedErrorBoxes().empty());
    EXPECT_EQ(std::memcmp(frame.pixels.data(), before.pixels.data(), frame.pixels.size() * 6), 0);
}

TEST_F(StandinSession, FailedInitStillGetsExitAndCloseUnloads)
{
    std::string error;
    ASSERT_TRUE(SetTrack(&session, 1, standinRefuseInit, &error));
    EXPECT_EQ(StartPlugin(&session), 0);
    EXPECT_EQ(FindDebugWindow(&session), nullptr);
    HWND settings = session.settingsWindow;
    // Keep the module loaded past CloseSession to read the report.
    HMODULE extra = LoadLibraryW(PathBesideProgram(L"standin_filter.auf").c_str());
    CloseSession(&session);
    EXPECT_EQ(report->exitCalls, 1);
    EXPECT_FALSE(IsWindow(settings));
    FreeLibrary(extra);
    EXPECT_EQ(GetModuleHandleW(L"standin_filter.auf"), nullptr) << "left loaded";
}

TEST_F(StandinSession, ExitIsCalledOnceAndTakesTheDebugWindow)
{
    ASSERT_EQ(StartPlugin(&session), 1);
    HWND debug = FindDebugWindow(&session);
    ASSERT_NE(debug, nullptr);
    // Keep the module loaded past CloseSession to read the report.
    HMODULE extra = LoadLibraryW(PathBesideProgram(L"standin_filter.auf").c_str());
    CloseSession(&session);
    EXPECT_EQ(report->exitCalls, 1);
    EXPECT_FALSE(IsWindow(debug));
    CloseSession(&session);  // again: nothing more happens
    EXPECT_EQ(report->exitCalls, 1);
    FreeLibrary(extra);
}

TEST(OpenSessionErrors, MissingFileAndForeignDll)
{
    HostSession session;
    std::string error;
    EXPECT_FALSE(OpenSession(&session, PathBesideProgram(L"no_such_filter.auf"), &error));
    EXPECT_NE(error.find("no_such_filter.auf"), std::string::npos) << error;
    EXPECT_NE(error.find("no such file"), std::string::npos) << error;

    HostSession foreign;
    EXPECT_FALSE(OpenSession(&foreign, PathBesideProgram(L"no_table_filter.auf"), &error));
    EXPECT_NE(error.find("GetFilterTable"), std::string::npos) << error;
    EXPECT_EQ(GetModuleHandleW(L"no_table_filter.auf"), nullptr) << "left loaded";
}

TEST(OpenSessionErrors, TheRealPluginsTableIsReadable)
{
    HostSession session;
    std::string error;
    ASSERT_TRUE(OpenSession(&session, PathBesideProgram(L"kelvo.auf"), &error)) << error;
    std::string table = DescribeTable(*session.table);
    EXPECT_NE(table.find("tracks:    16"), std::string::npos) << table;
    // The Shift-JIS check-box caption comes out as UTF-8.
    EXPECT_NE(table.find("RGB\xE3\x82\x92\xE5\x90\x8C\xE6\x9C\x9F"), std::string::npos) << table;
    EXPECT_EQ(session.trackValues.size(), 16u);
    CloseSession(&session);
}

}  // namespace
