#include "plugin_host.h"

#include <algorithm>
#include <cstring>

#include "d3d_tracking.h"
#include "message_capture.h"
#include "pointer_patch.h"
#include "session/error_boxes.h"
#include "wide_text.h"

bool OpenPluginSession(HostSession* session)
{
    std::string error;
    if (!OpenSession(session, DefaultPluginPath(), &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    if (session->table->trackCount != trackCount) {
        ADD_FAILURE() << "kelvo.auf registers " << session->table->trackCount << " tracks";
        CloseSession(session);
        return false;
    }
    return true;
}

HostFrame FilledFrame(int32_t width, int32_t height, int32_t maxWidth, YCPixel fill)
{
    HostFrame frame;
    frame.pixels.assign(size_t(maxWidth) * height, fill);
    frame.info = {};
    frame.info.pixels = frame.pixels.data();
    frame.info.width = width;
    frame.info.height = height;
    frame.info.maxWidth = maxWidth;
    return frame;
}

const YCPixel pastWidthMarker = {0x5A5A, -0x5A5B, 0x1234};

HostFrame MarkedFrame(int32_t width, int32_t height, int32_t maxWidth,
                      const std::vector<YCTriple>& leading)
{
    HostFrame frame = FilledFrame(width, height, maxWidth, pastWidthMarker);
    std::vector<YCTriple> content = RangeCoveringPixels(width * height);
    std::copy(leading.begin(), leading.begin() + std::min(leading.size(), content.size()),
              content.begin());
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const YCTriple& p = content[size_t(y) * width + x];
            frame.pixels[size_t(y) * maxWidth + x] = {p.y, p.cb, p.cr};
        }
    }
    return frame;
}

int MarkersDisturbed(const HostFrame& frame)
{
    int disturbed = 0;
    for (size_t i = 0; i < frame.pixels.size(); ++i) {
        if (int32_t(i % frame.info.maxWidth) >= frame.info.width) {
            disturbed += std::memcmp(&frame.pixels[i], &pastWidthMarker, sizeof(YCPixel)) != 0;
        }
    }
    return disturbed;
}

bool SamePixels(const HostFrame& a, const HostFrame& b)
{
    return a.pixels.size() == b.pixels.size() &&
           std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size() * sizeof(YCPixel)) == 0;
}

int32_t ProcessHostFrame(HostSession* session, HostFrame& frame)
{
    return session->table->onProcess(&session->context, &frame.info);
}

std::wstring DebugWindowText(const HostSession* session)
{
    std::string text;
    ReadDebugText(session, &text);
    return WideFromUtf8(text);
}

void PluginTest::SetUp()
{
    ASSERT_TRUE(OpenPluginSession(&session));
    tracks = session.trackValues.data();
    checks = session.checkValues.data();
    InstallMessageCapture(session.module);
    TakeMessages();
    TakeDebuggerLines();
    StartDirect3DTracking(session.module);
}

void PluginTest::TearDown()
{
    if (session.table != nullptr) {
        session.table->onExit(&session.context);
        session.initCalled = false;
    }
    EXPECT_FALSE(debugWindow != nullptr && IsWindow(debugWindow)) << "onExit left the debug window";
    RestorePatchedPointers();
    EXPECT_EQ(TakeMessageTexts(), std::vector<std::wstring>{}) << "messages nobody looked at";
    TakeDebuggerLines();
    EXPECT_EQ(ReleaseTrackedDevice(), 0u) << "the plug-in left a reference on the device";
    EXPECT_EQ(ReleaseTrackedDirect3D(), 0u) << "the plug-in left a reference on Direct3D";
    CloseSession(&session);
}

int32_t PluginTest::Init()
{
    const int32_t result = StartPlugin(&session);
    debugWindow = session.debugWindow;
    return result;
}
