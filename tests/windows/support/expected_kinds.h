// What each format kind must be, written out apart from the kinds' table
// (core/format_kinds.cpp) so that a wrong row there fails the tests that
// compare against this list. In probe order: the order in which the engine
// asks the device for the target formats.
#pragma once

#include <cstdlib>

#include <d3d9.h>

#include "host_interface/texture_format_kind.h"

struct ExpectedKind {
    TextureFormatKind kind;
    const wchar_t* tag;     // the kind's name in the debug window
    const char* technique;  // the effect's technique that draws it
    D3DFORMAT source;       // the texture the frame is packed into
    D3DFORMAT target;       // the render target and its read-back copy
};

inline constexpr ExpectedKind expectedKinds[] = {
    {kindF16, L"F16", "ColorCorrection", D3DFMT_A16B16G16R16F, D3DFMT_A16B16G16R16F},
    {kindF32, L"F32", "ColorCorrection", D3DFMT_A32B32G32R32F, D3DFMT_A32B32G32R32F},
    {kindU16, L"U16", "ColorCorrectionU16", D3DFMT_A16B16G16R16, D3DFMT_A16B16G16R16},
    {kindS16, L"S16", "ColorCorrectionS16", D3DFMT_Q16W16V16U16, D3DFMT_Q16W16V16U16},
    {kindU10, L"U10", "ColorCorrectionU10", D3DFMT_A16B16G16R16, D3DFMT_A2B10G10R10},
};
static_assert(sizeof expectedKinds / sizeof expectedKinds[0] == textureFormatKindCount,
              "every kind is written out");

inline const ExpectedKind& ExpectedKindOf(int kind)
{
    for (const ExpectedKind& expected : expectedKinds) {
        if (expected.kind == kind) return expected;
    }
    std::abort();  // a test asked for a kind that does not exist
}
