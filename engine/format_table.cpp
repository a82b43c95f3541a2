#include "format_table.h"

#include "correction_engine.h"

static_assert(D3dFormatOf(texelA32B32G32R32F) == D3DFMT_A32B32G32R32F &&
                  D3dFormatOf(texelA16B16G16R16F) == D3DFMT_A16B16G16R16F &&
                  D3dFormatOf(texelA16B16G16R16) == D3DFMT_A16B16G16R16 &&
                  D3dFormatOf(texelQ16W16V16U16) == D3DFMT_Q16W16V16U16 &&
                  D3dFormatOf(texelA2B10G10R10) == D3DFMT_A2B10G10R10,
              "TexelFormat holds d3d9.h's numbers");

D3DFORMAT SourceFormatOf(int kind)
{
    const FormatKindRow* row = FormatKindRowOf(kind);
    return row != nullptr ? D3dFormatOf(row->source->format) : D3DFMT_UNKNOWN;
}

D3DFORMAT TargetFormatOf(int kind)
{
    const FormatKindRow* row = FormatKindRowOf(kind);
    return row != nullptr ? D3dFormatOf(row->target->format) : D3DFMT_UNKNOWN;
}

namespace {

// The kinds' names widened for the debug window, once.
struct WideKindNames {
    wchar_t names[textureFormatKindCount][8];
};

WideKindNames WidenKindNames()
{
    WideKindNames wide = {};
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        const char* name = formatKinds[kind].name;
        for (int i = 0; i < 7 && name[i] != '\0'; ++i) {
            wide.names[kind][i] = static_cast<wchar_t>(name[i]);
        }
    }
    return wide;
}

}  // namespace

const wchar_t* FormatKindName(const CorrectionEngine* engine)
{
    static const WideKindNames wideKindNames = WidenKindNames();
    const int kind = engine != nullptr ? engine->formatKind : kindNone;
    if (FormatKindRowOf(kind) == nullptr) {
        return L"Unknown";
    }
    return wideKindNames.names[kind];
}
