// Slider logic that needs no engine: the R, G, B sync of the colour tracks.
#pragma once

#include <cstdint>

#include "host_interface/tracks.h"

// Makes R, G and B equal within each group (offset, gain, gamma). The value that differs from the other two is
// copied onto them; when all three differ, G wins. Returns whether any track
// changed, so the caller knows whether the host must redraw its sliders.
bool SyncRgbTracks(int32_t tracks[trackCount]);
