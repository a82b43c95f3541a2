// D3DX, loaded when the engine starts rather than imported: without the
// DirectX end-user runtime the plug-in still loads, and its user learns what
// to install.
#include "correction_engine.h"

#include "release_interface.h"
#include "show_error.h"

bool LoadD3dx(CorrectionEngine* engine, const wchar_t* library)
{
    FreeD3dx(engine);
    HMODULE module = nullptr;
    FARPROC createEffect = nullptr;
    if (FAILED(CHECK_CALL(module = LoadLibraryW(library), errorD3dxMissing))) {
        return false;
    }
    if (FAILED(CHECK_CALL(createEffect = GetProcAddress(module, "D3DXCreateEffectFromResourceW"),
                          errorD3dxMissing))) {
        ReleaseLibrary(module);
        return false;
    }
    engine->d3dxModule = module;
    engine->createEffectFromResource =
        reinterpret_cast<CreateEffectFromResourceFunction>(reinterpret_cast<void*>(createEffect));
    return true;
}

void FreeD3dx(CorrectionEngine* engine)
{
    engine->createEffectFromResource = nullptr;
    ReleaseLibrary(engine->d3dxModule);
}
