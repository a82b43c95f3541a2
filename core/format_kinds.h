// The working texture format kinds, one row each: what the engine, the
// reference model, the tests, the benchmarks and the fuzz target know of a
// kind, they read here.
#pragma once

#include <cstdint>

#include "core/pixel_converters.h"
#include "host_interface/texture_format_kind.h"

// The Direct3D 9 texture formats by d3d9.h's numbers, so that the table
// builds natively with the converters; format_table.cpp holds them to
// d3d9.h. Each also names a texel layout (pixel_converters.h), which the
// reference model and the fuzz target follow.
enum TexelFormat : uint32_t {
    texelA32B32G32R32F = 116,  // four binary32
    texelA16B16G16R16F = 113,  // four binary16
    texelA16B16G16R16 = 36,    // four unsigned normalised 16-bit words
    texelQ16W16V16U16 = 110,   // four signed normalised 16-bit words
    texelA2B10G10R10 = 31,     // one 32-bit word: 10, 10, 10 and 2 bits
};

struct FormatKindRow {
    const char* name;            // as the debug window and filterhost show it
    const char* technique;       // the effect's technique that draws the kind
    TexelFormat sourceFormat;    // the texture the frame is packed into
    TexelFormat targetFormat;    // the render target and its read-back copy
    int32_t probeRank;           // when the device's probe asks for targetFormat
    const wchar_t* missingText;  // the error box when the card cannot render it
    int32_t packTexelBytes;
    PackRowsFunction pack;
    PackRowsFunction packSse;
    int32_t unpackTexelBytes;
    UnpackRowsFunction unpack;
    UnpackRowsFunction unpackSse;
};

// Indexed by TextureFormatKind. A sixth kind is its TextureFormatKind value,
// one row here, its converters (pixel_converters.h) and its technique
// (effect/ColorCorrection.fx); nothing else lists the kinds.
extern const FormatKindRow formatKinds[textureFormatKindCount];

// The row of a kind, or nullptr for kindNone and any value outside the
// table: such a kind has no formats, converters or technique.
const FormatKindRow* FormatKindRowOf(int kind);

// The kind's converter, the SSE one when sseUsable, and its texel size;
// nullptr (and texelBytes untouched) for a kind without a row.
PackRowsFunction PackConverterOf(int kind, bool sseUsable, int32_t* texelBytes);
UnpackRowsFunction UnpackConverterOf(int kind, bool sseUsable, int32_t* texelBytes);
