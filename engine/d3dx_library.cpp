// D3DX, loaded when the engine starts rather than imported: without the
// DirectX end-user runtime the plug-in still loads, and its user learns what
// to install.
#include "correction_engine.h"

#include "show_error.h"

bool LoadD3dx(CorrectionEngine* engine, const wchar_t* library)
{
    FreeD3dx(engine);
    HMODULE module = LoadLibraryW(library);
    CreateEffectFromResourceFunction createEffect = nullptr;
    if (module != nullptr) {
        createEffect = reinterpret_cast<CreateEffectFromResourceFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "D3DXCreateEffectFromResourceW")));
    }
    if (createEffect == nullptr) {
        const HRESULT reason = HRESULT_FROM_WIN32(GetLastError());
        if (module != nullptr) {
            FreeLibrary(module);
        }
        ReportFailure(reason, module == nullptr ? L"LoadLibraryW" : L"GetProcAddress",
                      errorD3dxMissing);
        return false;
    }
    engine->d3dxModule = module;
    engine->createEffectFromResource = createEffect;
    return true;
}

void FreeD3dx(CorrectionEngine* engine)
{
    engine->createEffectFromResource = nullptr;
    if (engine->d3dxModule != nullptr) {
        FreeLibrary(engine->d3dxModule);
        engine->d3dxModule = nullptr;
    }
}
