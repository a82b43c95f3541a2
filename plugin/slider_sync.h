// Slider logic that needs no engine: the Format track's clamp and the
// R, G, B sync of the colour tracks.
#pragma once

#include <cstdint>

constexpr int trackFormat = 15;

// The requested format kind from the Format track: clamped to 0..5, where 5
// ("none") passes although the slider itself stops at 4.
int32_t ClampedFormatTrack(const int32_t tracks[16]);

// Makes R, G and B equal within each group (offset: tracks 6, 9, 12; gain: 7,
// 10, 13; gamma: 8, 11, 14). The value that differs from the other two is
// copied onto them; when all three differ, G wins. Returns whether any track
// changed, so the caller knows whether the host must redraw its sliders.
bool SyncRgbTracks(int32_t tracks[16]);
