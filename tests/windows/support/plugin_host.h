// The shipped plug-in with a host around it, for the programs that drive its
// callbacks: the module loaded from beside the program, the context made
// from its table with the test's own track and check arrays and host
// functions (test_host.h), and frames of host pixels.
#pragma once

#include <vector>

#include <gtest/gtest.h>

#include "plugin_module.h"
#include "test_host.h"

struct PluginHost {
    LoadedPlugin plugin;
    FilterTable* table = nullptr;
    FilterContext context = {};
    int32_t tracks[16] = {};
    int32_t checks[1] = {};
    HostFunctions functions = {};
};

// Loads the plug-in and makes the context; tracks and checks zero, the host
// functions' counts reset. False when the plug-in cannot be loaded.
bool LoadPluginHost(PluginHost* host);

// Host pixels and the frame record that points at them (a copy's record
// still points at the original's pixels).
struct HostFrame {
    FrameInfo info;
    std::vector<YCPixel> pixels;
};

// A frame of `width` x `height` pixels, rows `maxWidth` pixels apart, every
// pixel `fill`.
HostFrame FilledFrame(int32_t width, int32_t height, int32_t maxWidth, YCPixel fill);

// One test's plug-in: loaded with its message boxes recorded and its
// Direct3D objects tracked. TearDown calls onExit and checks that the debug
// window went with it, that no message went unexamined and that the
// plug-in left no reference on the device or on Direct3D.
class PluginTest : public testing::Test, protected PluginHost {
protected:
    void SetUp() override;
    void TearDown() override;

    // onInit, and the debug window it opened (null when it opened none).
    int32_t Init();
    int32_t Process(HostFrame& frame) { return table->onProcess(&context, &frame.info); }
    int32_t Update() { return table->onUpdate(&context, 0); }

    HWND debugWindow = nullptr;
};
