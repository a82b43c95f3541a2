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
        if (module != nullptr) {
            FreeLibrary(module);
        }
        ShowError(L"d3dx9_40.dll が見つからないか、使用できません。"
                  L"DirectX エンドユーザーランタイムをインストールしてください。");
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
