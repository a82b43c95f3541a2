#include "core/format_kinds.h"

// The texts name the render-target format; the user's guide quotes each of
// them word for word (tests/build/check_package.sh). The probe asks F16
// first. U16, S16 and U10 go up as the host's bit patterns in 16-bit words;
// U10 comes back with the 12/10/10 packing, so only its render target
// decides whether the card can do it. The F16 pack is one lookup per value,
// with nothing for SSE to do: its SSE variant is the plain one.
const FormatKindRow formatKinds[textureFormatKindCount] = {
    {"F32", "ColorCorrection", texelA32B32G32R32F, texelA32B32G32R32F, 1,
     L"D3DFMT_A32B32G32R32F が利用できません", texelBytesF32, PackF32, PackF32Sse, texelBytesF32,
     UnpackF32, UnpackF32Sse},
    {"F16", "ColorCorrection", texelA16B16G16R16F, texelA16B16G16R16F, 0,
     L"D3DFMT_A16B16G16R16F が利用できません", texelBytesF16, PackF16, PackF16, texelBytesF16,
     UnpackF16, UnpackF16Sse},
    {"U16", "ColorCorrectionU16", texelA16B16G16R16, texelA16B16G16R16, 2,
     L"D3DFMT_A16B16G16R16 が利用できません", texelBytesInt16, PackInt16, PackInt16,
     texelBytesInt16, UnpackInt16, UnpackInt16},
    {"S16", "ColorCorrectionS16", texelQ16W16V16U16, texelQ16W16V16U16, 3,
     L"D3DFMT_Q16W16V16U16 が利用できません", texelBytesInt16, PackInt16, PackInt16,
     texelBytesInt16, UnpackInt16, UnpackInt16},
    {"U10", "ColorCorrectionU10", texelA16B16G16R16, texelA2B10G10R10, 4,
     L"D3DFMT_A2B10G10R10 が利用できません", texelBytesInt16, PackInt16, PackInt16, texelBytesU10,
     UnpackU10, UnpackU10},
};

const FormatKindRow* FormatKindRowOf(int kind)
{
    return kind >= 0 && kind < textureFormatKindCount ? &formatKinds[kind] : nullptr;
}

PackRowsFunction PackConverterOf(int kind, bool sseUsable, int32_t* texelBytes)
{
    const FormatKindRow* row = FormatKindRowOf(kind);
    if (row == nullptr) {
        return nullptr;
    }
    *texelBytes = row->packTexelBytes;
    return sseUsable ? row->packSse : row->pack;
}

UnpackRowsFunction UnpackConverterOf(int kind, bool sseUsable, int32_t* texelBytes)
{
    const FormatKindRow* row = FormatKindRowOf(kind);
    if (row == nullptr) {
        return nullptr;
    }
    *texelBytes = row->unpackTexelBytes;
    return sseUsable ? row->unpackSse : row->unpack;
}
