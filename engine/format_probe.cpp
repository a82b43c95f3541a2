// Which of the working format kinds the card can render to, decided once
// when the device is created.
#include "correction_engine.h"

#include "format_table.h"
#include "show_error.h"

namespace {

// Asks whether the card renders to the kind's target format (a source
// format is always one of the targets), and shows the kind's text if not.
bool ProbeKind(CorrectionEngine* engine, const D3DCAPS9& caps, D3DFORMAT adapterFormat, int kind)
{
    const FormatKindRow& row = formatKinds[kind];
    // A refusal is an answer, not a failure: the kind's text says it.
    const bool available = SUCCEEDED(CHECK_CALL(
        engine->direct3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, adapterFormat,
                                            D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                            D3dFormatOf(row.target->format)),
        errorNone));
    engine->formatAvailable[kind] = available;
    if (!available) {
        ShowError(row.missingText);
    }
    return available;
}

}  // namespace

HRESULT ProbeTextureFormats(CorrectionEngine* engine)
{
    if (engine->device == nullptr || engine->direct3d == nullptr) {
        return D3DERR_INVALIDCALL;
    }

    D3DCAPS9 caps;
    HRESULT result = CHECK_CALL(
        engine->direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), errorNone);
    if (FAILED(result)) {
        return result;
    }
    // Frames have any width and height, so textures must be allowed to be
    // neither square nor a power of two (conditional support is enough: one
    // level, clamped addressing).
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        ShowError(errorSquareTexturesOnly);
        return D3DERR_NOTAVAILABLE;
    }
    if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) &&
        !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL)) {
        ShowError(errorPowerOfTwoTexturesOnly);
        return D3DERR_NOTAVAILABLE;
    }

    D3DDISPLAYMODE mode;
    result = CHECK_CALL(engine->device->GetDisplayMode(0, &mode), errorNone);
    if (FAILED(result)) {
        return result;
    }

    // In the rows' probe order, which is that of the texts shown.
    bool anyAvailable = false;
    for (int rank = 0; rank < textureFormatKindCount; ++rank) {
        for (int kind = 0; kind < textureFormatKindCount; ++kind) {
            if (formatKinds[kind].probeRank == rank) {
                anyAvailable = ProbeKind(engine, caps, mode.Format, kind) || anyAvailable;
            }
        }
    }
    if (!anyAvailable) {
        ShowError(errorNoPixelFormat);
        return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}
