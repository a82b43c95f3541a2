// The device: creation on the host's window, the per-frame check and the
// recovery of a device that waits for a reset.
#include "correction_engine.h"

#include "frame_resources.h"
#include "release_interface.h"
#include "show_error.h"

namespace {

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

}  // namespace

bool CreateEngineDevice(const FilterContext* context)
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr) {
        return false;
    }
    ReleaseInterface(engine->device);
    ReleaseInterface(engine->direct3d);

    // D3DX first: without it no effect can be made, so nothing else is.
    if (engine->d3dxModule == nullptr && !LoadD3dx(engine, d3dxLibraryName)) {
        return false;
    }

    engine->direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (engine->direct3d == nullptr) {
        ShowError(L"Direct3DCreate9()が失敗しました");
        return false;
    }

    D3DPRESENT_PARAMETERS parameters;
    FillPresentParameters(&parameters);
    HRESULT result = engine->direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                    context->window, engineBehaviourFlags,
                                                    &parameters, &engine->device);
    if (FAILED(result)) {
        ShowError(L"D3Dデバイスの作成に失敗しました");
        ReleaseInterface(engine->device);
        ReleaseInterface(engine->direct3d);
        return false;
    }

    if (FAILED(ProbeTextureFormats(engine))) {
        ReleaseInterface(engine->device);
        ReleaseInterface(engine->direct3d);
        return false;
    }

    if (FAILED(LoadEffect(engine, context->moduleInstance))) {
        ShowError(L"エフェクトのロードに失敗しました");
        ReleaseInterface(engine->device);
        ReleaseInterface(engine->direct3d);
        return false;
    }

    ReleaseInterface(engine->vertexDeclaration);
    result = engine->device->CreateVertexDeclaration(quadVertexElements,
                                                     &engine->vertexDeclaration);
    if (FAILED(result)) {
        ShowError(L"頂点宣言の作成に失敗しました");
        ReleaseInterface(engine->effect);
        ReleaseInterface(engine->device);
        ReleaseInterface(engine->direct3d);
        return false;
    }

    if (FAILED(CreateEventQuery(engine))) {
        ShowError(L"クエリの作成に失敗しました");
        ReleaseInterface(engine->vertexDeclaration);
        ReleaseInterface(engine->effect);
        ReleaseInterface(engine->device);
        ReleaseInterface(engine->direct3d);
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
    return engine->device->CreateQuery(D3DQUERYTYPE_EVENT, &engine->eventQuery);
}

bool CheckDevice()
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr || engine->device == nullptr) {
        return false;
    }
    HRESULT level = engine->device->TestCooperativeLevel();
    if (level == D3D_OK) {
        return true;
    }
    if (level == D3DERR_DEVICELOST) {
        // Nothing can be done until the device reports that it may be reset;
        // the host keeps asking, and each refused frame says why.
        ShowError(L"デバイスをロストしました。処理が行えません。");
        return false;
    }
    if (level == D3DERR_DEVICENOTRESET) {
        if (FAILED(ResetEngineDevice(engine))) {
            ShowError(L"デバイスリセットに失敗しました");
            return false;
        }
        reallocNeeded = true;
        return true;
    }
    ShowError(L"TestCooperativeLevel()がエラーを返しました");
    return false;
}

HRESULT ResetEngineDevice(CorrectionEngine* engine)
{
    if (engine->device == nullptr || engine->effect == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    // Reset refuses while any default-pool object is alive. The system-memory
    // read-back surface, the declaration and the conversion row survive it.
    ReleaseInterface(engine->quadVertexBuffer);
    ReleaseInterface(engine->renderTarget);
    ReleaseInterface(engine->sourceTexture);
    ReleaseInterface(engine->eventQuery);
    // The effect holds its own reference to the source texture through txSrc;
    // while it does, the texture stays alive and Reset refuses. The next
    // allocation binds the new texture again.
    engine->effect->SetTexture("txSrc", nullptr);
    engine->effect->OnLostDevice();

    D3DPRESENT_PARAMETERS parameters;
    FillPresentParameters(&parameters);
    HRESULT result = engine->device->Reset(&parameters);
    if (FAILED(result)) {
        return result;
    }
    // Our effect keeps no default-pool objects of its own, so there is nothing
    // for OnResetDevice to restore; some D3DX implementations leave it
    // unimplemented, and that must not turn every recovery into a failure.
    result = engine->effect->OnResetDevice();
    return result == E_NOTIMPL ? D3D_OK : result;
}
