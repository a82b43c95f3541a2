// Moving a frame between the host's buffer and the device: packed into the
// source texture before the draw, read back from the render target and
// unpacked into the same buffer after it.
#pragma once

#include <cstdint>

#include "correction_engine.h"

// Packs the host frame (rows hostPitch pixels apart) into level 0 of the
// engine's source texture. Refuses silently without a source texture, host
// pixels or a pitch of at least the frame's width; any other failure shows
// its message. Either way the host buffer is not touched.
bool UploadFrame(CorrectionEngine* engine, const YCPixel* pixels, int32_t hostPitch);

// Copies the render target back and unpacks it over the host frame; the
// same silent refusal without pixels or pitch. Shows its message and returns
// false on failure; the host buffer then still holds the input, unless only
// the final unlock failed.
bool DownloadFrame(CorrectionEngine* engine, YCPixel* pixels, int32_t hostPitch);
