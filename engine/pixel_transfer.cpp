#include "pixel_transfer.h"

#include "format_kinds.h"
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
        return ReportFailure(D3DERR_INVALIDCALL, L"no source surface", errorUpload);
    }
    int32_t texelBytes = 0;
    const PackRowsFunction pack = PackConverterOf(engine->formatKind, engine->sseUsable,
                                                  &texelBytes);
    if (pack == nullptr) {
        return ReportFailure(D3DERR_INVALIDCALL, L"no converter for the format kind", errorUpload);
    }
    D3DLOCKED_RECT locked;
    // Discard: every texel the effect samples is written anew.
    HRESULT result = surface->LockRect(&locked, nullptr, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
    if (result != D3D_OK) {
        return ReportFailure(FAILED(result) ? result : E_FAIL, L"LockRect", errorUpload);
    }
    PackInBands(&engine->rowBands, pack, texelBytes, pixels, hostPitch, locked.pBits, locked.Pitch,
                engine->frameWidth, engine->frameHeight);
    result = surface->UnlockRect();
    if (FAILED(result)) {
        return ReportFailure(result, L"UnlockRect", errorUpload);
    }
    return result;
}

bool UploadFrame(const YCPixel* pixels, int32_t hostPitch)
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr || engine->sourceTexture == nullptr ||
        !TransferFits(engine, pixels, hostPitch)) {
        return false;
    }
    IDirect3DSurface9* surface = nullptr;
    HRESULT result = engine->sourceTexture->GetSurfaceLevel(0, &surface);
    if (FAILED(result)) {
        ReportFailure(result, L"GetSurfaceLevel", errorTextureSurface);
        return false;
    }
    result = FillSourceSurface(engine, pixels, hostPitch, surface);
    if (surface != nullptr) {
        surface->Release();
    }
    return SUCCEEDED(result);
}

HRESULT ReadBackRenderTarget(CorrectionEngine* engine, IDirect3DSurface9* renderTarget,
                             IDirect3DSurface9* readbackSurface, YCPixel* pixels, int32_t hostPitch)
{
    if (engine->device == nullptr || readbackSurface == nullptr) {
        return ReportFailure(D3DERR_INVALIDCALL, L"no device or read-back surface", errorDownload);
    }
    int32_t texelBytes = 0;
    const UnpackRowsFunction unpack = UnpackConverterOf(engine->formatKind, engine->sseUsable,
                                                        &texelBytes);
    if (unpack == nullptr) {
        return ReportFailure(D3DERR_INVALIDCALL, L"no converter for the format kind",
                             errorDownload);
    }
    HRESULT result = engine->device->GetRenderTargetData(renderTarget, readbackSurface);
    if (result != D3D_OK) {
        return ReportFailure(FAILED(result) ? result : E_FAIL, L"GetRenderTargetData",
                             errorDownload);
    }
    D3DLOCKED_RECT locked;
    result = readbackSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
    if (result != D3D_OK) {
        return ReportFailure(FAILED(result) ? result : E_FAIL, L"LockRect", errorDownload);
    }
    UnpackInBands(&engine->rowBands, unpack, texelBytes, pixels, hostPitch, locked.pBits,
                  locked.Pitch, engine->frameWidth, engine->frameHeight);
    result = readbackSurface->UnlockRect();
    if (FAILED(result)) {
        return ReportFailure(result, L"UnlockRect", errorDownload);
    }
    return result;
}

bool DownloadFrame(YCPixel* pixels, int32_t hostPitch)
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr || !TransferFits(engine, pixels, hostPitch)) {
        return false;
    }
    return SUCCEEDED(ReadBackRenderTarget(engine, engine->renderTarget, engine->readbackSurface,
                                          pixels, hostPitch));
}
