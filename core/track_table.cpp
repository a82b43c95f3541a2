#include "core/track_table.h"

#include <cmath>

float ScaledTrack(TrackScale scale, int32_t value)
{
    // One track step is 1/256. Each product is formed in double and only
    // then rounded to float, so every integer track gives the exact step
    // multiple, and the 256 of a gain is added in double so that a broken
    // host's extreme track value cannot overflow the integer.
    const double steps = static_cast<double>(value) * 0.00390625;
    switch (scale) {
    case TrackScale::offset:
        return static_cast<float>(steps);
    case TrackScale::gain:
        return static_cast<float>((static_cast<double>(value) + 256.0) * 0.00390625);
    case TrackScale::gamma:
        // The exponent runs 0.125..8 over the slider, 1 in the middle.
        return static_cast<float>(std::pow(8.0, steps));
    case TrackScale::none:
        break;
    }
    return 0.0f;
}

void ComputeParameterValues(const TrackRow* tracks, int trackCount,
                            const EffectParameterRow* parameters, int parameterCount,
                            const int32_t* trackValues, ParameterValues* values)
{
    for (int p = 0; p < parameterCount; ++p) {
        for (int i = 0; i < largestComponentCount; ++i) {
            values[p].components[i] = parameters[p].unfed[i];
        }
    }
    for (int t = 0; t < trackCount; ++t) {
        const TrackRow& row = tracks[t];
        if (row.scale != TrackScale::none) {
            values[row.parameter].components[row.component] = ScaledTrack(row.scale,
                                                                          trackValues[t]);
        }
    }
}
