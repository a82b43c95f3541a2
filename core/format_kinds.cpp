#include "core/format_kinds.h"

// The texts name the render-target format; the user's guide quotes each of
// them word for word (tests/build/check_package.sh). The probe asks F16
// first. U16, S16 and U10 go up as the host's bit patterns in 16-bit words;
// U10 comes back with the 12/10/10 packing, so only its render target
// decides whether the card can do it. The F16 pack is one lookup per value,
// with nothing for SSE to do: its SSE variant is the plain one.
constexpr FormatKindRow formatKinds[textureFormatKindCount] = {
    {"F32", "ColorCorrection", &binary32Layout, &binary32Layout, 1,
     L"D3DFMT_A32B32G32R32F が利用できません", PackF32, PackF32Sse, UnpackF32, UnpackF32Sse},
    {"F16", "ColorCorrection", &binary16Layout, &binary16Layout, 0,
     L"D3DFMT_A16B16G16R16F が利用できません", PackF16, PackF16, UnpackF16, UnpackF16Sse},
    {"U16", "ColorCorrectionU16", &unorm16Layout, &unorm16Layout, 2,
     L"D3DFMT_A16B16G16R16 が利用できません", PackInt16, PackInt16, UnpackInt16, UnpackInt16},
    {"S16", "ColorCorrectionS16", &snorm16Layout, &snorm16Layout, 3,
     L"D3DFMT_Q16W16V16U16 が利用できません", PackInt16, PackInt16, UnpackInt16, UnpackInt16},
    {"U10", "ColorCorrectionU10", &unorm16Layout, &unorm10Layout, 4,
     L"D3DFMT_A2B10G10R10 が利用できません", PackInt16, PackInt16, UnpackU10, UnpackU10},
};

namespace {

constexpr bool SameText(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// A row is whole: its names and texel rules (a missing converter is a
// missing initialiser, which the compiler warns of); its source is a texture
// a frame can be packed into and sampled from, never a packed word.
constexpr bool RowComplete(const FormatKindRow& row)
{
    return row.name != nullptr && row.technique != nullptr && row.missingText != nullptr &&
           row.source != nullptr && row.target != nullptr &&
           row.source->coding != HostCoding::packed12_10_10;
}

// Names tell the kinds apart, and the probe ranks are 0 .. count - 1, each
// once.
constexpr bool RowsDistinct()
{
    for (int a = 0; a < textureFormatKindCount; ++a) {
        if (formatKinds[a].probeRank < 0 || formatKinds[a].probeRank >= textureFormatKindCount) {
            return false;
        }
        for (int b = a + 1; b < textureFormatKindCount; ++b) {
            if (SameText(formatKinds[a].name, formatKinds[b].name) ||
                formatKinds[a].probeRank == formatKinds[b].probeRank) {
                return false;
            }
        }
    }
    return true;
}

constexpr bool AllRowsComplete()
{
    for (const FormatKindRow& row : formatKinds) {
        if (!RowComplete(row)) {
            return false;
        }
    }
    return true;
}

static_assert(binary32Layout.bytes == texelBytesF32 && binary16Layout.bytes == texelBytesF16 &&
                  unorm16Layout.bytes == texelBytesInt16 && snorm16Layout.bytes == texelBytesInt16 &&
                  unorm10Layout.bytes == texelBytesU10,
              "the texel rules' sizes are those the converters step by");
static_assert(AllRowsComplete(),
              "every kind has its names and texel rules, its source a sampled texture");
static_assert(RowsDistinct(), "kind names and probe ranks are each used once");

}  // namespace

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
    *texelBytes = row->source->bytes;
    return sseUsable ? row->packSse : row->pack;
}

UnpackRowsFunction UnpackConverterOf(int kind, bool sseUsable, int32_t* texelBytes)
{
    const FormatKindRow* row = FormatKindRowOf(kind);
    if (row == nullptr) {
        return nullptr;
    }
    *texelBytes = row->target->bytes;
    return sseUsable ? row->unpackSse : row->unpack;
}
