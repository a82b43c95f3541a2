// What each working format kind is made of on the device.
#pragma once

#include <d3d9.h>

#include "correction_engine.h"
#include "host_interface/texture_format_kind.h"

struct FormatKindInfo {
    D3DFORMAT sourceFormat;        // the texture the frame is packed into
    D3DFORMAT renderTargetFormat;  // what the effect draws into
    D3DFORMAT readbackFormat;      // the system-memory copy of the render target
    D3DXHANDLE CorrectionEngine::*technique;
};

// Indexed by TextureFormatKind; entry kindNone has no formats.
extern const FormatKindInfo formatKindTable[textureFormatKindCount + 1];

// The entry of a kind; any value outside 0..4 gives the kindNone entry.
const FormatKindInfo& FormatKindEntry(int kind);

// The tag of the process-wide engine's formatKind, for the debug window: its
// name ("F32" ... "U10"), or "Unknown" for any other value and while no
// engine exists.
const wchar_t* FormatKindName();
