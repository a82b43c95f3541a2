// How the engine tells of a failure: the one error box of the plug-in, the
// texts it shows, and a line for the debugger naming the call that failed.
#pragma once

#include <initializer_list>

#include <windows.h>

// Every text the engine shows, in the words the host's users read, but for
// the missing formats' (format_kinds.cpp).
enum ErrorText : int {
    errorNone,  // nothing is shown; the debugger line alone tells of it
    errorD3dxMissing,
    errorDirect3DCreate,
    errorDeviceCreate,
    errorEffectLoad,
    errorVertexDeclaration,
    errorQuery,
    errorDeviceLost,
    errorDeviceReset,
    errorCooperativeLevel,
    errorSquareTexturesOnly,
    errorPowerOfTwoTexturesOnly,
    errorNoPixelFormat,
    errorNoFormat,
    errorSurface,
    errorVertices,
    errorTexture,
    errorRenderTarget,
    errorTextureBinding,
    errorTextureSurface,
    errorUpload,
    errorDownload,
    errorParameter,
    errorMatrix,
    errorTextCount
};

// The text of an entry; errorNone and values outside the table give "".
const wchar_t* ErrorTextOf(ErrorText text);

// Shows text in a system-modal box with the error icon, no owner window and
// the caption "Tarnel"; blocks the calling thread until it is closed.
// Returns 0.
int ShowError(const wchar_t* text);
int ShowError(ErrorText text);

// Checks what one Direct3D, D3DX or Win32 call answered, naming the call from
// its own text: CHECK_CALL(engine->device->CreateTexture(...), errorTexture)
// names it "CreateTexture" (the name before the text's first parenthesis).
// D3D_OK, or a pointer that is not null, passes and gives D3D_OK. Anything
// else fails: "kelvo: <call>: HRESULT 0x........" goes to the debugger
// output, the text is shown unless it is errorNone, and the failure comes
// back for FAILED() to see: the call's own code, or E_FAIL for a success
// code other than D3D_OK and for a null pointer (a null module or entry
// point gives the thread's last error). Answers listed after the text, as in
//     CHECK_CALL(effect->OnResetDevice(), errorDeviceReset, {E_NOTIMPL})
// are the caller's to handle: they come back as they are, without a word.
#define CHECK_CALL(call, ...) CheckCall((call), L"" #call, __VA_ARGS__)

HRESULT CheckCall(HRESULT result, const wchar_t* callText, ErrorText text,
                  std::initializer_list<HRESULT> answers = {});
HRESULT CheckCall(const void* pointer, const wchar_t* callText, ErrorText text);
HRESULT CheckCall(HMODULE module, const wchar_t* callText, ErrorText text);
HRESULT CheckCall(FARPROC entry, const wchar_t* callText, ErrorText text);

// An object a step needs is missing: writes "kelvo: <what>: HRESULT
// 0x8876086C" (D3DERR_INVALIDCALL), shows text unless it is errorNone and
// returns D3DERR_INVALIDCALL.
HRESULT ReportMissing(const wchar_t* what, ErrorText text);

// A result that is deliberately not acted on: a release, or a best-effort
// step whose failure the next step reports. Writes the debugger line of a
// failure, shows nothing.
#define BEST_EFFORT(call) static_cast<void>(CheckCall((call), L"" #call, errorNone))
