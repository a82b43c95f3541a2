#include "show_error.h"

#include <cwchar>

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

HRESULT ReportFailure(HRESULT result, const wchar_t* call, ErrorText text)
{
    // A user who runs a debug viewer can say which call failed and how,
    // which the box, written for someone editing video, does not.
    wchar_t line[160];
    std::swprintf(line, sizeof line / sizeof line[0], L"kelvo: %ls: HRESULT 0x%08lX\n", call,
                  static_cast<unsigned long>(result));
    OutputDebugStringW(line);
    if (text != errorNone) {
        ShowError(text);
    }
    return result;
}
