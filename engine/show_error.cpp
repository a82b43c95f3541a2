#include "show_error.h"

#include <cwchar>

namespace {

const wchar_t* const errorTexts[errorTextCount] = {
    L"",
    L"d3dx9_40.dll が見つからないか、使用できません。"
    L"DirectX エンドユーザーランタイムをインストールしてください。",
    L"Direct3DCreate9()が失敗しました",
    L"D3Dデバイスの作成に失敗しました",
    L"エフェクトのロードに失敗しました",
    L"頂点宣言の作成に失敗しました",
    L"クエリの作成に失敗しました",
    L"デバイスをロストしました。処理が行えません。",
    L"デバイスリセットに失敗しました",
    L"TestCooperativeLevel()がエラーを返しました",
    L"非正方テクスチャを利用できません",
    L"2の累乗サイズ以外のテクスチャは利用できません",
    L"D3DFMT_A16B16G16R16F が利用できません",
    L"D3DFMT_A32B32G32R32F が利用できません",
    L"D3DFMT_A16B16G16R16 が利用できません",
    L"D3DFMT_Q16W16V16U16 が利用できません",
    L"D3DFMT_A2B10G10R10 が利用できません",
    L"利用可能なピクセルフォーマットがひとつもありません",
    L"利用可能なフォーマットがありません",
    L"サーフェスの作成に失敗しました",
    L"頂点のセットに失敗しました",
    L"テクスチャの作成に失敗しました",
    L"レンダーターゲットの作成に失敗しました",
    L"テクスチャのセットに失敗しました",
    L"テクスチャサーフェスを取得できませんでした",
    L"デバイスへコピーできませんでした",
    L"デバイスからコピーできませんでした",
    L"パラメータのセットに失敗しました",
    L"マトリクスのセットに失敗しました",
};

}  // namespace

const wchar_t* ErrorTextOf(ErrorText text)
{
    return text > errorNone && text < errorTextCount ? errorTexts[text] : L"";
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
