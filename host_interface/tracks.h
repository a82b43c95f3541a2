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

// The sliders' captions, indexed by Track: the plug-in registers them and
// filterhost accepts them in place of track numbers, so both read them here.
// clang-format off
constexpr const char* trackNames[trackCount] = {
    "Y(offs)", "Y(gain)", "Cb(offs)", "Cb(gain)", "Cr(offs)", "Cr(gain)",
    "R(offs)", "R(gain)", "R(gamm)",  "G(offs)",  "G(gain)",  "G(gamm)",
    "B(offs)", "B(gain)", "B(gamm)",  "Format",
};
// clang-format on

// Every colour track runs from -256 to 256 with 0 as "no change"; the Format
// track from kindF32 to the last kind.
constexpr int32_t colourTrackMinimum = -256;
constexpr int32_t colourTrackMaximum = 256;
constexpr int32_t formatTrackMaximum = textureFormatKindCount - 1;

// The kind the Format track asks for (ClampFormatKind of its value).
constexpr int ClampedFormatTrack(const int32_t tracks[trackCount])
{
    return ClampFormatKind(tracks[trackFormat]);
}
