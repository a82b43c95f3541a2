#include "gpu_test_device.h"

#include <cstring>

#include <gtest/gtest.h>

namespace {

// Pre-transformed position and one texture coordinate, the layout the
// plug-in draws its quad with.
struct QuadVertex {
    float x, y, z, rhw, u, v;
};

const D3DVERTEXELEMENT9 quadElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};

template <typename T>
void SafeRelease(T** object)
{
    if (*object != nullptr) {
        (*object)->Release();
        *object = nullptr;
    }
}

}  // namespace

HRESULT CreateFilledTexture(IDirect3DDevice9* device, D3DFORMAT format, int width, int height,
                            const void* texels, int texelBytes, IDirect3DTexture9** texture)
{
    *texture = nullptr;
    HRESULT hr = device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, format, D3DPOOL_DEFAULT,
                                       texture, nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    D3DLOCKED_RECT locked;
    hr = (*texture)->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD);
    if (FAILED(hr)) {
        SafeRelease(texture);
        return hr;
    }
    const size_t rowBytes = static_cast<size_t>(width) * texelBytes;
    for (int y = 0; y < height; ++y) {
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch,
                    static_cast<const uint8_t*>(texels) + y * rowBytes, rowBytes);
    }
    return (*texture)->UnlockRect(0);
}

HRESULT DrawThroughEffect(IDirect3DDevice9* device, ID3DXEffect* effect, const char* technique,
                          IDirect3DTexture9* source, D3DFORMAT targetFormat, int width, int height,
                          ReadBack* result)
{
    IDirect3DSurface9* target = nullptr;
    IDirect3DSurface9* copy = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    HRESULT hr = device->CreateRenderTarget(width, height, targetFormat, D3DMULTISAMPLE_NONE, 0,
                                            FALSE, &target, nullptr);
    if (SUCCEEDED(hr)) {
        hr = device->CreateOffscreenPlainSurface(width, height, targetFormat, D3DPOOL_SYSTEMMEM,
                                                 &copy, nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = device->CreateVertexDeclaration(quadElements, &declaration);
    }
    if (SUCCEEDED(hr)) {
        hr = effect->SetTexture("txSrc", source);
    }
    if (SUCCEEDED(hr)) {
        hr = effect->SetTechnique(technique);
    }
    // The half-pixel shift puts each pixel centre on the centre of its texel.
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const QuadVertex quad[4] = {
        {-0.5f, -0.5f, 1.0f, 1.0f, 0.0f, 0.0f},
        {w - 0.5f, -0.5f, 1.0f, 1.0f, 1.0f, 0.0f},
        {-0.5f, h - 0.5f, 1.0f, 1.0f, 0.0f, 1.0f},
        {w - 0.5f, h - 0.5f, 1.0f, 1.0f, 1.0f, 1.0f},
    };
    if (SUCCEEDED(hr)) {
        hr = device->BeginScene();
    }
    if (SUCCEEDED(hr)) {
        UINT passes = 0;
        device->SetVertexDeclaration(declaration);
        device->SetRenderTarget(0, target);
        hr = effect->Begin(&passes, 0);
        if (SUCCEEDED(hr)) {
            hr = effect->BeginPass(0);
            if (SUCCEEDED(hr)) {
                hr = device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(QuadVertex));
                effect->EndPass();
            }
            effect->End();
        }
        device->EndScene();
    }
    if (SUCCEEDED(hr)) {
        hr = device->GetRenderTargetData(target, copy);
    }
    D3DLOCKED_RECT locked;
    if (SUCCEEDED(hr)) {
        hr = copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    }
    if (SUCCEEDED(hr)) {
        result->width = width;
        result->height = height;
        result->pitch = locked.Pitch;
        result->bytes.assign(static_cast<uint8_t*>(locked.pBits),
                             static_cast<uint8_t*>(locked.pBits) +
                                 static_cast<size_t>(locked.Pitch) * height);
        copy->UnlockRect();
    }
    // Leave nothing of the test bound to the device.
    effect->SetTexture("txSrc", nullptr);
    IDirect3DSurface9* backBuffer = nullptr;
    if (SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) {
        device->SetRenderTarget(0, backBuffer);
        backBuffer->Release();
    }
    device->SetVertexDeclaration(nullptr);
    SafeRelease(&declaration);
    SafeRelease(&copy);
    SafeRelease(&target);
    return hr;
}
