#include "format_table.h"

const FormatKindInfo formatKindTable[textureFormatKindCount + 1] = {
    {L"F32", D3DFMT_A32B32G32R32F, D3DFMT_A32B32G32R32F, D3DFMT_A32B32G32R32F,
     &CorrectionEngine::hColorCorrection},
    {L"F16", D3DFMT_A16B16G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_A16B16G16R16F,
     &CorrectionEngine::hColorCorrection},
    {L"U16", D3DFMT_A16B16G16R16, D3DFMT_A16B16G16R16, D3DFMT_A16B16G16R16,
     &CorrectionEngine::hColorCorrectionU16},
    {L"S16", D3DFMT_Q16W16V16U16, D3DFMT_Q16W16V16U16, D3DFMT_Q16W16V16U16,
     &CorrectionEngine::hColorCorrectionS16},
    // U10 goes in as 16-bit unsigned channels and comes out with the 10:10:10:2
    // packing; only its render target decides whether the card can do it.
    {L"U10", D3DFMT_A16B16G16R16, D3DFMT_A2B10G10R10, D3DFMT_A2B10G10R10,
     &CorrectionEngine::hColorCorrectionU10},
    {L"Unknown", D3DFMT_UNKNOWN, D3DFMT_UNKNOWN, D3DFMT_UNKNOWN, nullptr},
};

const FormatKindInfo& FormatKindEntry(int kind)
{
    if (kind < 0 || kind >= textureFormatKindCount) {
        return formatKindTable[kindNone];
    }
    return formatKindTable[kind];
}

const wchar_t* FormatKindName()
{
    if (correctionEngine == nullptr) {
        return formatKindTable[kindNone].tag;
    }
    return FormatKindEntry(correctionEngine->formatKind).tag;
}
