#include "format_table.h"

const FormatKindInfo formatKindTable[textureFormatKindCount + 1] = {
    {D3DFMT_A32B32G32R32F, D3DFMT_A32B32G32R32F, D3DFMT_A32B32G32R32F,
     &CorrectionEngine::hColorCorrection},
    {D3DFMT_A16B16G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_A16B16G16R16F,
     &CorrectionEngine::hColorCorrection},
    {D3DFMT_A16B16G16R16, D3DFMT_A16B16G16R16, D3DFMT_A16B16G16R16,
     &CorrectionEngine::hColorCorrectionU16},
    {D3DFMT_Q16W16V16U16, D3DFMT_Q16W16V16U16, D3DFMT_Q16W16V16U16,
     &CorrectionEngine::hColorCorrectionS16},
    // U10 goes in as 16-bit unsigned channels and comes out with the 10:10:10:2
    // packing; only its render target decides whether the card can do it.
    {D3DFMT_A16B16G16R16, D3DFMT_A2B10G10R10, D3DFMT_A2B10G10R10,
     &CorrectionEngine::hColorCorrectionU10},
    {D3DFMT_UNKNOWN, D3DFMT_UNKNOWN, D3DFMT_UNKNOWN, nullptr},
};

const FormatKindInfo& FormatKindEntry(int kind)
{
    if (kind < 0 || kind >= textureFormatKindCount) {
        return formatKindTable[kindNone];
    }
    return formatKindTable[kind];
}

namespace {

// The kinds' names widened for the debug window, at compile time.
struct WideKindNames {
    wchar_t names[textureFormatKindCount][4];
};

constexpr WideKindNames WidenKindNames()
{
    WideKindNames wide = {};
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        for (int i = 0; i < 3; ++i) {
            wide.names[kind][i] = static_cast<wchar_t>(textureFormatKindNames[kind][i]);
        }
    }
    return wide;
}

constexpr WideKindNames wideKindNames = WidenKindNames();

}  // namespace

const wchar_t* FormatKindName()
{
    const int kind = correctionEngine != nullptr ? correctionEngine->formatKind : kindNone;
    if (kind < 0 || kind >= textureFormatKindCount) {
        return L"Unknown";
    }
    return wideKindNames.names[kind];
}
