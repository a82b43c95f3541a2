// The per-size objects: what each format kind makes on the device, the
// fallback when a kind is unavailable, the size limits, and every failing
// creation step.
#include <cstring>

#include "engine_fixture.h"
#include "expected_kinds.h"
#include "show_error.h"
#include "format_table.h"
#include "frame_resources.h"

namespace {

using Texts = std::vector<std::wstring>;

void ExpectSurface(IDirect3DSurface9* surface, UINT width, UINT height, D3DFORMAT format,
                   D3DPOOL pool, DWORD usage)
{
    ASSERT_NE(surface, nullptr);
    D3DSURFACE_DESC description;
    ASSERT_EQ(surface->GetDesc(&description), D3D_OK);
    EXPECT_EQ(description.Width, width);
    EXPECT_EQ(description.Height, height);
    EXPECT_EQ(description.Format, format);
    EXPECT_EQ(description.Pool, pool);
    EXPECT_EQ(description.Usage, usage);
    EXPECT_EQ(description.MultiSampleType, D3DMULTISAMPLE_NONE);
}

// The sizes, kind and objects of the record, to see that a refused call
// changed nothing.
struct FrameSnapshot {
    int32_t width, height, pitch, kind;
    void* objects[6];
    bool operator==(const FrameSnapshot& other) const
    {
        return std::memcmp(this, &other, sizeof *this) == 0;
    }
};

FrameSnapshot Snapshot(const CorrectionEngine& engine)
{
    return {engine.frameWidth,
            engine.frameHeight,
            engine.framePitch,
            engine.formatKind,
            {engine.sourceTexture, engine.renderTarget, engine.readbackSurface,
             engine.quadVertexBuffer, engine.eventQuery}};
}

void OnlyAvailable(CorrectionEngine* engine, std::initializer_list<int> kinds)
{
    for (bool& available : engine->formatAvailable) {
        available = false;
    }
    for (int kind : kinds) {
        engine->formatAvailable[kind] = true;
    }
}

// --- watching what the quad's lock receives ---------------------------------

typedef HRESULT(WINAPI* LockFunction)(IDirect3DVertexBuffer9*, UINT, UINT, void**, DWORD);
typedef HRESULT(WINAPI* UnlockFunction)(IDirect3DVertexBuffer9*);
LockFunction realLock;
UnlockFunction realUnlock;
void* lockedData;
UINT lockOffset, lockSize;
DWORD lockFlags;
unsigned char writtenVertices[96];

HRESULT WINAPI WatchLock(IDirect3DVertexBuffer9* self, UINT offset, UINT size, void** data,
                         DWORD flags)
{
    lockOffset = offset;
    lockSize = size;
    lockFlags = flags;
    HRESULT result = realLock(self, offset, size, data, flags);
    lockedData = SUCCEEDED(result) ? *data : nullptr;
    return result;
}

HRESULT WINAPI WatchUnlock(IDirect3DVertexBuffer9* self)
{
    if (lockedData != nullptr) {
        std::memcpy(writtenVertices, lockedData, sizeof writtenVertices);
    }
    return realUnlock(self);
}

// A vertex buffer of the test's own: its class's vtable is the quad's.
IDirect3DVertexBuffer9* AnyVertexBuffer()
{
    static IDirect3DVertexBuffer9* buffer = [] {
        IDirect3DVertexBuffer9* made = nullptr;
        ReferenceDevice()->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &made,
                                              nullptr);
        return made;
    }();
    return buffer;
}

void WatchQuadWrites()
{
    lockedData = nullptr;
    std::memset(writtenVertices, 0xFF, sizeof writtenVertices);
    realLock = reinterpret_cast<LockFunction>(
        ReplaceMethod(AnyVertexBuffer(), vertexBufferLock, reinterpret_cast<void*>(&WatchLock)));
    realUnlock = reinterpret_cast<UnlockFunction>(ReplaceMethod(
        AnyVertexBuffer(), vertexBufferUnlock, reinterpret_cast<void*>(&WatchUnlock)));
}

}  // namespace

// --- what an allocation makes ------------------------------------------------------

TEST_F(EngineTest, EachKindMakesItsObjectsAtFullHdSize)
{
    CreateReadyEngine();
    EXPECT_STREQ(FormatKindName(&engine), L"Unknown") << "before any allocation";
    for (const ExpectedKind& expected : expectedKinds) {
        SCOPED_TRACE(testing::Message() << "kind " << expected.kind);
        IDirect3DQuery9* previousQuery = engine.eventQuery;
        previousQuery->AddRef();  // keeps its address from being reused

        ASSERT_TRUE(ReleaseFrameResources(&engine));
        ASSERT_TRUE(AllocateFrameResources(&engine, expected.kind, 1920, 1080, 1920));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
        EXPECT_EQ(engine.formatKind, expected.kind);
        EXPECT_STREQ(FormatKindName(&engine), expected.tag);
        EXPECT_EQ(engine.frameWidth, 1920);
        EXPECT_EQ(engine.frameHeight, 1080);
        EXPECT_EQ(engine.framePitch, 1920);

        ASSERT_NE(engine.sourceTexture, nullptr);
        EXPECT_EQ(engine.sourceTexture->GetLevelCount(), 1u);
        D3DSURFACE_DESC source;
        ASSERT_EQ(engine.sourceTexture->GetLevelDesc(0, &source), D3D_OK);
        EXPECT_EQ(source.Width, 1920u);
        EXPECT_EQ(source.Height, 1080u);
        EXPECT_EQ(source.Format, expected.source);
        EXPECT_EQ(source.Pool, D3DPOOL_DEFAULT);
        EXPECT_EQ(source.Usage, static_cast<DWORD>(D3DUSAGE_DYNAMIC));

        ExpectSurface(engine.renderTarget, 1920, 1080, expected.target, D3DPOOL_DEFAULT,
                      D3DUSAGE_RENDERTARGET);
        ExpectSurface(engine.readbackSurface, 1920, 1080, expected.target, D3DPOOL_SYSTEMMEM, 0);

        ASSERT_NE(engine.quadVertexBuffer, nullptr);
        D3DVERTEXBUFFER_DESC quad;
        ASSERT_EQ(engine.quadVertexBuffer->GetDesc(&quad), D3D_OK);
        EXPECT_EQ(quad.Size, 96u);
        EXPECT_EQ(quad.Usage, static_cast<DWORD>(D3DUSAGE_WRITEONLY));
        EXPECT_EQ(quad.FVF, 0u);
        EXPECT_EQ(quad.Pool, D3DPOOL_DEFAULT);

        ASSERT_NE(engine.eventQuery, nullptr);
        EXPECT_EQ(engine.eventQuery->GetType(), D3DQUERYTYPE_EVENT);
        EXPECT_NE(engine.eventQuery, previousQuery);
        EXPECT_EQ(previousQuery->Release(), 0u) << "the previous query was not released";

        IDirect3DBaseTexture9* bound = nullptr;
        ASSERT_EQ(engine.effect->GetTexture("txSrc", &bound), D3D_OK);
        EXPECT_EQ(bound, engine.sourceTexture);
        if (bound != nullptr) {
            bound->Release();
        }
    }
}

TEST_F(EngineTest, QuadCoversTheFrameWithHalfPixelShift)
{
    CreateReadyEngine();
    WatchQuadWrites();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindU16, 1920, 1080, 1920));
    EXPECT_EQ(lockOffset, 0u);
    EXPECT_EQ(lockSize, 0u);
    EXPECT_EQ(lockFlags, static_cast<DWORD>(D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK));
    float vertices[24];
    std::memcpy(vertices, writtenVertices, sizeof vertices);
    // clang-format off
    const float expected[24] = {
        -0.5f,   -0.5f,   1.0f, 1.0f, 0.0f, 0.0f,
        1919.5f, -0.5f,   1.0f, 1.0f, 1.0f, 0.0f,
        -0.5f,   1079.5f, 1.0f, 1.0f, 0.0f, 1.0f,
        1919.5f, 1079.5f, 1.0f, 1.0f, 1.0f, 1.0f,
    };
    // clang-format on
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(vertices[i], expected[i]) << "vertex " << i / 6 << " value " << i % 6;
    }
}

// --- which kind is used ---------------------------------------------------------------

// The requested kind is clamped to 0..kindNone, then falls back to the
// lowest available kind (not the nearest); with none available the call
// fails with its message and names the kind "Unknown", keeping the objects
// of before for the release that follows.
TEST_F(EngineTest, TheRequestedKindIsClampedThenFallsBackToTheLowestAvailable)
{
    const struct {
        std::initializer_list<int> available;
        int requested;
        int used;
    } cases[] = {
        {{kindF32, kindU16}, kindU10, kindF32},
        {{kindS16, kindU10}, kindF16, kindS16},
        {{kindS16, kindU10}, kindU10, kindU10},
        {{kindF32, kindF16, kindU16, kindS16, kindU10}, -3, kindF32},
        {{kindU16, kindS16}, -3, kindU16},
        {{kindU16, kindS16}, 9, kindU16},
        {{kindU16, kindS16}, kindNone, kindU16},
        {{}, kindU16, kindNone},
    };
    CreateReadyEngine();
    int32_t pitch = 64;  // a new one each time: the record takes the size before the kind
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.requested << " asked for");
        IDirect3DSurface9* readback = engine.readbackSurface;
        OnlyAvailable(&engine, c.available);
        EXPECT_EQ(AllocateFrameResources(&engine, c.requested, 64, 32, ++pitch),
                  c.used != kindNone);
        EXPECT_EQ(engine.framePitch, pitch);
        EXPECT_EQ(engine.formatKind, c.used);
        EXPECT_STREQ(FormatKindName(&engine),
                     c.used == kindNone ? L"Unknown" : ExpectedKindOf(c.used).tag);
        EXPECT_EQ(TakeErrorBoxTexts(),
                  c.used == kindNone ? Texts{ErrorTextOf(errorNoFormat)} : Texts{});
        if (c.used == kindNone) {
            EXPECT_EQ(engine.readbackSurface, readback) << "earlier objects are not released yet";
        }
    }
}

// Sides up to 4096 and a pitch down to the width are taken; other sizes are
// refused without a word, leaving the record as it was, but for a zero side,
// which reaches the read-back surface's creation and its message. Without
// an effect nothing is made.
TEST_F(EngineTest, SizesWithinTheLimitsAreTakenOthersRefusedLeavingTheRecord)
{
    EXPECT_FALSE(AllocateFrameResources(&engine, kindU16, 64, 32, 64)) << "no effect yet";
    EXPECT_EQ(engine.frameWidth, -1);
    CreateReadyEngine();
    const struct {
        int32_t width, height, pitch;
    } taken[] = {{4096, 8, 4096}, {8, 4096, 8}, {8, 8, 8}},
      refused[] = {{4097, 8, 4097}, {8, 4097, 8}, {-1, 8, 8},  {8, -1, 8},
                   {8, 8, 7},       {8, 8, -1},   {-8, 8, -8}, {INT32_MIN, 8, 8}},
      zeroSide[] = {{0, 32, 0}, {32, 0, 32}};
    for (const auto& size : taken) {
        EXPECT_TRUE(AllocateFrameResources(&engine, kindU16, size.width, size.height, size.pitch))
            << size.width << "x" << size.height;
    }
    ASSERT_TRUE(AllocateFrameResources(&engine, kindF16, 64, 32, 80));
    const FrameSnapshot before = Snapshot(engine);
    for (const auto& size : refused) {
        EXPECT_FALSE(AllocateFrameResources(&engine, kindU16, size.width, size.height, size.pitch))
            << size.width << "x" << size.height << " pitch " << size.pitch;
        EXPECT_TRUE(Snapshot(engine) == before);
    }
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
    for (const auto& size : zeroSide) {
        EXPECT_FALSE(AllocateFrameResources(&engine, kindU16, size.width, size.height, size.pitch));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorSurface)});
    }
}

// --- failing steps ----------------------------------------------------------------------

TEST_F(EngineTest, EachFailingCreationShowsItsMessageAndKeepsWhatCameBefore)
{
    const struct {
        FaultableMethod method;
        ErrorText message;
        const wchar_t* call;  // as the debugger line names it
        int objectsMade;      // in creation order: readback, quad, source, target
        HRESULT answer = E_OUTOFMEMORY;
        const wchar_t* code = L"0x8007000E";  // in the debugger line
    } steps[] = {
        {deviceCreateOffscreenPlainSurface, errorSurface, L"CreateOffscreenPlainSurface", 0},
        {deviceCreateVertexBuffer, errorVertices, L"CreateVertexBuffer", 1},
        {vertexBufferLock, errorVertices, L"Lock", 2},
        // Success without memory, as Wine answers once the address space is full.
        {vertexBufferLock, errorVertices, L"vertexMemory", 2, D3D_OK, L"0x80004005"},
        {deviceCreateTexture, errorTexture, L"CreateTexture", 2},
        {deviceCreateRenderTarget, errorRenderTarget, L"CreateRenderTarget", 3},
        {deviceCreateQuery, errorQuery, L"CreateQuery", 4},  // and no query
        // Every object made, the query anew, and none of them released.
        {effectSetTexture, errorTextureBinding, L"SetTexture", 4, D3DERR_INVALIDCALL,
         L"0x8876086C"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "failing method " << step.method);
        StartOver();
        CreateReadyEngine();
        ASSERT_TRUE(AllocateFrameResources(&engine, kindF16, 64, 32, 64));
        IDirect3DQuery9* query = engine.eventQuery;
        void* object = step.method == vertexBufferLock   ? static_cast<void*>(AnyVertexBuffer())
                       : step.method == effectSetTexture ? static_cast<void*>(engine.effect)
                                                         : static_cast<void*>(engine.device);
        MakeMethodReturn(object, step.method, step.answer);

        EXPECT_FALSE(AllocateFrameResources(&engine, kindU16, 96, 48, 96));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(step.message)});
        EXPECT_EQ(TakeDebuggerLines(),
                  Texts{std::wstring(L"kelvo: ") + step.call + L": HRESULT " + step.code + L"\n"});
        EXPECT_EQ(engine.formatKind, kindU16);
        EXPECT_EQ(engine.frameWidth, 96);
        const void* made[4] = {engine.readbackSurface, engine.quadVertexBuffer,
                               engine.sourceTexture, engine.renderTarget};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(made[i] != nullptr, i < step.objectsMade) << "object " << i;
        }
        // The query is replaced only at its own step.
        if (step.method == deviceCreateQuery) {
            EXPECT_EQ(engine.eventQuery, nullptr);
        } else if (step.method == effectSetTexture) {
            EXPECT_NE(engine.eventQuery, nullptr);
        } else {
            EXPECT_EQ(engine.eventQuery, query);
        }
    }
}

TEST_F(EngineTest, ReleasingFrameResourcesCanBeRepeated)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindF16, 64, 32, 64));
    IDirect3DQuery9* query = engine.eventQuery;
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(ReleaseFrameResources(&engine));
        EXPECT_EQ(engine.sourceTexture, nullptr);
        EXPECT_EQ(engine.renderTarget, nullptr);
        EXPECT_EQ(engine.readbackSurface, nullptr);
        EXPECT_EQ(engine.quadVertexBuffer, nullptr);
        EXPECT_EQ(engine.eventQuery, query);
        EXPECT_EQ(engine.frameWidth, 64);
        EXPECT_EQ(engine.formatKind, kindF16);
    }
}
