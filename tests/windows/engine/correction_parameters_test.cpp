// The colour tracks as the effect receives them, read back from the effect.
#include <cmath>

#include "correction_parameters.h"
#include "engine_fixture.h"
#include "core/correction_tracks.h"
#include "show_error.h"

namespace {

using Texts = std::vector<std::wstring>;
const wchar_t* const parameterFailed = ErrorTextOf(errorParameter);
const wchar_t* const matrixFailed = ErrorTextOf(errorMatrix);

struct Vector4 {
    float x, y, z, w;
};

Vector4 ReadVector(ID3DXEffect* effect, D3DXHANDLE handle)
{
    D3DXVECTOR4 value(-99.0f, -99.0f, -99.0f, -99.0f);
    EXPECT_EQ(effect->GetVector(handle, &value), D3D_OK);
    return {value.x, value.y, value.z, value.w};
}

void ExpectVector(const Vector4& actual, const Vector4& expected, const char* name)
{
    EXPECT_EQ(actual.x, expected.x) << name << ".x";
    EXPECT_EQ(actual.y, expected.y) << name << ".y";
    EXPECT_EQ(actual.z, expected.z) << name << ".z";
    EXPECT_EQ(actual.w, expected.w) << name << ".w";
}

// Full-range BT.601, rounded to five decimals, row by row.
// clang-format off
const float yc2bgr[16] = {
    0, 0, 0, 0,
    0, 1, 1.772f, 0,
    0, 1, -0.34414f, -0.71414f,
    0, 1, 0, 1.402f,
};
// clang-format on
// clang-format off
const float bgr2yc[16] = {
    0, 0, 0, 0,
    0, 0.114f, 0.587f, 0.299f,
    0, 0.5f, -0.33126f, -0.16874f,
    0, -0.08131f, -0.41869f, 0.5f,
};
// clang-format on

void ExpectMatrix(ID3DXEffect* effect, D3DXHANDLE handle, const float (&expected)[16],
                  const char* name)
{
    float value[16];
    for (float& v : value) {
        v = -99.0f;
    }
    ASSERT_EQ(effect->GetValue(handle, value, sizeof value), D3D_OK) << name;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(value[i], expected[i]) << name << " row " << i / 4 << " column " << i % 4;
    }
}

void Mark(ID3DXEffect* effect, D3DXHANDLE handle)
{
    const D3DXVECTOR4 marker(7.0f, 7.0f, 7.0f, 7.0f);
    ASSERT_EQ(effect->SetVector(handle, &marker), D3D_OK);
}

}  // namespace

TEST_F(EngineTest, EveryTrackReachesItsComponent)
{
    CreateReadyEngine();
    // Distinct values, so a track sent to the wrong component shows.
    const int32_t tracks[trackCount] = {-256, 256, 128, -128, 64, -64, 32,   -32,
                                        256,  -16, 16,  128,  8,  -8,  -256, 3};
    EXPECT_TRUE(SetCorrectionParameters(tracks, &engine));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});

    ExpectVector(ReadVector(engine.effect, engine.parameters[parameterYcOffs]),
                 {0, -1.0f, 0.5f, 0.25f}, "ycOffs");
    ExpectVector(ReadVector(engine.effect, engine.parameters[parameterYcAmp]),
                 {0, 2.0f, 0.5f, 0.75f}, "ycAmp");
    // Blue, green, red: tracks 12, 9, 6.
    ExpectVector(ReadVector(engine.effect, engine.parameters[parameterBgrOffs]),
                 {0, 0.03125f, -0.0625f, 0.125f}, "bgrOffs");
    ExpectVector(ReadVector(engine.effect, engine.parameters[parameterBgrAmp]),
                 {0, 0.96875f, 1.0625f, 0.875f}, "bgrAmp");
    // Gamma 8^(t/256): -256 gives 1/8, 128 the square root of 8, 256 gives 8.
    const Vector4 gamma = ReadVector(engine.effect, engine.parameters[parameterBgrGamma]);
    EXPECT_EQ(gamma.x, 1.0f) << "the spare component of the gamma is 1";
    EXPECT_EQ(gamma.y, 0.125f);
    EXPECT_NEAR(gamma.z, 2.828427f, 1e-6);
    EXPECT_EQ(gamma.w, 8.0f);
    ExpectMatrix(engine.effect, engine.parameters[parameterMatYC2BGR], yc2bgr, "matYC2BGR");
    ExpectMatrix(engine.effect, engine.parameters[parameterMatBGR2YC], bgr2yc, "matBGR2YC");
}

// Another filter's description: its parameters bound by their names, one the
// effect lacks (skipped without a word), no Format track, and a track feeding
// a component of its own choice.
TEST_F(EngineTest, AnotherDescriptionSendsItsOwnRows)
{
    CreateReadyEngine();
    const EffectParameterRow parameters[] = {
        {"noSuchParameter", ParameterShape::vector, {5.0f}},
        {"bgrAmp", ParameterShape::vector, {0.5f, 0.25f, 0.125f, 2.0f}},
    };
    const TrackRow tracks[] = {{"Only", -256, 256, 0, SyncGroup::none, TrackScale::gain, 1, 2}};
    FilterDescription other = correctionFilter;
    other.tracks = tracks;
    other.trackCount = 1;
    other.formatTrack = -1;
    other.parameters = parameters;
    other.parameterCount = 2;
    engine.filter = &other;
    ASSERT_EQ(LoadEffect(&engine, EffectModule()), D3D_OK);
    EXPECT_EQ(engine.parameters[0], nullptr);

    const int32_t values[] = {128};
    EXPECT_TRUE(SetCorrectionParameters(values, &engine));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
    ExpectVector(ReadVector(engine.effect, engine.parameters[1]), {0.5f, 0.25f, 1.5f, 2.0f},
                 "bgrAmp");
}

TEST_F(EngineTest, MissingMatrixIsReportedOnEveryCall)
{
    CreateReadyEngine();
    engine.parameters[parameterMatYC2BGR] = nullptr;
    const int32_t tracks[trackCount] = {};
    for (int call = 0; call < 2; ++call) {
        EXPECT_TRUE(SetCorrectionParameters(tracks, &engine));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{matrixFailed}) << "call " << call;
    }
    ExpectMatrix(engine.effect, engine.parameters[parameterMatBGR2YC], bgr2yc, "matBGR2YC");
}

TEST_F(EngineTest, EveryFailedSetIsReportedAndTheRestStillRun)
{
    CreateReadyEngine();
    const int32_t tracks[trackCount] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 256};

    FailMethod(engine.effect, effectSetVector, D3DERR_INVALIDCALL);
    EXPECT_TRUE(SetCorrectionParameters(tracks, &engine));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts(5, parameterFailed));
    ExpectMatrix(engine.effect, engine.parameters[parameterMatBGR2YC], bgr2yc, "matBGR2YC");

    RestorePatchedPointers();
    FailMethod(engine.effect, effectSetValue, D3DERR_INVALIDCALL);
    EXPECT_TRUE(SetCorrectionParameters(tracks, &engine));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts(2, matrixFailed));
    ExpectVector(ReadVector(engine.effect, engine.parameters[parameterBgrOffs]), {0, 1.0f, 0, 0},
                 "bgrOffs");

    RestorePatchedPointers();
    FailMethod(engine.effect, effectSetVector, E_FAIL);
    FailMethod(engine.effect, effectSetValue, E_FAIL);
    EXPECT_TRUE(SetCorrectionParameters(tracks, &engine));
    EXPECT_EQ(TakeErrorBoxTexts(),
              (Texts{parameterFailed, parameterFailed, parameterFailed, parameterFailed,
                     parameterFailed, matrixFailed, matrixFailed}));
}
