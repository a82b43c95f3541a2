#include "show_error.h"

#include <cwchar>

#include <d3d9.h>

namespace {

// Each text beside its name; the order is the enum's, which the check below
// holds. The user's guide quotes every text here word for word, and the
// release check fails when one of them is missing from it, so a text cannot
// change without the guide.
struct ErrorTextEntry {
    ErrorText id;
    const wchar_t* text;
};

constexpr ErrorTextEntry errorTexts[] = {
    {errorNone, L""},
    {errorD3dxMissing, L"d3dx9_40.dll が見つからないか、使用できません。"
                       L"DirectX エンドユーザーランタイムをインストールしてください。"},
    {errorDirect3DCreate, L"Direct3DCreate9()が失敗しました"},
    {errorDeviceCreate, L"D3Dデバイスの作成に失敗しました"},
    {errorEffectLoad, L"エフェクトのロードに失敗しました"},
    {errorVertexDeclaration, L"頂点宣言の作成に失敗しました"},
    {errorQuery, L"クエリの作成に失敗しました"},
    {errorDeviceLost, L"デバイスをロストしました。処理が行えません。"},
    {errorDeviceReset, L"デバイスリセットに失敗しました"},
    {errorCooperativeLevel, L"TestCooperativeLevel()がエラーを返しました"},
    {errorSquareTexturesOnly, L"非正方テクスチャを利用できません"},
    {errorPowerOfTwoTexturesOnly, L"2の累乗サイズ以外のテクスチャは利用できません"},
    {errorNoPixelFormat, L"利用可能なピクセルフォーマットがひとつもありません"},
    {errorNoFormat, L"利用可能なフォーマットがありません"},
    {errorSurface, L"サーフェスの作成に失敗しました"},
    {errorVertices, L"頂点のセットに失敗しました"},
    {errorTexture, L"テクスチャの作成に失敗しました"},
    {errorRenderTarget, L"レンダーターゲットの作成に失敗しました"},
    {errorTextureBinding, L"テクスチャのセットに失敗しました"},
    {errorTextureSurface, L"テクスチャサーフェスを取得できませんでした"},
    {errorUpload, L"デバイスへコピーできませんでした"},
    {errorDownload, L"デバイスからコピーできませんでした"},
    {errorParameter, L"パラメータのセットに失敗しました"},
    {errorMatrix, L"マトリクスのセットに失敗しました"},
};

constexpr bool InEnumOrder()
{
    for (int i = 0; i < errorTextCount; ++i) {
        if (errorTexts[i].id != i) {
            return false;
        }
    }
    return true;
}
static_assert(sizeof errorTexts / sizeof errorTexts[0] == errorTextCount && InEnumOrder(),
              "one text per ErrorText, in the enum's order");

}  // namespace

const wchar_t* ErrorTextOf(ErrorText text)
{
    return text > errorNone && text < errorTextCount ? errorTexts[text].text : L"";
}

int ShowError(const wchar_t* text)
{
    // System-modal: the host's thread is blocked inside a callback, so the
    // box must stay in front of every window until the user has read it.
    MessageBoxW(nullptr, text, L"Tarnel", MB_SYSTEMMODAL | MB_ICONERROR);
    return 0;
}

int ShowError(ErrorText text)
{
    return ShowError(ErrorTextOf(text));
}

namespace {

// A user who runs a debug viewer can say which call failed and how, which
// the box, written for someone editing video, does not.
HRESULT ReportFailure(HRESULT result, const wchar_t* what, int whatLength, ErrorText text)
{
    wchar_t line[160];
    std::swprintf(line, sizeof line / sizeof line[0], L"kelvo: %.*ls: HRESULT 0x%08lX\n",
                  whatLength, what, static_cast<unsigned long>(result));
    OutputDebugStringW(line);
    if (text != errorNone) {
        ShowError(text);
    }
    return result;
}

bool IsNamePart(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_';
}

// The call's name in its text: the identifier just before the first
// parenthesis, so "level = engine->device->TestCooperativeLevel()" gives
// "TestCooperativeLevel". A text without one is its own name.
HRESULT ReportCall(HRESULT result, const wchar_t* callText, ErrorText text)
{
    const wchar_t* open = std::wcschr(callText, L'(');
    if (open == nullptr) {
        return ReportFailure(result, callText, static_cast<int>(std::wcslen(callText)), text);
    }
    const wchar_t* end = open;
    while (end > callText && end[-1] == L' ') {
        --end;
    }
    const wchar_t* start = end;
    while (start > callText && IsNamePart(start[-1])) {
        --start;
    }
    return ReportFailure(result, start, static_cast<int>(end - start), text);
}

// Why a Win32 call answered null, as the thread's last error says.
HRESULT LastErrorResult()
{
    const HRESULT reason = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(reason) ? reason : E_FAIL;
}

}  // namespace

HRESULT CheckCall(HRESULT result, const wchar_t* callText, ErrorText text,
                  std::initializer_list<HRESULT> answers)
{
    if (result == D3D_OK) {
        return D3D_OK;
    }
    for (HRESULT answer : answers) {
        if (result == answer) {
            return result;
        }
    }
    return ReportCall(FAILED(result) ? result : E_FAIL, callText, text);
}

HRESULT CheckCall(const void* pointer, const wchar_t* callText, ErrorText text)
{
    return pointer != nullptr ? D3D_OK : ReportCall(E_FAIL, callText, text);
}

HRESULT CheckCall(HMODULE module, const wchar_t* callText, ErrorText text)
{
    return module != nullptr ? D3D_OK : ReportCall(LastErrorResult(), callText, text);
}

HRESULT CheckCall(FARPROC entry, const wchar_t* callText, ErrorText text)
{
    return entry != nullptr ? D3D_OK : ReportCall(LastErrorResult(), callText, text);
}

HRESULT ReportMissing(const wchar_t* what, ErrorText text)
{
    return ReportFailure(D3DERR_INVALIDCALL, what, static_cast<int>(std::wcslen(what)), text);
}
