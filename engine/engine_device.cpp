// The device: creation on the host's window, the per-frame check and the
// recovery of a device that waits for a reset.
#include "correction_engine.h"

#include "frame_resources.h"
#include "release_interface.h"
#include "show_error.h"

namespace {

// Behaviour flags of the device. FPU_PRESERVE keeps Direct3D from cutting the
// x87 precision of the host's thread to 24 bits (the plug-in runs on it).
constexpr DWORD engineBehaviourFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                       D3DCREATE_NOWINDOWCHANGES | D3DCREATE_FPU_PRESERVE;
static_assert(engineBehaviourFlags == 2082, "software vertices, no window changes, FPU kept");

const D3DVERTEXELEMENT9 quadVertexElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};

// Creation and reset must describe the same swap chain, or Reset would
// change what the device was made with. The back buffer is never drawn to:
// a windowed default of the focus window's client size serves.
void FillPresentParameters(D3DPRESENT_PARAMETERS* parameters)
{
    *parameters = {};
    parameters->BackBufferWidth = 0;
    parameters->BackBufferHeight = 0;
    parameters->BackBufferFormat = D3DFMT_UNKNOWN;
    parameters->BackBufferCount = 0;
    parameters->MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters->MultiSampleQuality = 0;
    parameters->SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters->hDeviceWindow = nullptr;
    parameters->Windowed = TRUE;
    parameters->EnableAutoDepthStencil = FALSE;
    parameters->AutoDepthStencilFormat = D3DFMT_UNKNOWN;
    parameters->Flags = 0;
    parameters->FullScreen_RefreshRateInHz = 0;
    parameters->PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
}

// The device and what is made once with it, in order; stops at the first
// failure, which it has reported.
HRESULT CreateDeviceObjects(CorrectionEngine* engine, const FilterContext* context)
{
    HRESULT result = CHECK_CALL(engine->direct3d = Direct3DCreate9(D3D_SDK_VERSION),
                                errorDirect3DCreate);
    if (FAILED(result)) {
        return result;
    }
    D3DPRESENT_PARAMETERS parameters;
    FillPresentParameters(&parameters);
    result = CHECK_CALL(engine->direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                       context->window, engineBehaviourFlags,
                                                       &parameters, &engine->device),
                        errorDeviceCreate);
    if (FAILED(result)) {
        return result;
    }
    result = ProbeTextureFormats(engine);
    if (FAILED(result)) {
        return result;
    }
    result = LoadEffect(engine, context->moduleInstance);
    if (FAILED(result)) {
        return result;
    }
    result = CHECK_CALL(
        engine->device->CreateVertexDeclaration(quadVertexElements, &engine->vertexDeclaration),
        errorVertexDeclaration);
    if (FAILED(result)) {
        return result;
    }
    return CreateEventQuery(engine);
}

// Releases the default-pool objects and resets the device; reports a
// failure with the reset message.
HRESULT ResetEngineDevice(CorrectionEngine* engine)
{
    if (engine->device == nullptr || engine->effect == nullptr) {
        return ReportMissing(L"no device or effect to reset", errorDeviceReset);
    }
    // Reset refuses while any default-pool object is alive. The system-memory
    // read-back surface and the declaration survive it.
    ReleaseInterface(engine->quadVertexBuffer);
    ReleaseInterface(engine->renderTarget);
    ReleaseInterface(engine->sourceTexture);
    ReleaseInterface(engine->eventQuery);
    // The effect holds its own reference to the source texture through txSrc;
    // while it does, the texture stays alive and Reset refuses. The next
    // allocation binds the new texture again. Should either fail, Reset says
    // so itself.
    BEST_EFFORT(engine->effect->SetTexture("txSrc", nullptr));
    BEST_EFFORT(engine->effect->OnLostDevice());

    D3DPRESENT_PARAMETERS parameters;
    FillPresentParameters(&parameters);
    HRESULT result = CHECK_CALL(engine->device->Reset(&parameters), errorDeviceReset);
    if (FAILED(result)) {
        return result;
    }
    // Our effect keeps no default-pool objects of its own, so there is nothing
    // for OnResetDevice to restore; some D3DX implementations leave it
    // unimplemented, and that must not turn every recovery into a failure.
    result = CHECK_CALL(engine->effect->OnResetDevice(), errorDeviceReset, {E_NOTIMPL});
    return result == E_NOTIMPL ? D3D_OK : result;
}

}  // namespace

bool CreateEngineDevice(CorrectionEngine* engine, const FilterContext* context)
{
    ReleaseDeviceObjects(engine);

    // D3DX first: without it no effect can be made, so nothing else is.
    if (engine->d3dxModule == nullptr && !LoadD3dx(engine, d3dxLibraryName)) {
        return false;
    }

    // Each step reports its own failure; whatever the steps before it made
    // is released the one way every release goes.
    if (FAILED(CreateDeviceObjects(engine, context))) {
        ReleaseDeviceObjects(engine);
        return false;
    }
    return true;
}

HRESULT CreateEventQuery(CorrectionEngine* engine)
{
    if (engine->device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    ReleaseInterface(engine->eventQuery);
    return CHECK_CALL(engine->device->CreateQuery(D3DQUERYTYPE_EVENT, &engine->eventQuery),
                      errorQuery);
}

void ReleaseDeviceObjects(CorrectionEngine* engine)
{
    ReleaseFrameResources(engine);
    ReleaseInterface(engine->eventQuery);
    ReleaseInterface(engine->effect);
    ReleaseInterface(engine->vertexDeclaration);
    ReleaseInterface(engine->device);
    ReleaseInterface(engine->direct3d);
}

bool CheckDevice(CorrectionEngine* engine)
{
    if (engine == nullptr || engine->device == nullptr) {
        return false;
    }
    const HRESULT level = CHECK_CALL(engine->device->TestCooperativeLevel(), errorCooperativeLevel,
                                     {D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET});
    if (level == D3DERR_DEVICELOST) {
        // Nothing can be done until the device reports that it may be reset;
        // the host keeps asking, and each refused frame says why.
        ShowError(errorDeviceLost);
        return false;
    }
    if (level == D3DERR_DEVICENOTRESET) {
        if (FAILED(ResetEngineDevice(engine))) {
            return false;
        }
        engine->reallocNeeded = true;
        return true;
    }
    return level == D3D_OK;
}
