// Which of the five working formats the card can render to, decided once
// when the device is created.
#include "correction_engine.h"

#include "show_error.h"

namespace {

struct FormatProbe {
    D3DFORMAT format;
    TextureFormatKind kind;
    ErrorText missing;
};

// F16 is asked first; U10 is judged by its render-target format alone, its
// source format being U16's.
const FormatProbe formatProbes[] = {
    {D3DFMT_A16B16G16R16F, kindF16, errorMissingF16},
    {D3DFMT_A32B32G32R32F, kindF32, errorMissingF32},
    {D3DFMT_A16B16G16R16, kindU16, errorMissingU16},
    {D3DFMT_Q16W16V16U16, kindS16, errorMissingS16},
    {D3DFMT_A2B10G10R10, kindU10, errorMissingU10},
};

}  // namespace

HRESULT ProbeTextureFormats(CorrectionEngine* engine)
{
    if (engine->device == nullptr || engine->direct3d == nullptr) {
        return D3DERR_INVALIDCALL;
    }

    D3DCAPS9 caps;
    HRESULT result = engine->direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    if (result != D3D_OK) {
        return ReportFailure(result, L"GetDeviceCaps", errorNone);
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
    result = engine->device->GetDisplayMode(0, &mode);
    if (result != D3D_OK) {
        return ReportFailure(result, L"GetDisplayMode", errorNone);
    }

    bool anyAvailable = false;
    for (const FormatProbe& probe : formatProbes) {
        HRESULT check = engine->direct3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType,
                                                            mode.Format, D3DUSAGE_RENDERTARGET,
                                                            D3DRTYPE_TEXTURE, probe.format);
        bool available = SUCCEEDED(check);
        engine->formatAvailable[probe.kind] = available;
        if (available) {
            anyAvailable = true;
        } else {
            ShowError(probe.missing);
        }
    }
    if (!anyAvailable) {
        ShowError(errorNoPixelFormat);
        return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}
