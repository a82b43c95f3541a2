#include "pixel_transfer.h"

#include "pixel_converters.h"
#include "row_bands.h"
#include "show_error.h"

namespace {

// The host pitch of the frame being transferred, checked against the size
// the resources were made for. The pitch is the current frame's, not the one
// of the last allocation: a host may change its maximum width without
// changing the frame size, and a stale pitch would walk past its buffer.
bool TransferFits(const CorrectionEngine* engine, const YCPixel* pixels, int32_t hostPitch)
{
    return pixels != nullptr && hostPitch >= engine->frameWidth;
}

}  // namespace

HRESULT FillSourceSurface(CorrectionEngine* engine, const YCPixel* pixels, int32_t hostPitch,
                          IDirect3DSurface9* surface)
{
    if (surface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    D3DLOCKED_RECT locked;
    // Discard: every texel the effect samples is written anew.
    HRESULT result = surface->LockRect(&locked, nullptr, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
    if (result != D3D_OK) {
        return result;
    }
    int32_t texelBytes;
    const PackRowsFunction pack = PackConverterOf(
        static_cast<TextureFormatKind>(engine->formatKind), engine->sseUsable, &texelBytes);
    PackInBands(&engine->rowBands, pack, texelBytes, pixels, hostPitch, locked.pBits,
                locked.Pitch, engine->frameWidth, engine->frameHeight);
    return surface->UnlockRect();
}

bool UploadFrame(const YCPixel* pixels, int32_t hostPitch)
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr || engine->sourceTexture == nullptr ||
        !TransferFits(engine, pixels, hostPitch)) {
        return false;
    }
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(engine->sourceTexture->GetSurfaceLevel(0, &surface))) {
        ShowError(L"テクスチャサーフェスを取得できませんでした");
        return false;
    }
    HRESULT result = FillSourceSurface(engine, pixels, hostPitch, surface);
    surface->Release();
    if (FAILED(result)) {
        ShowError(L"デバイスへコピーできませんでした");
        return false;
    }
    return true;
}

HRESULT ReadBackRenderTarget(CorrectionEngine* engine, IDirect3DSurface9* renderTarget,
                             IDirect3DSurface9* readbackSurface, YCPixel* pixels,
                             int32_t hostPitch)
{
    if (engine->device == nullptr || readbackSurface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    HRESULT result = engine->device->GetRenderTargetData(renderTarget, readbackSurface);
    if (result != D3D_OK) {
        return result;
    }
    D3DLOCKED_RECT locked;
    result = readbackSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
    if (result != D3D_OK) {
        return result;
    }
    int32_t texelBytes;
    const UnpackRowsFunction unpack = UnpackConverterOf(
        static_cast<TextureFormatKind>(engine->formatKind), engine->sseUsable, &texelBytes);
    UnpackInBands(&engine->rowBands, unpack, texelBytes, pixels, hostPitch, locked.pBits,
                  locked.Pitch, engine->frameWidth, engine->frameHeight);
    return readbackSurface->UnlockRect();
}

bool DownloadFrame(YCPixel* pixels, int32_t hostPitch)
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr || !TransferFits(engine, pixels, hostPitch)) {
        return false;
    }
    HRESULT result = ReadBackRenderTarget(engine, engine->renderTarget, engine->readbackSurface,
                                          pixels, hostPitch);
    if (FAILED(result)) {
        ShowError(L"デバイスからコピーできませんでした");
        return false;
    }
    return true;
}
