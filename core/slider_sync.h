// Slider logic that needs no engine: the R, G, B sync of a filter's tracks.
#pragma once

#include <cstdint>

#include "core/track_table.h"

// Makes R, G and B equal within each sync group of the rows. The value that
// differs from the other two is copied onto them; when all three differ, G
// wins. Returns whether any track changed, so the caller knows whether the
// host must redraw its sliders.
bool SyncRgbTracks(const TrackRow* rows, int rowCount, int32_t* tracks);
