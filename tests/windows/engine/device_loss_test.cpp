// The per-frame device check: a lost device refuses frames, a device waiting
// for a reset is reset in the same call, and the record afterwards holds
// exactly what survives a reset.
#include "engine_fixture.h"
#include "show_error.h"
#include "frame_resources.h"

namespace {

using Texts = std::vector<std::wstring>;
const wchar_t* const resetFailed = ErrorTextOf(errorDeviceReset);

// Some D3DX implementations (Wine's among them) leave
// ID3DXEffect::OnResetDevice unimplemented and answer E_NOTIMPL; the engine
// takes that as success. Answer it explicitly so the tests mean the same on
// every implementation. The device's own Reset is real.
void LetEffectResetAnswer(ID3DXEffect* effect, HRESULT result)
{
    MakeMethodReturn(effect, effectOnResetDevice, result);
}

}  // namespace

// No engine or no device refuses the frame silently; a working device lets
// it through; a lost device refuses every frame with its message and is
// not reset yet, keeping its objects; any other answer of
// TestCooperativeLevel, success codes included, refuses the frame with the
// cooperative level's message.
TEST_F(EngineTest, TheCooperativeLevelDecidesWhetherTheFrameGoesThrough)
{
    EXPECT_FALSE(CheckDevice(&engine)) << "engine without a device";
    EXPECT_FALSE(CheckDevice(nullptr)) << "no engine";
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindU16, 64, 32, 64));
    IDirect3DTexture9* source = engine.sourceTexture;
    const struct {
        HRESULT level;
        ErrorText message;
    } levels[] = {{D3D_OK, errorNone},
                  {D3DERR_DEVICELOST, errorDeviceLost},
                  {D3DERR_DRIVERINTERNALERROR, errorCooperativeLevel},
                  {E_FAIL, errorCooperativeLevel},
                  {S_FALSE, errorCooperativeLevel}};
    for (const auto& c : levels) {
        SCOPED_TRACE(testing::Message() << "TestCooperativeLevel 0x" << std::hex << c.level);
        RestorePatchedPointers();
        MakeMethodReturn(engine.device, deviceTestCooperativeLevel, c.level);
        FailMethod(engine.device, deviceReset, E_FAIL);
        for (int frame = 0; frame < 2; ++frame) {
            EXPECT_EQ(CheckDevice(&engine), c.message == errorNone);
            EXPECT_EQ(TakeErrorBoxTexts(),
                      c.message == errorNone ? Texts{} : Texts{ErrorTextOf(c.message)});
        }
        EXPECT_EQ(FaultedCalls(deviceReset), 0) << "only a device waiting for it is reset";
        EXPECT_EQ(engine.sourceTexture, source);
        EXPECT_FALSE(engine.reallocNeeded);
    }
}

TEST_F(EngineTest, DeviceWaitingForResetIsResetInTheSameFrame)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindF16, 1920, 1080, 2048));
    const bool probed[5] = {engine.formatAvailable[0], engine.formatAvailable[1],
                            engine.formatAvailable[2], engine.formatAvailable[3],
                            engine.formatAvailable[4]};
    IDirect3DSurface9* readback = engine.readbackSurface;
    IDirect3DVertexDeclaration9* declaration = engine.vertexDeclaration;
    ID3DXEffect* effect = engine.effect;
    D3DXHANDLE technique = engine.techniques[kindF32];

    FailMethodAfter(engine.device, deviceTestCooperativeLevel, 0, D3DERR_DEVICENOTRESET);
    // Counts every format question without answering any differently.
    FailMethodAfter(engine.direct3d, direct3dCheckDeviceFormat, 1000, E_FAIL);
    FailMethodAfter(engine.effect, effectSetTexture, 1000, E_FAIL);
    LetEffectResetAnswer(engine.effect, E_NOTIMPL);
    const uint16_t before = X87ControlWord();
    SetX87ControlWord(0x037F);

    EXPECT_TRUE(CheckDevice(&engine));
    EXPECT_EQ(X87ControlWord(), 0x037F) << "the reset cut the host thread's precision";
    SetX87ControlWord(before);
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
    EXPECT_TRUE(engine.reallocNeeded);

    // The default-pool objects are gone; system memory and the declaration stay.
    EXPECT_EQ(engine.sourceTexture, nullptr);
    EXPECT_EQ(engine.renderTarget, nullptr);
    EXPECT_EQ(engine.quadVertexBuffer, nullptr);
    EXPECT_EQ(engine.eventQuery, nullptr);
    EXPECT_EQ(engine.readbackSurface, readback);
    EXPECT_EQ(engine.vertexDeclaration, declaration);
    EXPECT_EQ(engine.effect, effect);
    EXPECT_EQ(engine.techniques[kindF32], technique);
    // The effect was told to let go of the old source texture before the
    // reset: while it holds it, the texture is a live default-pool object and
    // Reset refuses (Wine tolerates this one, native Direct3D does not).
    EXPECT_EQ(FaultedCalls(effectSetTexture), 1);

    EXPECT_EQ(FaultedCalls(direct3dCheckDeviceFormat), 0) << "formats were probed again";
    for (int kind = 0; kind < 5; ++kind) {
        EXPECT_EQ(engine.formatAvailable[kind], probed[kind]);
    }

    // The rebuild that the flag asks for works on the reset device.
    RestorePatchedPointers();
    EXPECT_TRUE(CheckDevice(&engine));
    EXPECT_TRUE(ReleaseFrameResources(&engine));
    EXPECT_TRUE(AllocateFrameResources(&engine, kindF16, 1920, 1080, 2048));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
    EXPECT_NE(engine.eventQuery, nullptr);
}

TEST_F(EngineTest, FailedResetIsReportedAndTriedAgainOnTheNextFrame)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindU10, 64, 32, 64));
    FailMethod(engine.device, deviceTestCooperativeLevel, D3DERR_DEVICENOTRESET);
    FailMethod(engine.device, deviceReset, D3DERR_DEVICELOST);

    EXPECT_FALSE(CheckDevice(&engine));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{resetFailed});
    EXPECT_FALSE(engine.reallocNeeded);
    EXPECT_EQ(engine.sourceTexture, nullptr);
    EXPECT_EQ(engine.renderTarget, nullptr);
    EXPECT_EQ(engine.quadVertexBuffer, nullptr);
    EXPECT_EQ(engine.eventQuery, nullptr);
    EXPECT_NE(engine.readbackSurface, nullptr);

    EXPECT_FALSE(CheckDevice(&engine));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{resetFailed});
    EXPECT_EQ(FaultedCalls(deviceReset), 2);

    // Once Reset works again the same sequence recovers. The effect was left
    // lost by the failed reset and must come back through OnResetDevice.
    RestorePatchedPointers();
    FailMethod(engine.device, deviceTestCooperativeLevel, D3DERR_DEVICENOTRESET);
    LetEffectResetAnswer(engine.effect, D3D_OK);
    EXPECT_TRUE(CheckDevice(&engine));
    EXPECT_TRUE(engine.reallocNeeded);
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
}

TEST_F(EngineTest, FailedEffectResetCountsAsAFailedReset)
{
    CreateReadyEngine();
    FailMethod(engine.device, deviceTestCooperativeLevel, D3DERR_DEVICENOTRESET);
    FailMethod(engine.effect, effectOnResetDevice, E_OUTOFMEMORY);
    EXPECT_FALSE(CheckDevice(&engine));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{resetFailed});
    EXPECT_FALSE(engine.reallocNeeded);
}
