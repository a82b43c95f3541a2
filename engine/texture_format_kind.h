// The working texture formats a frame can travel in. The values are the
// "Format" slider's positions and the index into every per-kind table;
// kindNone marks "no kind in use yet".
#pragma once

enum TextureFormatKind : int {
    kindF32 = 0,   // A32B32G32R32F, floats on the 4096 scale
    kindF16 = 1,   // A16B16G16R16F, the same as half floats
    kindU16 = 2,   // A16B16G16R16, host bits copied as unsigned normalised
    kindS16 = 3,   // Q16W16V16U16, host bits copied as signed normalised
    kindU10 = 4,   // A16B16G16R16 in, A2B10G10R10 (12/10/10 packing) out
    kindNone = 5,
};

constexpr int textureFormatKindCount = 5;
