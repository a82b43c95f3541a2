// The objects whose size is the frame's: source texture, render target,
// read-back surface, quad, event query and, for F16, the conversion row.
#pragma once

#include <cstdint>

#include "correction_engine.h"

// Largest frame side the engine takes.
constexpr int32_t maxFrameSide = 4096;

// Rebuilds the per-size objects of the process-wide engine for the requested
// kind (clamped to 0..5, falling back to the lowest available kind) and a
// frame of width x height whose rows are pitch pixels apart. Sizes it cannot
// take are refused silently, leaving the record as it was; every later
// failure shows its message. Nothing is rolled back after a failure.
bool AllocateFrameResources(int requestedKind, int32_t width, int32_t height, int32_t pitch);

// Frees the conversion row and releases the quad, read-back surface, render
// target and source texture; keeps sizes, formatKind and the event query.
bool ReleaseFrameResources(CorrectionEngine* engine);

// The steps of an allocation after the read-back surface.
HRESULT CreateDrawResources(CorrectionEngine* engine);
HRESULT CreateQuad(CorrectionEngine* engine);
HRESULT CreateSourceTexture(CorrectionEngine* engine);
HRESULT CreateRenderTargetSurface(CorrectionEngine* engine);
HRESULT CreateReadbackSurface(CorrectionEngine* engine);
