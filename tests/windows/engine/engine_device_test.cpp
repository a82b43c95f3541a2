// Bringing the engine up on Wine's Direct3D 9: the record's defaults, the
// device, the format probe, the effect handles, and every way creation fails.
#include <cstring>

#include "core/format_kinds.h"
#include "engine_fixture.h"
#include "expected_kinds.h"
#include "show_error.h"
#include "sse_probe.h"

namespace {

using Texts = std::vector<std::wstring>;

void ExpectNothingHeld(const CorrectionEngine& engine)
{
    EXPECT_EQ(engine.direct3d, nullptr);
    EXPECT_EQ(engine.device, nullptr);
    EXPECT_EQ(engine.effect, nullptr);
    EXPECT_EQ(engine.vertexDeclaration, nullptr);
    EXPECT_EQ(engine.eventQuery, nullptr);
}

// --- caps and format replacements -------------------------------------------

typedef HRESULT(WINAPI* GetDeviceCapsFunction)(IDirect3D9*, UINT, D3DDEVTYPE, D3DCAPS9*);
GetDeviceCapsFunction realGetDeviceCaps;
DWORD textureCapsToSet;
DWORD textureCapsToClear;

HRESULT WINAPI GetDeviceCapsWithTextureCaps(IDirect3D9* self, UINT adapter, D3DDEVTYPE type,
                                            D3DCAPS9* caps)
{
    HRESULT result = realGetDeviceCaps(self, adapter, type, caps);
    caps->TextureCaps = (caps->TextureCaps & ~textureCapsToClear) | textureCapsToSet;
    return result;
}

void PretendTextureCaps(DWORD set, DWORD clear)
{
    textureCapsToSet = set;
    textureCapsToClear = clear;
    realGetDeviceCaps = reinterpret_cast<GetDeviceCapsFunction>(
        ReplaceMethod(ReferenceDirect3D(), direct3dGetDeviceCaps,
                      reinterpret_cast<void*>(&GetDeviceCapsWithTextureCaps)));
}

typedef HRESULT(WINAPI* CheckDeviceFormatFunction)(IDirect3D9*, UINT, D3DDEVTYPE, D3DFORMAT, DWORD,
                                                   D3DRESOURCETYPE, D3DFORMAT);
CheckDeviceFormatFunction realCheckDeviceFormat;
std::vector<D3DFORMAT> refusedFormats;
struct FormatQuestion {
    D3DFORMAT adapterFormat;
    DWORD usage;
    D3DRESOURCETYPE type;
    D3DFORMAT format;
};
std::vector<FormatQuestion> formatQuestions;

HRESULT WINAPI CheckDeviceFormatRefusing(IDirect3D9* self, UINT adapter, D3DDEVTYPE type,
                                         D3DFORMAT adapterFormat, DWORD usage,
                                         D3DRESOURCETYPE resourceType, D3DFORMAT format)
{
    formatQuestions.push_back({adapterFormat, usage, resourceType, format});
    for (D3DFORMAT refused : refusedFormats) {
        if (refused == format) {
            return D3DERR_NOTAVAILABLE;
        }
    }
    return realCheckDeviceFormat(self, adapter, type, adapterFormat, usage, resourceType, format);
}

void RefuseFormats(std::vector<D3DFORMAT> formats)
{
    refusedFormats = std::move(formats);
    formatQuestions.clear();
    realCheckDeviceFormat = reinterpret_cast<CheckDeviceFormatFunction>(
        ReplaceMethod(ReferenceDirect3D(), direct3dCheckDeviceFormat,
                      reinterpret_cast<void*>(&CheckDeviceFormatRefusing)));
}

// The engine's handles are the effect's parameters and techniques of these
// names (their shapes are effect_program_test's), each technique valid on
// the device.
void ExpectTheEffectsHandles(const CorrectionEngine& engine)
{
    ASSERT_NE(engine.effect, nullptr);
    const struct {
        D3DXHANDLE handle;
        const char* name;
    } parameters[] = {{engine.parameters[parameterYcOffs], "ycOffs"},
                      {engine.parameters[parameterYcAmp], "ycAmp"},
                      {engine.parameters[parameterBgrOffs], "bgrOffs"},
                      {engine.parameters[parameterBgrAmp], "bgrAmp"},
                      {engine.parameters[parameterBgrGamma], "bgrGamma"},
                      {engine.parameters[parameterMatYC2BGR], "matYC2BGR"},
                      {engine.parameters[parameterMatBGR2YC], "matBGR2YC"}};
    for (const auto& expected : parameters) {
        EXPECT_NE(expected.handle, nullptr) << expected.name;
        EXPECT_EQ(expected.handle, engine.effect->GetParameterByName(nullptr, expected.name));
    }
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        EXPECT_NE(engine.techniques[kind], nullptr) << kind;
        EXPECT_EQ(engine.techniques[kind],
                  engine.effect->GetTechniqueByName(ExpectedKindOf(kind).technique));
        EXPECT_EQ(engine.effect->ValidateTechnique(engine.techniques[kind]), D3D_OK);
    }
}

}  // namespace

// --- the record ----------------------------------------------------------------

TEST(EngineRecord, InitEngineSetsEveryDefaultWhateverTheMemoryHeld)
{
    CorrectionEngine engine;
    std::memset(&engine, 0xA5, sizeof engine);
    EXPECT_EQ(InitEngine(&engine, &correctionFilter), &engine);

    const void* const pointers[] = {
        engine.direct3d,          engine.device,          engine.sourceTexture,
        engine.renderTarget,      engine.readbackSurface, engine.quadVertexBuffer,
        engine.vertexDeclaration, engine.effect,          engine.eventQuery};
    for (const void* pointer : pointers) {
        EXPECT_EQ(pointer, nullptr);
    }
    EXPECT_EQ(engine.filter, &correctionFilter);
    for (D3DXHANDLE parameter : engine.parameters) {
        EXPECT_EQ(parameter, nullptr);
    }
    for (D3DXHANDLE technique : engine.techniques) {
        EXPECT_EQ(technique, nullptr);
    }
    EXPECT_EQ(engine.frameWidth, -1);
    EXPECT_EQ(engine.frameHeight, -1);
    EXPECT_EQ(engine.framePitch, -1);
    EXPECT_EQ(engine.formatKind, 5);
    for (bool available : engine.formatAvailable) {
        EXPECT_FALSE(available);
    }
    EXPECT_EQ(engine.sseUsable, ProbeSse());
    EXPECT_TRUE(engine.reallocNeeded) << "the first frame builds its objects";
    EXPECT_TRUE(engine.paramsChanged) << "the first frame sends the tracks";
}

TEST(EngineRecord, DestroyEngineOnAnEmptyRecordTwiceDoesNothing)
{
    CorrectionEngine engine;
    InitEngine(&engine, &correctionFilter);
    DestroyEngine(&engine);
    DestroyEngine(&engine);
    EXPECT_EQ(engine.device, nullptr);
}

// --- the happy path --------------------------------------------------------------

TEST_F(EngineTest, CreatesAReadyEngineOnTheHostWindow)
{
    CreateReadyEngine();

    EXPECT_EQ(engine.direct3d, TrackedDirect3D());
    EXPECT_EQ(engine.device, TrackedDevice());
    EXPECT_EQ(TrackedDeviceFocusWindow(), context.window);
    EXPECT_EQ(TrackedDeviceBehaviourFlags(), 2082u)
        << "software vertex processing, no window changes, FPU preserved";

    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        EXPECT_TRUE(engine.formatAvailable[kind]) << "kind " << kind;
    }

    ExpectTheEffectsHandles(engine);

    ASSERT_NE(engine.vertexDeclaration, nullptr);
    D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH + 1];
    UINT count = 0;
    ASSERT_EQ(engine.vertexDeclaration->GetDeclaration(elements, &count), D3D_OK);
    ASSERT_EQ(count, 3u);
    const D3DVERTEXELEMENT9 expectedElements[3] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0},
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::memcmp(&elements[i], &expectedElements[i], sizeof elements[i]), 0)
            << "element " << i;
    }

    ASSERT_NE(engine.eventQuery, nullptr);
    EXPECT_EQ(engine.eventQuery->GetType(), D3DQUERYTYPE_EVENT);

    EXPECT_EQ(engine.formatKind, kindNone);
    EXPECT_EQ(engine.frameWidth, -1);
    EXPECT_EQ(engine.sourceTexture, nullptr);
    EXPECT_EQ(engine.readbackSurface, nullptr);
}

TEST_F(EngineTest, DeviceCreationKeepsTheHostThreadsFloatingPointPrecision)
{
    // Direct3D 9 switches the creating thread to 24-bit x87 precision unless
    // told to preserve it; the host's own double arithmetic runs on this thread.
    const uint16_t before = X87ControlWord();
    SetX87ControlWord(0x037F);
    CreateReadyEngine();
    EXPECT_EQ(X87ControlWord(), 0x037F);
    SetX87ControlWord(before);
}

// --- creation failures ------------------------------------------------------------

// Each failing step of the creation: its message (or none) and nothing held
// after it, everything made before it released.
TEST_F(EngineTest, AFailedCreationStepShowsItsMessageAndLeavesNothingHeld)
{
    const struct {
        bool onDevice;  // armed through the test's device, else its Direct3D object
        FaultableMethod method;
        HRESULT result;
        ErrorText message;
    } steps[] = {
        {false, direct3dCreateDevice, D3DERR_NOTAVAILABLE, errorDeviceCreate},
        {false, direct3dGetDeviceCaps, D3DERR_INVALIDDEVICE, errorNone},
        {true, deviceGetDisplayMode, D3DERR_DRIVERINTERNALERROR, errorNone},
        {true, deviceCreateVertexDeclaration, E_OUTOFMEMORY, errorVertexDeclaration},
        {true, deviceCreateQuery, D3DERR_NOTAVAILABLE, errorQuery},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "failing method " << step.method);
        StartOver();
        FailMethod(step.onDevice ? static_cast<void*>(ReferenceDevice()) : ReferenceDirect3D(),
                   step.method, step.result);
        EXPECT_FALSE(CreateDevice());
        EXPECT_EQ(FaultedCalls(step.method), 1);
        EXPECT_EQ(TakeErrorBoxTexts(),
                  step.message == errorNone ? Texts{} : Texts{ErrorTextOf(step.message)});
        ExpectNothingHeld(engine);
    }
    EXPECT_EQ(ProbeTextureFormats(&engine), D3DERR_INVALIDCALL) << "no device: nothing to probe";

    StartOver();
    FailDirect3DCreate9();
    EXPECT_FALSE(CreateDevice());
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorDirect3DCreate)});
    ExpectNothingHeld(engine);
}

TEST_F(EngineTest, TextureCapsDecideBeforeAnyFormatIsAsked)
{
    const DWORD square = D3DPTEXTURECAPS_SQUAREONLY;
    const DWORD pow2 = D3DPTEXTURECAPS_POW2;
    const DWORD conditional = D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    const struct {
        DWORD set;
        DWORD clear;
        bool accepted;
        Texts messages;
    } cases[] = {
        {square, pow2 | conditional, false, {ErrorTextOf(errorSquareTexturesOnly)}},
        // Square-only is tested first.
        {square | pow2, conditional, false, {ErrorTextOf(errorSquareTexturesOnly)}},
        {pow2, conditional, false, {ErrorTextOf(errorPowerOfTwoTexturesOnly)}},
        {pow2 | conditional, square, true, {}},
        {conditional, square | pow2, true, {}},
        {0, square | pow2 | conditional, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "TextureCaps set 0x" << std::hex << c.set);
        StartOver();
        PretendTextureCaps(c.set, c.clear);
        RefuseFormats({});
        EXPECT_EQ(CreateDevice(), c.accepted);
        EXPECT_EQ(TakeErrorBoxTexts(), c.messages);
        if (!c.accepted) {
            ExpectNothingHeld(engine);
            EXPECT_TRUE(formatQuestions.empty());
        }
    }
}

TEST_F(EngineTest, FormatsAreAskedInOrderAsRenderTargetTexturesOfTheDisplayFormat)
{
    RefuseFormats({});
    CreateReadyEngine();
    D3DDISPLAYMODE mode;
    ASSERT_EQ(engine.device->GetDisplayMode(0, &mode), D3D_OK);
    ASSERT_EQ(formatQuestions.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(formatQuestions[i].format, expectedKinds[i].target) << i;
        EXPECT_EQ(formatQuestions[i].adapterFormat, mode.Format);
        EXPECT_EQ(formatQuestions[i].usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
        EXPECT_EQ(formatQuestions[i].type, D3DRTYPE_TEXTURE);
    }
}

TEST_F(EngineTest, EverySubsetOfRefusedFormatsGivesItsMessagesInProbeOrder)
{
    for (int refusedMask = 0; refusedMask < 32; ++refusedMask) {
        SCOPED_TRACE(testing::Message() << "refused formats mask " << refusedMask);
        std::vector<D3DFORMAT> refused;
        Texts messages;
        for (int i = 0; i < 5; ++i) {
            if (refusedMask & (1 << i)) {
                refused.push_back(expectedKinds[i].target);
                messages.push_back(formatKinds[expectedKinds[i].kind].missingText);
            }
        }
        const bool noneLeft = refusedMask == 31;
        if (noneLeft) {
            messages.push_back(ErrorTextOf(errorNoPixelFormat));
        }
        StartOver();
        RefuseFormats(refused);

        EXPECT_EQ(CreateDevice(), !noneLeft);
        EXPECT_EQ(TakeErrorBoxTexts(), messages);
        if (noneLeft) {
            ExpectNothingHeld(engine);
        } else {
            for (int i = 0; i < 5; ++i) {
                EXPECT_EQ(engine.formatAvailable[expectedKinds[i].kind],
                          (refusedMask & (1 << i)) == 0)
                    << "kind " << expectedKinds[i].kind;
            }
            EXPECT_NE(engine.effect, nullptr);
        }
    }
}

TEST_F(EngineTest, CreateEventQueryReplacesTheQuery)
{
    CreateReadyEngine();
    IDirect3DQuery9* old = engine.eventQuery;
    old->AddRef();
    EXPECT_EQ(CreateEventQuery(&engine), D3D_OK);
    EXPECT_NE(engine.eventQuery, old);
    EXPECT_EQ(old->Release(), 0u) << "the replaced query was not released";
}
