// What makes one filter of the engine and the plug-in's callbacks: the
// registration the host reads (name, tracks, check boxes, information text),
// the track rows, the effect in the module's resources and the parameters the
// tracks feed. The engine and the callbacks take it and know no filter of
// their own.
#pragma once

#include <cstdint>

#include "core/track_table.h"

// The engine's room for handles: a filter has at most this many effect
// parameters.
constexpr int largestParameterCount = 16;

struct FilterDescription {
    const char* name;  // the host's list of filters shows it
    const TrackRow* tracks;
    int trackCount;
    int formatTrack;  // the track that asks for a TextureFormatKind; -1 when none does
    const char* const* checkNames;  // code page 932
    const int32_t* checkDefaults;
    int checkCount;
    int rgbSyncCheck;         // the check box that turns RGB sync on; -1 when none does
    const char* information;  // the host's "about" text
    int effectResourceId;     // RCDATA of the compiled effect in the module
    const EffectParameterRow* parameters;
    int parameterCount;  // at most largestParameterCount
};
