// The shipped plug-in with a host around it, for the programs that drive its
// callbacks: the development host's session (host/session/host_session.h) on
// kelvo.auf from beside the program, its context, track and check arrays,
// host functions and settings window, and frames of host pixels.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/correction_tracks.h"
#include "session/host_session.h"
#include "test_pixels.h"

// Opens the session on the plug-in beside the program; tracks and checks at
// the table's defaults, the filter switched on. Fails the calling test and
// returns false when the plug-in cannot be loaded.
bool OpenPluginSession(HostSession* session);

// Host pixels and the frame record that points at them (a copy's record
// still points at the original's pixels).
struct HostFrame {
    FrameInfo info;
    std::vector<YCPixel> pixels;
};

// A frame of `width` x `height` pixels, rows `maxWidth` pixels apart, every
// pixel `fill`.
HostFrame FilledFrame(int32_t width, int32_t height, int32_t maxWidth, YCPixel fill);

// What the columns past a frame's width hold: no transfer may touch them.
extern const YCPixel pastWidthMarker;

// A frame of `leading` pixels, then RangeCoveringPixels' mix, rows
// `maxWidth` pixels apart, pastWidthMarker past the width.
HostFrame MarkedFrame(int32_t width, int32_t height, int32_t maxWidth,
                      const std::vector<YCTriple>& leading = {});

// Pixels past the width that no longer hold pastWidthMarker.
int MarkersDisturbed(const HostFrame& frame);

bool SamePixels(const HostFrame& a, const HostFrame& b);

// onProcess through the session's table and context.
int32_t ProcessHostFrame(HostSession* session, HostFrame& frame);

// The debug window's text (the record of the last frame); empty without
// the window.
std::wstring DebugWindowText(const HostSession* session);

// One test's plug-in: loaded with its message boxes recorded and its
// Direct3D objects tracked. TearDown calls onExit and checks that the debug
// window went with it, that no message went unexamined and that the
// plug-in left no reference on the device or on Direct3D.
class PluginTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // onInit (StartPlugin), and the debug window it opened (null when it
    // opened none).
    int32_t Init();
    int32_t Process(HostFrame& frame) { return ProcessHostFrame(&session, frame); }
    int32_t Update() { return NotifyUpdate(&session); }

    HostSession session;
    int32_t* tracks = nullptr;  // session.trackValues, trackCount of them
    int32_t* checks = nullptr;  // session.checkValues
    HWND debugWindow = nullptr;
};
