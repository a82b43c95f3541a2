// The filter's sixteen tracks (sliders) in the order it registers them with
// the host: the host's live values arrive as an array in this order.
#pragma once

#include <cstdint>

#include "host_interface/texture_format_kind.h"

enum Track : int {
    trackYOffset = 0,
    trackYGain = 1,
    trackCbOffset = 2,
    trackCbGain = 3,
    trackCrOffset = 4,
    trackCrGain = 5,
    trackROffset = 6,
    trackRGain = 7,
    trackRGamma = 8,
    trackGOffset = 9,
    trackGGain = 10,
    trackGGamma = 11,
    trackBOffset = 12,
    trackBGain = 13,
    trackBGamma = 14,
    trackFormat = 15,  // a TextureFormatKind
};

constexpr int trackCount = 16;

// Every colour track runs from -256 to 256 with 0 as "no change"; the Format
// track from kindF32 to kindU10.
constexpr int32_t colourTrackMinimum = -256;
constexpr int32_t colourTrackMaximum = 256;
constexpr int32_t formatTrackMaximum = kindU10;

// The kind the Format track asks for (ClampFormatKind of its value).
constexpr int ClampedFormatTrack(const int32_t tracks[trackCount])
{
    return ClampFormatKind(tracks[trackFormat]);
}
