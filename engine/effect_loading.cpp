// The correction effect from the plug-in's own resource, and the handles of
// its parameters and techniques.
#include "correction_engine.h"

#include <cstdlib>
#include <cstdint>

#include "core/format_kinds.h"
#include "release_interface.h"
#include "show_error.h"

namespace {

// The compiler's 8-bit text, widened for the error box. D3DX counts the
// terminating NUL in the buffer size; the last character is forced to NUL in
// case it did not. An empty buffer has no last character, so an empty line
// is shown instead of writing in front of the text.
void ShowCompilerText(ID3DXBuffer* errors)
{
    const char* text = static_cast<const char*>(errors->GetBufferPointer());
    if (text == nullptr) {
        return;
    }
    size_t size = errors->GetBufferSize();
    if (size == 0) {
        ShowError(L"");
        return;
    }
    if (size > SIZE_MAX / sizeof(wchar_t)) {
        return;
    }
    // Zero-filled: a conversion that stops at an invalid byte leaves the
    // rest of the line empty rather than undefined.
    wchar_t* wide = static_cast<wchar_t*>(std::calloc(size, sizeof(wchar_t)));
    if (wide == nullptr) {
        return;
    }
    std::mbstowcs(wide, text, size);
    wide[size - 1] = L'\0';
    ShowError(wide);
    std::free(wide);
}

}  // namespace

HRESULT LoadEffect(CorrectionEngine* engine, HMODULE module)
{
    if (engine->device == nullptr || engine->createEffectFromResource == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    ReleaseInterface(engine->effect);

    // Named as D3DX names it, so that a failure is reported under that name.
    const CreateEffectFromResourceFunction D3DXCreateEffectFromResourceW =
        engine->createEffectFromResource;
    ID3DXBuffer* errors = nullptr;
    const HRESULT result =
        CHECK_CALL(D3DXCreateEffectFromResourceW(
                       engine->device, module, MAKEINTRESOURCEW(engine->filter->effectResourceId),
                       nullptr, nullptr, D3DXFX_NOT_CLONEABLE, nullptr, &engine->effect, &errors),
                   errorNone);
    if (FAILED(result)) {
        // The compiler's own words first, then the step's message.
        if (errors != nullptr) {
            ShowCompilerText(errors);
        }
        ReleaseInterface(errors);
        ShowError(errorEffectLoad);
        return result;
    }

    ID3DXEffect* effect = engine->effect;
    for (int p = 0; p < engine->filter->parameterCount; ++p) {
        engine->parameters[p] = effect->GetParameterByName(nullptr,
                                                           engine->filter->parameters[p].name);
    }
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        engine->techniques[kind] = effect->GetTechniqueByName(formatKinds[kind].technique);
    }
    ReleaseInterface(errors);
    return D3D_OK;
}
