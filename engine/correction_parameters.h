// Sends the tracks to the effect: every parameter of the filter's table, in
// its order, each from its unfed components and the tracks that feed it.
#pragma once

#include <cstdint>

#include "correction_engine.h"

// tracks: the host's track values, one per row of the filter. Requires the
// engine's effect. Each failed call shows its message and the remaining ones
// still run; always returns true.
bool SetCorrectionParameters(const int32_t* tracks, CorrectionEngine* engine);
