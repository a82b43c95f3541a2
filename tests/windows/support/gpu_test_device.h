// The one way tests draw through the effect on a device (the test's own,
// ReferenceDevice of d3d_tracking.h) and read the result back.
#pragma once

#include <cstdint>
#include <vector>

#include <d3d9.h>
#include <d3dx9.h>

// A render target's contents, copied to system memory.
struct ReadBack {
    int width = 0;
    int height = 0;
    int pitch = 0;  // bytes per row
    std::vector<uint8_t> bytes;
    const uint8_t* Row(int y) const { return bytes.data() + static_cast<size_t>(y) * pitch; }
};

// A dynamic default-pool texture of width x height filled row by row from
// `texels` (texelBytes per texel, rows packed), as frames are uploaded.
HRESULT CreateFilledTexture(IDirect3DDevice9* device, D3DFORMAT format, int width, int height,
                            const void* texels, int texelBytes, IDirect3DTexture9** texture);

// Binds `source` to the effect's txSrc, draws one full-target quad of
// pre-transformed vertices through `technique` into a new render target of
// `targetFormat`, and reads it back.
HRESULT DrawThroughEffect(IDirect3DDevice9* device, ID3DXEffect* effect, const char* technique,
                          IDirect3DTexture9* source, D3DFORMAT targetFormat, int width, int height,
                          ReadBack* result);
