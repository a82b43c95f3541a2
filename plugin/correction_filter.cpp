#include "correction_filter.h"

#include "core/correction_tracks.h"

namespace {

// The host reads captions in code page 932, so the Japanese caption
// ("synchronise R, G and B") is stored as its Shift-JIS bytes.
const char* const checkNames[] = {
    "RGB\x82\xF0\x93\xAF\x8A\xFA\x82\xB3\x82\xB9\x82\xE9",
};
const int32_t checkDefaults[] = {0};
static_assert(sizeof checkNames / sizeof checkNames[0] ==
                  sizeof checkDefaults / sizeof checkDefaults[0],
              "a default per check box");

// The compiled ColorCorrection.fx (effect/effect_resource.rc.in).
constexpr int effectResourceId = 104;

}  // namespace

const FilterDescription correctionFilter = {
    "Tarnel(Prof)",
    correctionTracks,
    trackCount,
    trackFormat,
    checkNames,
    checkDefaults,
    sizeof checkNames / sizeof checkNames[0],
    0,
    "kelvo by Orvin, ver" KELVO_SHORT_VERSION,  // from project(VERSION)
    effectResourceId,
    correctionParameters,
    correctionParameterCount,
};
static_assert(correctionParameterCount <= largestParameterCount, "the engine holds every handle");
