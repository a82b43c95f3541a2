// The Direct3D side of the format kinds' table (format_kinds.h).
#pragma once

#include <d3d9.h>

#include "core/format_kinds.h"

constexpr D3DFORMAT D3dFormatOf(TexelFormat format)
{
    return static_cast<D3DFORMAT>(format);
}

// The texture a kind's frame is packed into, and its render target (which
// the read-back copy shares); D3DFMT_UNKNOWN for a kind without a row.
D3DFORMAT SourceFormatOf(int kind);
D3DFORMAT TargetFormatOf(int kind);

struct CorrectionEngine;

// The tag of the engine's formatKind, for the debug window: its name ("F32"
// ... "U10"), or "Unknown" for any other value and for no engine.
const wchar_t* FormatKindName(const CorrectionEngine* engine);
