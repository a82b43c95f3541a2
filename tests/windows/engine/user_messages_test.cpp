// Every text a user of the plug-in can meet in its error box, written out
// here once, apart from the tables the plug-in takes them from: the engine's
// messages and the "format not available" message of each format kind, each
// beside the English the user's guide gives it. The tables must hold exactly
// these texts, the English page must quote each with its English, and the
// Japanese page must quote each. The other tests name a message by its id.
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/format_kinds.h"
#include "show_error.h"
#include "wide_text.h"

namespace {

struct UserMessage {
    int id;  // an ErrorText, or a format kind for its "not available" text
    const wchar_t* japanese;
    const char* english;
};

const UserMessage engineMessages[] = {
    {errorD3dxMissing,
     L"d3dx9_40.dll が見つからないか、使用できません。"
     L"DirectX エンドユーザーランタイムをインストールしてください。",
     "d3dx9_40.dll is missing or cannot be used. Please install the DirectX End-User Runtime."},
    {errorDirect3DCreate, L"Direct3DCreate9()が失敗しました", "Starting Direct3D failed."},
    {errorDeviceCreate, L"D3Dデバイスの作成に失敗しました", "Could not set up the graphics card."},
    {errorEffectLoad, L"エフェクトのロードに失敗しました", "Loading the correction failed."},
    {errorVertexDeclaration, L"頂点宣言の作成に失敗しました", "Setting up the drawing failed."},
    {errorQuery, L"クエリの作成に失敗しました", "Setting up the progress check failed."},
    {errorDeviceLost, L"デバイスをロストしました。処理が行えません。",
     "The graphics card was lost; the frame cannot be processed."},
    {errorDeviceReset, L"デバイスリセットに失敗しました",
     "The graphics card could not be restored."},
    {errorCooperativeLevel, L"TestCooperativeLevel()がエラーを返しました",
     "The graphics card reported an unknown state."},
    {errorSquareTexturesOnly, L"非正方テクスチャを利用できません",
     "The card cannot use non-square pictures."},
    {errorPowerOfTwoTexturesOnly, L"2の累乗サイズ以外のテクスチャは利用できません",
     "The card can only use pictures whose sides are powers of two."},
    {errorNoPixelFormat, L"利用可能なピクセルフォーマットがひとつもありません",
     "Not a single format is available."},
    {errorNoFormat, L"利用可能なフォーマットがありません", "No format is available."},
    {errorSurface, L"サーフェスの作成に失敗しました",
     "Could not reserve the memory for bringing frames back."},
    {errorVertices, L"頂点のセットに失敗しました", "Could not set up the drawing area."},
    {errorTexture, L"テクスチャの作成に失敗しました",
     "Could not reserve graphics memory for the frame."},
    {errorRenderTarget, L"レンダーターゲットの作成に失敗しました",
     "Could not reserve graphics memory for the result."},
    {errorTextureBinding, L"テクスチャのセットに失敗しました",
     "Could not hand the frame to the correction."},
    {errorTextureSurface, L"テクスチャサーフェスを取得できませんでした",
     "Could not reach the frame's graphics memory."},
    {errorUpload, L"デバイスへコピーできませんでした",
     "Could not copy the frame to the graphics card."},
    {errorDownload, L"デバイスからコピーできませんでした",
     "Could not copy the result back from the graphics card."},
    {errorParameter, L"パラメータのセットに失敗しました",
     "Could not hand a slider setting to the correction."},
    {errorMatrix, L"マトリクスのセットに失敗しました",
     "Could not hand the colour matrices to the correction."},
};
static_assert(sizeof engineMessages / sizeof engineMessages[0] == errorTextCount - 1,
              "a text for every ErrorText but errorNone");

const UserMessage missingFormatMessages[] = {
    {kindF32, L"D3DFMT_A32B32G32R32F が利用できません", "Format F32 is not available."},
    {kindF16, L"D3DFMT_A16B16G16R16F が利用できません", "Format F16 is not available."},
    {kindU16, L"D3DFMT_A16B16G16R16 が利用できません", "Format U16 is not available."},
    {kindS16, L"D3DFMT_Q16W16V16U16 が利用できません", "Format S16 is not available."},
    {kindU10, L"D3DFMT_A2B10G10R10 が利用できません", "Format U10 is not available."},
};
static_assert(sizeof missingFormatMessages / sizeof missingFormatMessages[0] ==
                  textureFormatKindCount,
              "a text for every format kind");

// A page of the guide's source, read through Wine's drive for the root.
std::string GuideSource(const char* name)
{
    std::ifstream in(std::string("Z:" KELVO_GUIDE_DIR "/") + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void ExpectQuotedByTheGuide(const UserMessage& message, const std::string& english,
                            const std::string& japanese)
{
    const std::string quoted = "| `" + Utf8FromWide(message.japanese) + "` |";
    EXPECT_NE(english.find(quoted + " \"" + message.english + "\" |"), std::string::npos)
        << "guide.md: " << quoted << " \"" << message.english << "\"";
    EXPECT_NE(japanese.find(quoted), std::string::npos) << "guide.ja.md: " << quoted;
}

}  // namespace

TEST(UserMessages, TheTablesAndBothGuidePagesHoldEveryTextWordForWord)
{
    const std::string english = GuideSource("guide.md");
    const std::string japanese = GuideSource("guide.ja.md");
    ASSERT_FALSE(english.empty() || japanese.empty()) << "cannot read " KELVO_GUIDE_DIR;
    for (const UserMessage& message : engineMessages) {
        EXPECT_STREQ(ErrorTextOf(static_cast<ErrorText>(message.id)), message.japanese)
            << "ErrorText " << message.id;
        ExpectQuotedByTheGuide(message, english, japanese);
    }
    for (const UserMessage& message : missingFormatMessages) {
        EXPECT_STREQ(formatKinds[message.id].missingText, message.japanese)
            << formatKinds[message.id].name;
        ExpectQuotedByTheGuide(message, english, japanese);
    }
    EXPECT_STREQ(ErrorTextOf(errorNone), L"");
    EXPECT_STREQ(ErrorTextOf(errorTextCount), L"");
}
