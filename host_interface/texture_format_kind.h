// The working texture formats a frame can travel in. The values are the
// Format track's positions and the index into the kinds' table
// (core/format_kinds.h); kindNone marks "no kind in use yet".
#pragma once

#include <cstdint>

enum TextureFormatKind : int {
    kindF32 = 0,   // A32B32G32R32F, floats on the 4096 scale
    kindF16 = 1,   // A16B16G16R16F, the same as half floats
    kindU16 = 2,   // A16B16G16R16, host bits copied as unsigned normalised
    kindS16 = 3,   // Q16W16V16U16, host bits copied as signed normalised
    kindU10 = 4,   // A16B16G16R16 in, A2B10G10R10 (12/10/10 packing) out
    kindNone = 5,  // after the last kind: a new kind goes before it
};

constexpr int textureFormatKindCount = kindNone;

// The kind a Format track value asks for: clamped to 0..kindNone, where
// kindNone passes although the slider itself stops at the last kind.
constexpr int ClampFormatKind(int32_t trackValue)
{
    return trackValue < kindF32 ? kindF32 : trackValue > kindNone ? kindNone : trackValue;
}
