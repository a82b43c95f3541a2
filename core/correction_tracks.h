// The colour-correction filter's tracks (sliders) in the order it registers
// them with the host: the host's live values arrive as an array in this
// order. Each row says what its slider is and which component of which
// effect parameter it feeds (effect/ColorCorrection.fx declares them).
#pragma once

#include <cstdint>

#include "core/track_table.h"
#include "host_interface/texture_format_kind.h"

// The effect's parameters, in the order of their registers c0.. and of the
// fields of CorrectionConstants. Texels carry (spare, Y, Cb, Cr); BGR
// vectors (spare, B, G, R), against the track order R, G, B.
enum CorrectionParameter : int {
    parameterYcOffs,
    parameterYcAmp,
    parameterBgrOffs,
    parameterBgrAmp,
    parameterBgrGamma,
    parameterMatYC2BGR,
    parameterMatBGR2YC,
};

// The matrices are full-range BT.601 (Kr = 0.299, Kb = 0.114) rounded to five
// decimals, each literal the float nearest to the decimal; row by row, row 0
// first (out_i = sum_j m[4 * i + j] * in_j). Row 0 is zero so the spare
// channel of every product is 0. The gamma's spare component is 1, not 0: it
// goes through the gamma as 0^1 = 0.
// clang-format off
constexpr EffectParameterRow correctionParameters[] = {
    {"ycOffs",   ParameterShape::vector, {0.0f}},
    {"ycAmp",    ParameterShape::vector, {0.0f}},
    {"bgrOffs",  ParameterShape::vector, {0.0f}},
    {"bgrAmp",   ParameterShape::vector, {0.0f}},
    {"bgrGamma", ParameterShape::vector, {1.0f}},
    {"matYC2BGR", ParameterShape::matrix, {
        0.0f, 0.0f, 0.0f,      0.0f,
        0.0f, 1.0f, 1.772f,    0.0f,         // B
        0.0f, 1.0f, -0.34414f, -0.71414f,    // G
        0.0f, 1.0f, 0.0f,      1.402f}},     // R
    {"matBGR2YC", ParameterShape::matrix, {
        0.0f, 0.0f,      0.0f,      0.0f,
        0.0f, 0.114f,    0.587f,    0.299f,    // Y
        0.0f, 0.5f,      -0.33126f, -0.16874f, // Cb
        0.0f, -0.08131f, -0.41869f, 0.5f}},    // Cr
};
// clang-format on
constexpr int correctionParameterCount = 7;

// Every colour track runs from -256 to 256 with 0 as "no change". The Format
// track asks for a TextureFormatKind and stops at the last kind: a host that
// sends more gets kindNone (ClampFormatKind), which the engine answers with
// the lowest kind the device can use, as it does for an unavailable kind.
constexpr int32_t colourTrackMinimum = -256;
constexpr int32_t colourTrackMaximum = 256;
constexpr int32_t formatTrackMaximum = textureFormatKindCount - 1;

// A colour track: the full colour range, 0 by default.
constexpr TrackRow ColourTrack(const char* caption, SyncGroup sync, TrackScale scale, int parameter,
                               int component)
{
    return {caption, colourTrackMinimum, colourTrackMaximum, 0, sync, scale, parameter, component};
}

// clang-format off
constexpr TrackRow correctionTracks[] = {
    ColourTrack("Y(offs)",  SyncGroup::none,       TrackScale::offset, parameterYcOffs,   1),
    ColourTrack("Y(gain)",  SyncGroup::none,       TrackScale::gain,   parameterYcAmp,    1),
    ColourTrack("Cb(offs)", SyncGroup::none,       TrackScale::offset, parameterYcOffs,   2),
    ColourTrack("Cb(gain)", SyncGroup::none,       TrackScale::gain,   parameterYcAmp,    2),
    ColourTrack("Cr(offs)", SyncGroup::none,       TrackScale::offset, parameterYcOffs,   3),
    ColourTrack("Cr(gain)", SyncGroup::none,       TrackScale::gain,   parameterYcAmp,    3),
    ColourTrack("R(offs)",  SyncGroup::rgbOffsets, TrackScale::offset, parameterBgrOffs,  3),
    ColourTrack("R(gain)",  SyncGroup::rgbGains,   TrackScale::gain,   parameterBgrAmp,   3),
    ColourTrack("R(gamm)",  SyncGroup::rgbGammas,  TrackScale::gamma,  parameterBgrGamma, 3),
    ColourTrack("G(offs)",  SyncGroup::rgbOffsets, TrackScale::offset, parameterBgrOffs,  2),
    ColourTrack("G(gain)",  SyncGroup::rgbGains,   TrackScale::gain,   parameterBgrAmp,   2),
    ColourTrack("G(gamm)",  SyncGroup::rgbGammas,  TrackScale::gamma,  parameterBgrGamma, 2),
    ColourTrack("B(offs)",  SyncGroup::rgbOffsets, TrackScale::offset, parameterBgrOffs,  1),
    ColourTrack("B(gain)",  SyncGroup::rgbGains,   TrackScale::gain,   parameterBgrAmp,   1),
    ColourTrack("B(gamm)",  SyncGroup::rgbGammas,  TrackScale::gamma,  parameterBgrGamma, 1),
    {"Format", kindF32, formatTrackMaximum, kindF32, SyncGroup::none, TrackScale::none, -1, 0},
};
// clang-format on

constexpr int trackCount = sizeof correctionTracks / sizeof correctionTracks[0];

static_assert(sizeof correctionParameters / sizeof correctionParameters[0] ==
                  correctionParameterCount,
              "one row per CorrectionParameter");
static_assert(SameText(correctionParameters[parameterBgrGamma].name, "bgrGamma") &&
                  SameText(correctionParameters[parameterMatBGR2YC].name, "matBGR2YC"),
              "CorrectionParameter follows the rows");
static_assert(ParametersAreDistinct(correctionParameters), "one name per parameter");
static_assert(TracksAreWellFormed(correctionTracks, correctionParameters),
              "every range holds its default and every fed component exists");
static_assert(TracksAreDistinct(correctionTracks), "one caption and one component per track");
static_assert(SyncGroupsAreComplete(correctionTracks), "every RGB group is R, G, B alike");

// The row of a caption; no such caption stops the compiler.
constexpr int TrackIndex(const char* caption)
{
    for (int i = 0; i < trackCount; ++i) {
        if (SameText(correctionTracks[i].caption, caption)) return i;
    }
    throw "no track has this caption";
}

// The tracks that code needs by name; any other is TrackIndex of its caption.
enum Track : int {
    trackFormat = TrackIndex("Format"),  // a TextureFormatKind
};

// The sliders' captions, indexed by Track: the plug-in registers them and
// filterhost accepts them in place of track numbers.
inline constexpr TrackColumn<const char*, trackCount> trackNameColumn =
    ColumnOf(correctionTracks, &TrackRow::caption);
inline constexpr const char* const (&trackNames)[trackCount] = trackNameColumn.values;

// The kind the Format track asks for (ClampFormatKind of its value).
constexpr int ClampedFormatTrack(const int32_t tracks[trackCount])
{
    return ClampFormatKind(tracks[trackFormat]);
}
