// How the engine tells of a failure: the one error box of the plug-in, the
// texts it shows, and a line for the debugger naming the call that failed.
#pragma once

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

// A failed step: writes "kelvo: <what failed>: HRESULT 0x........" to the
// debugger output (what failed is the Direct3D or D3DX call, or the missing
// object; a call that answers with a null pointer or a success code that is
// not D3D_OK is reported as E_FAIL), then shows text unless it is errorNone. Returns result, so that a step can end with
//     return ReportFailure(result, L"CreateTexture", errorTexture);
HRESULT ReportFailure(HRESULT result, const wchar_t* call, ErrorText text);
