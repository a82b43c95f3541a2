// Moving a frame between the host's buffer and the device: packed into the
// source texture before the draw, read back from the render target and
// unpacked into the same buffer after it.
#pragma once

#include <cstdint>

#include "correction_engine.h"

// Packs the host frame (rows hostPitch pixels apart) into level 0 of the
// process-wide engine's source texture. Shows its message and returns false
// on failure; the host buffer is not touched either way.
bool UploadFrame(const YCPixel* pixels, int32_t hostPitch);

// Copies the render target back and unpacks it over the host frame. Shows
// its message and returns false on failure; the host buffer then still holds
// the input, unless only the final unlock failed.
bool DownloadFrame(YCPixel* pixels, int32_t hostPitch);

HRESULT FillSourceSurface(CorrectionEngine* engine, const YCPixel* pixels, int32_t hostPitch,
                          IDirect3DSurface9* surface);
HRESULT ReadBackRenderTarget(CorrectionEngine* engine, IDirect3DSurface9* renderTarget,
                             IDirect3DSurface9* readbackSurface, YCPixel* pixels,
                             int32_t hostPitch);
