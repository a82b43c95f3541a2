#include "pixel_transfer.h"

#include "core/format_kinds.h"
#include "release_interface.h"
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

// Out of address space, Wine answers a lock with success and no memory: such
// a lock is given back and fails the step.
HRESULT CheckLockedMemory(IDirect3DSurface9* surface, const D3DLOCKED_RECT& locked, ErrorText text)
{
    const HRESULT result = CHECK_CALL(locked.pBits, text);
    if (FAILED(result)) {
        BEST_EFFORT(surface->UnlockRect());
    }
    return result;
}

HRESULT FillSourceSurface(CorrectionEngine* engine, const YCPixel* pixels, int32_t hostPitch,
                          IDirect3DSurface9* surface)
{
    int32_t texelBytes = 0;
    const PackRowsFunction pack = PackConverterOf(engine->formatKind, engine->sseUsable,
                                                  &texelBytes);
    if (pack == nullptr) {
        return ReportMissing(L"no converter for the format kind", errorUpload);
    }
    D3DLOCKED_RECT locked = {};
    // Discard: every texel the effect samples is written anew.
    HRESULT result = CHECK_CALL(
        surface->LockRect(&locked, nullptr, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK), errorUpload);
    if (FAILED(result)) {
        return result;
    }
    result = CheckLockedMemory(surface, locked, errorUpload);
    if (FAILED(result)) {
        return result;
    }
    PackInBands(&engine->rowBands, pack, texelBytes, pixels, hostPitch, locked.pBits, locked.Pitch,
                engine->frameWidth, engine->frameHeight);
    return CHECK_CALL(surface->UnlockRect(), errorUpload);
}

HRESULT ReadBackRenderTarget(CorrectionEngine* engine, YCPixel* pixels, int32_t hostPitch)
{
    IDirect3DSurface9* readbackSurface = engine->readbackSurface;
    if (engine->device == nullptr || readbackSurface == nullptr) {
        return ReportMissing(L"no device or read-back surface", errorDownload);
    }
    int32_t texelBytes = 0;
    const UnpackRowsFunction unpack = UnpackConverterOf(engine->formatKind, engine->sseUsable,
                                                        &texelBytes);
    if (unpack == nullptr) {
        return ReportMissing(L"no converter for the format kind", errorDownload);
    }
    HRESULT result = CHECK_CALL(
        engine->device->GetRenderTargetData(engine->renderTarget, readbackSurface), errorDownload);
    if (FAILED(result)) {
        return result;
    }
    D3DLOCKED_RECT locked = {};
    result = CHECK_CALL(
        readbackSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK),
        errorDownload);
    if (FAILED(result)) {
        return result;
    }
    result = CheckLockedMemory(readbackSurface, locked, errorDownload);
    if (FAILED(result)) {
        return result;
    }
    UnpackInBands(&engine->rowBands, unpack, texelBytes, pixels, hostPitch, locked.pBits,
                  locked.Pitch, engine->frameWidth, engine->frameHeight);
    return CHECK_CALL(readbackSurface->UnlockRect(), errorDownload);
}

}  // namespace

bool UploadFrame(CorrectionEngine* engine, const YCPixel* pixels, int32_t hostPitch)
{
    if (engine == nullptr || engine->sourceTexture == nullptr ||
        !TransferFits(engine, pixels, hostPitch)) {
        return false;
    }
    IDirect3DSurface9* surface = nullptr;
    HRESULT result = CHECK_CALL(engine->sourceTexture->GetSurfaceLevel(0, &surface),
                                errorTextureSurface);
    if (FAILED(result)) {
        return false;
    }
    if (surface == nullptr) {
        result = ReportMissing(L"no source surface", errorUpload);
    } else {
        result = FillSourceSurface(engine, pixels, hostPitch, surface);
    }
    ReleaseInterface(surface);
    return SUCCEEDED(result);
}

bool DownloadFrame(CorrectionEngine* engine, YCPixel* pixels, int32_t hostPitch)
{
    if (engine == nullptr || !TransferFits(engine, pixels, hostPitch)) {
        return false;
    }
    return SUCCEEDED(ReadBackRenderTarget(engine, pixels, hostPitch));
}
