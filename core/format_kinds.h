// The working texture format kinds, one row each: what the engine, the
// reference model, the tests, the benchmarks and the fuzz target know of a
// kind, they read here.
#pragma once

#include <cstdint>

#include "core/pixel_converters.h"
#include "core/texel_rules.h"
#include "host_interface/texture_format_kind.h"

struct FormatKindRow {
    const char* name;            // as the debug window and filterhost show it
    const char* technique;       // the effect's technique that draws the kind
    const TexelLayout* source;     // the texture the frame is packed into
    const TexelLayout* target;     // the render target and its read-back copy
    int32_t probeRank;           // when the device's probe asks for the target
    const wchar_t* missingText;  // the error box when the card cannot render it
    PackRowsFunction pack;       // into source->bytes a texel
    PackRowsFunction packSse;
    UnpackRowsFunction unpack;  // from target->bytes a texel
    UnpackRowsFunction unpackSse;
};

// Indexed by TextureFormatKind. A sixth kind is its TextureFormatKind value,
// one row here, its converters (pixel_converters.h), its technique
// (effect/ColorCorrection.fx) and, for a new texture format, its texel rule
// (texel_rules.h); nothing else lists the kinds.
extern const FormatKindRow formatKinds[textureFormatKindCount];

// The row of a kind, or nullptr for kindNone and any value outside the
// table: such a kind has no formats, converters or technique.
const FormatKindRow* FormatKindRowOf(int kind);

// The kind's converter, the SSE one when sseUsable, and its texel size;
// nullptr (and texelBytes untouched) for a kind without a row.
PackRowsFunction PackConverterOf(int kind, bool sseUsable, int32_t* texelBytes);
UnpackRowsFunction UnpackConverterOf(int kind, bool sseUsable, int32_t* texelBytes);
