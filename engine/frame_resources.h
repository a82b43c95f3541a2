// The objects whose size is the frame's: source texture, render target,
// read-back surface, quad and event query.
#pragma once

#include <cstdint>

#include "correction_engine.h"

// Largest frame side the engine takes.
constexpr int32_t maxFrameSide = 4096;

// Whether the engine takes a frame of width x height whose rows are pitch
// pixels apart: no side negative or above maxFrameSide, a pitch of at least
// the width.
bool FrameShapeAccepted(int32_t width, int32_t height, int32_t pitch);

// The kind a frame is made in: the requested kind (ClampFormatKind) when the
// device has it, else the lowest kind it has; kindNone when it has none.
int ChosenFormatKind(int requestedKind, const bool formatAvailable[textureFormatKindCount]);

// Rebuilds the engine's per-size objects for the requested kind (clamped by
// ClampFormatKind, falling back to the lowest available kind) and a frame of width x
// height whose rows are pitch pixels apart. Without a device and effect, and
// for sizes it cannot take, it refuses silently, leaving the record as it
// was; every later failure shows its message. What was made before a
// failing step is kept (the next allocation releases it first).
bool AllocateFrameResources(CorrectionEngine* engine, int requestedKind, int32_t width,
                            int32_t height, int32_t pitch);

// Releases the quad, read-back surface, render target and source texture;
// keeps sizes, formatKind and the event query. Repeatable; always true.
bool ReleaseFrameResources(CorrectionEngine* engine);
