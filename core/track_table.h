// What a filter's sliders are made of, whatever the filter: one row per
// track (its caption, range, default, sync group, and the effect parameter
// component it feeds with its scale), one row per effect parameter, and the
// functions that read the rows: the parameter values for a set of track
// values and the compile-time checks a filter's rows must pass.
#pragma once

#include <cstdint>

// Tracks whose values RGB sync makes equal. A group holds three tracks, R,
// G and B in the order of their rows.
enum class SyncGroup : int { none, rgbOffsets, rgbGains, rgbGammas };
constexpr int syncGroupCount = 4;  // none included

// How a track value v becomes its component: offset v/256, gain
// (v + 256)/256, gamma 8^(v/256); none feeds no parameter.
enum class TrackScale : int { none, offset, gain, gamma };

// A float4 or a row-major float4x4 of the effect.
enum class ParameterShape : int { vector, matrix };

constexpr int ComponentCount(ParameterShape shape)
{
    return shape == ParameterShape::matrix ? 16 : 4;
}
constexpr int largestComponentCount = 16;

struct EffectParameterRow {
    const char* name;  // as the effect declares it
    ParameterShape shape;
    float unfed[largestComponentCount];  // the components no track feeds
};

struct TrackRow {
    const char* caption;  // as the host shows it above the slider
    int32_t minimum;
    int32_t maximum;
    int32_t defaultValue;
    SyncGroup sync;
    TrackScale scale;
    int parameter;  // row in the filter's parameter table; -1 with TrackScale::none
    int component;  // of that parameter
};

// One parameter's values, its first ComponentCount(shape) entries used.
struct ParameterValues {
    float components[largestComponentCount];
};

// The component a track value makes, by its scale (0 for TrackScale::none).
float ScaledTrack(TrackScale scale, int32_t value);

// Every parameter's values for the track values: the rows' unfed
// components, then each track's scaled value in its component.
void ComputeParameterValues(const TrackRow* tracks, int trackCount,
                            const EffectParameterRow* parameters, int parameterCount,
                            const int32_t* trackValues, ParameterValues* values);

// Compile-time checks of a filter's rows, for static_assert.

constexpr bool SameText(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// Each range holds its default; a track that feeds nothing has no
// parameter, and one that feeds a component names one that exists.
template <int TrackCount, int ParameterCount>
constexpr bool TracksAreWellFormed(const TrackRow (&tracks)[TrackCount],
                                   const EffectParameterRow (&parameters)[ParameterCount])
{
    for (const TrackRow& t : tracks) {
        if (t.caption == nullptr || t.caption[0] == '\0' || t.minimum > t.defaultValue ||
            t.defaultValue > t.maximum) {
            return false;
        }
        if (t.scale == TrackScale::none) {
            if (t.parameter != -1) return false;
        } else if (t.parameter < 0 || t.parameter >= ParameterCount || t.component < 0 ||
                   t.component >= ComponentCount(parameters[t.parameter].shape)) {
            return false;
        }
    }
    return true;
}

// No two tracks share a caption (filterhost finds tracks by it) or feed the
// same component.
template <int TrackCount>
constexpr bool TracksAreDistinct(const TrackRow (&tracks)[TrackCount])
{
    for (int i = 0; i < TrackCount; ++i) {
        for (int j = i + 1; j < TrackCount; ++j) {
            const TrackRow& a = tracks[i];
            const TrackRow& b = tracks[j];
            if (SameText(a.caption, b.caption) ||
                (a.parameter >= 0 && a.parameter == b.parameter && a.component == b.component)) {
                return false;
            }
        }
    }
    return true;
}

// Every sync group is empty or holds exactly R, G and B, with one scale and
// one range among them.
template <int TrackCount>
constexpr bool SyncGroupsAreComplete(const TrackRow (&tracks)[TrackCount])
{
    for (int group = 1; group < syncGroupCount; ++group) {
        int members = 0;
        const TrackRow* first = nullptr;
        for (const TrackRow& t : tracks) {
            if (static_cast<int>(t.sync) != group) continue;
            if (first == nullptr) {
                first = &t;
            } else if (t.scale != first->scale || t.minimum != first->minimum ||
                       t.maximum != first->maximum) {
                return false;
            }
            const char expected = "RGB"[members < 3 ? members : 0];
            if (members >= 3 || t.caption[0] != expected) return false;
            ++members;
        }
        if (members != 0 && members != 3) return false;
    }
    return true;
}

// Every parameter has a name, and no two the same one.
template <int ParameterCount>
constexpr bool ParametersAreDistinct(const EffectParameterRow (&parameters)[ParameterCount])
{
    for (int i = 0; i < ParameterCount; ++i) {
        if (parameters[i].name == nullptr || parameters[i].name[0] == '\0') return false;
        for (int j = i + 1; j < ParameterCount; ++j) {
            if (SameText(parameters[i].name, parameters[j].name)) return false;
        }
    }
    return true;
}

// One column of the rows, as the host's registration arrays want it.
template <typename T, int TrackCount>
struct TrackColumn {
    T values[TrackCount];
};

template <typename T, int TrackCount>
constexpr TrackColumn<T, TrackCount> ColumnOf(const TrackRow (&tracks)[TrackCount],
                                              T TrackRow::*field)
{
    TrackColumn<T, TrackCount> column{};
    for (int i = 0; i < TrackCount; ++i) column.values[i] = tracks[i].*field;
    return column;
}
