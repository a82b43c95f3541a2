#include "plugin_host.h"

#include <string>

#include "d3d_tracking.h"
#include "message_capture.h"
#include "pointer_patch.h"

bool LoadPluginHost(PluginHost* host)
{
    *host = {};
    if (!LoadPlugin(&host->plugin)) {
        return false;
    }
    host->table = host->plugin.getFilterTable();
    ResetHostCalls();
    FillHostContext(&host->context, host->table, host->tracks, host->checks, &host->functions,
                    host->plugin.module);
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

void PluginTest::SetUp()
{
    ASSERT_TRUE(LoadPluginHost(this));
    InstallMessageCapture(plugin.module);
    TakeMessages();
    TakeDebuggerLines();
    StartDirect3DTracking(plugin.module);
}

void PluginTest::TearDown()
{
    if (table != nullptr) {
        table->onExit(&context);
    }
    EXPECT_FALSE(debugWindow != nullptr && IsWindow(debugWindow)) << "onExit left the debug window";
    RestorePatchedPointers();
    EXPECT_EQ(TakeMessageTexts(), std::vector<std::wstring>{}) << "messages nobody looked at";
    TakeDebuggerLines();
    EXPECT_EQ(ReleaseTrackedDevice(), 0u) << "the plug-in left a reference on the device";
    EXPECT_EQ(ReleaseTrackedDirect3D(), 0u) << "the plug-in left a reference on Direct3D";
    UnloadPlugin(&plugin);
}

int32_t PluginTest::Init()
{
    const int32_t result = table->onInit(&context);
    debugWindow = FindDebugWindow(context.window);
    return result;
}
