// Sends the colour tracks to the effect: five vectors and the two fixed
// colour matrices.
#pragma once

#include <cstdint>

#include "correction_engine.h"
#include "host_interface/tracks.h"

// tracks: the host's sixteen track values. Requires the engine's effect.
// Each failed call shows its message and the remaining ones still run;
// always returns true.
bool SetCorrectionParameters(const int32_t tracks[trackCount], CorrectionEngine* engine);
