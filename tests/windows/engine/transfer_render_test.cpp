// One frame through the engine as the processing callback drives it: packed
// into the source texture, drawn through the technique of its kind, read back
// and unpacked over the host's buffer. Checked pixel by pixel against the CPU
// reference model, with both converter variants and with surface pitches
// padded as real drivers pad them, and through every failure of the
// transfer and the draw.
#include <cstdint>
#include <cstring>
#include <vector>

#include "correction_parameters.h"
#include "engine_fixture.h"
#include "show_error.h"
#include "frame_resources.h"
#include "host_interface/tracks.h"
#include "pixel_transfer.h"
#include "render_pass.h"
#include "test_pixels.h"

namespace {

using Texts = std::vector<std::wstring>;
const wchar_t* const surfaceMissing = ErrorTextOf(errorTextureSurface);
const wchar_t* const uploadFailed = ErrorTextOf(errorUpload);
const wchar_t* const downloadFailed = ErrorTextOf(errorDownload);

// A host frame: rows `pitch` pixels apart, the columns past the width filled
// with a marker that no transfer may touch.
struct HostFrame {
    int32_t width, height, pitch;
    std::vector<YCPixel> pixels;
};

const YCPixel marker = {0x5A5A, -0x5A5B, 0x1234};

HostFrame MakeFrame(int32_t width, int32_t height, int32_t pitch)
{
    HostFrame frame{width, height, pitch, std::vector<YCPixel>(size_t(pitch) * height, marker)};
    std::vector<YCTriple> content = RangeCoveringPixels(width * height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const YCTriple& p = content[size_t(y) * width + x];
            frame.pixels[size_t(y) * pitch + x] = {p.y, p.cb, p.cr};
        }
    }
    return frame;
}

int MarkersDisturbed(const HostFrame& frame)
{
    int disturbed = 0;
    for (int32_t y = 0; y < frame.height; ++y) {
        for (int32_t x = frame.width; x < frame.pitch; ++x) {
            const YCPixel& p = frame.pixels[size_t(y) * frame.pitch + x];
            disturbed += std::memcmp(&p, &marker, sizeof p) != 0;
        }
    }
    return disturbed;
}

bool SamePixels(const HostFrame& a, const HostFrame& b)
{
    return a.pixels.size() == b.pixels.size() &&
           std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size() * sizeof(YCPixel)) == 0;
}

const TextureFormatKind kinds[] = {kindF32, kindF16, kindU16, kindS16, kindU10};

// Surfaces whose rows lie further apart than width x texel size, as real
// drivers align them. Every LockRect answers a copy of the surface with rows
// `padTexels` texels longer (or rounded up to 256 bytes), its padding filled
// with a marker; UnlockRect copies a written copy back and counts the bytes
// the converters touched that they must not: the padding of every lock, and
// anything at all of a read-only one. Pitches stay whole texels, so F32 rows
// stay 16-byte aligned for UnpackF32Sse: the converters step rows by whole
// texels (pixel_converters.h), and no driver hands out rows a fraction of a
// texel apart.
namespace padded {
using LockRectFunction = HRESULT(__stdcall*)(IDirect3DSurface9*, D3DLOCKED_RECT*, const RECT*,
                                             DWORD);
using UnlockRectFunction = HRESULT(__stdcall*)(IDirect3DSurface9*);
LockRectFunction realLock = nullptr;
UnlockRectFunction realUnlock = nullptr;
int padTexels = 0;  // -1: rows rounded up to a multiple of 256 bytes
const unsigned char padMarker = 0xA7;

struct Lock {
    IDirect3DSurface9* surface = nullptr;
    D3DLOCKED_RECT real = {};
    bool readOnly = false;
    int32_t rows = 0, rowBytes = 0, pitch = 0;
    std::vector<unsigned char> storage;  // 16 bytes of slack to align the copy
    std::vector<unsigned char> asLocked;
    unsigned char* Copy()
    {
        return storage.data() + (-reinterpret_cast<uintptr_t>(storage.data()) & 15);
    }
};
std::vector<Lock> open;
int locks = 0;
int touched = 0;

int32_t TexelBytes(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A32B32G32R32F:
        return 16;
    case D3DFMT_A2B10G10R10:
        return 4;
    default:
        return 8;
    }
}

HRESULT __stdcall LockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect,
                           DWORD flags)
{
    Lock lock;
    HRESULT result = realLock(surface, &lock.real, rect, flags);
    if (result != D3D_OK) return result;
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    const int32_t texelBytes = TexelBytes(desc.Format);
    lock.surface = surface;
    lock.readOnly = (flags & D3DLOCK_READONLY) != 0;
    lock.rows = int32_t(desc.Height);
    lock.rowBytes = int32_t(desc.Width) * texelBytes;
    lock.pitch = padTexels >= 0 ? lock.rowBytes + padTexels * texelBytes
                                : (lock.rowBytes + 255) & ~255;
    lock.storage.assign(size_t(lock.pitch) * lock.rows + 16, padMarker);
    for (int32_t r = 0; r < lock.rows; ++r) {
        std::memcpy(lock.Copy() + size_t(r) * lock.pitch,
                    static_cast<unsigned char*>(lock.real.pBits) + size_t(r) * lock.real.Pitch,
                    size_t(lock.rowBytes));
    }
    lock.asLocked.assign(lock.Copy(), lock.Copy() + size_t(lock.pitch) * lock.rows);
    locked->pBits = lock.Copy();
    locked->Pitch = lock.pitch;
    ++locks;
    open.push_back(std::move(lock));
    return D3D_OK;
}

HRESULT __stdcall UnlockRect(IDirect3DSurface9* surface)
{
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (it->surface != surface) continue;
        Lock& lock = *it;
        for (int32_t r = 0; r < lock.rows; ++r) {
            const unsigned char* row = lock.Copy() + size_t(r) * lock.pitch;
            const unsigned char* before = lock.asLocked.data() + size_t(r) * lock.pitch;
            for (int32_t b = lock.readOnly ? 0 : lock.rowBytes; b < lock.pitch; ++b) {
                touched += row[b] != before[b];
            }
            if (!lock.readOnly) {
                std::memcpy(static_cast<unsigned char*>(lock.real.pBits) +
                                size_t(r) * lock.real.Pitch,
                            row, size_t(lock.rowBytes));
            }
        }
        open.erase(it);
        break;
    }
    return realUnlock(surface);
}

void Install(IDirect3DSurface9* anySurface, int texels)
{
    padTexels = texels;
    locks = touched = 0;
    open.clear();
    realLock = reinterpret_cast<LockRectFunction>(
        ReplaceMethod(anySurface, surfaceLockRect, reinterpret_cast<void*>(&LockRect)));
    realUnlock = reinterpret_cast<UnlockRectFunction>(
        ReplaceMethod(anySurface, surfaceUnlockRect, reinterpret_cast<void*>(&UnlockRect)));
}
}  // namespace padded

const int32_t sliders[trackCount] = {-40, 60,  12, -30,  -7, 90,  33,  -120,
                                     77,  -18, 45, -200, 5,  140, 128, 0};

struct FrameSize {
    int32_t width, height, pitch;
};

}  // namespace

TEST_F(EngineTest, EveryKindCorrectsAFrameLikeTheModelWithBothConvertersAndAnyPitch)
{
    const FrameSize sizes[] = {{1, 1, 1}, {7, 3, 9}, {33, 17, 40}, {4096, 2, 4100}};
    // Texels of padding per surface row; -1 rounds rows up to 256 bytes. 0
    // leaves the surface as this machine's driver locks it.
    const int paddings[] = {0, 1, 3, 13, -1};
    const CorrectionConstants constants = ComputeCorrectionConstants(sliders);
    for (TextureFormatKind kind : kinds) {
        for (bool sse : {false, true}) {
            for (const FrameSize& size : sizes) {
                StartOver();
                CreateReadyEngine();
                engine.sseUsable = sse;
                ASSERT_TRUE(
                    AllocateFrameResources(&engine, kind, size.width, size.height, size.pitch));
                ASSERT_EQ(engine.formatKind, kind);
                SetCorrectionParameters(sliders, &engine);
                for (int padding : paddings) {
                    SCOPED_TRACE(testing::Message()
                                 << "kind " << kind << (sse ? " SSE " : " plain ") << size.width
                                 << "x" << size.height << " pitch " << size.pitch << " padding "
                                 << padding);
                    if (padding != 0) padded::Install(engine.readbackSurface, padding);

                    HostFrame frame = MakeFrame(size.width, size.height, size.pitch);
                    const HostFrame input = frame;
                    ASSERT_TRUE(UploadFrame(&engine, frame.pixels.data(), frame.pitch));
                    EXPECT_TRUE(SamePixels(frame, input)) << "the upload wrote to the host buffer";
                    ASSERT_TRUE(RenderFrame(&engine));
                    WaitForGpu(&engine);
                    ASSERT_TRUE(DownloadFrame(&engine, frame.pixels.data(), frame.pitch));
                    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
                    EXPECT_EQ(MarkersDisturbed(frame), 0);
                    if (padding != 0) {
                        EXPECT_EQ(padded::locks, 2) << "the source and the read-back surface";
                        EXPECT_EQ(padded::touched, 0)
                            << "bytes outside the texels, or of a read-only lock";
                        RestorePatchedPointers();
                    }

                    ReferenceRules rules;
                    rules.floatUnpack = sse ? FloatUnpack::sse : FloatUnpack::plain;
                    int outside = 0;
                    for (int32_t y = 0; y < size.height; ++y) {
                        for (int32_t x = 0; x < size.width; ++x) {
                            const YCPixel& in = input.pixels[size_t(y) * size.pitch + x];
                            const YCPixel& out = frame.pixels[size_t(y) * size.pitch + x];
                            ReferenceResult expected = RunReference({in.y, in.cb, in.cr}, constants,
                                                                    kind, rules);
                            if (!HostPixelAccepted(expected, {out.y, out.cb, out.cr}) &&
                                ++outside <= 3) {
                                ADD_FAILURE()
                                    << "(" << x << ", " << y << ") in " << in.y << " " << in.cb
                                    << " " << in.cr << " got " << out.y << " " << out.cb << " "
                                    << out.cr << " model " << expected.host.y << " "
                                    << expected.host.cb << " " << expected.host.cr;
                            }
                        }
                    }
                    EXPECT_EQ(outside, 0);
                }
            }
        }
    }
}

TEST_F(EngineTest, RenderFrameUsesTheTechniqueOfTheKind)
{
    CreateReadyEngine();
    const struct {
        TextureFormatKind kind;
        const char* technique;
    } cases[] = {{kindF32, "ColorCorrection"},
                 {kindF16, "ColorCorrection"},
                 {kindU16, "ColorCorrectionU16"},
                 {kindS16, "ColorCorrectionS16"},
                 {kindU10, "ColorCorrectionU10"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(AllocateFrameResources(&engine, c.kind, 8, 8, 8));
        ASSERT_TRUE(RenderFrame(&engine));
        D3DXTECHNIQUE_DESC description;
        ASSERT_EQ(
            engine.effect->GetTechniqueDesc(engine.effect->GetCurrentTechnique(), &description),
            D3D_OK);
        EXPECT_STREQ(description.Name, c.technique) << "kind " << c.kind;
    }
}

TEST_F(EngineTest, NothingToDrawIntoOrNoSceneRefusesTheFrame)
{
    CreateReadyEngine();
    EXPECT_FALSE(RenderFrame(&engine)) << "no render target yet";
    ASSERT_TRUE(AllocateFrameResources(&engine, kindF32, 16, 4, 16));

    // A scene that cannot begin draws nothing; the render target would hand
    // an older frame to the host, so the frame is refused.
    FailMethod(engine.device, deviceBeginScene, D3DERR_INVALIDCALL);
    FailMethodAfter(engine.effect, effectSetTexture, 1000, E_FAIL);  // counts effect calls
    EXPECT_FALSE(RenderFrame(&engine));
    EXPECT_EQ(FaultedCalls(deviceBeginScene), 1);
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
    RestorePatchedPointers();

    // So is a frame any later step of the draw fails in, without a box. What
    // was begun is ended: the next frame draws again (a scene or an effect
    // left open would refuse its begin).
    const struct {
        FaultableMethod method;
        const wchar_t* line;
    } steps[] = {
        {effectSetTechnique, L"kelvo: SetTechnique: HRESULT 0x8876086C\n"},
        {effectBegin, L"kelvo: Begin: HRESULT 0x8876086C\n"},
        {effectBeginPass, L"kelvo: BeginPass: HRESULT 0x8876086C\n"},
        {deviceDrawPrimitive, L"kelvo: DrawPrimitive: HRESULT 0x8876086C\n"},
        {deviceEndScene, L"kelvo: EndScene: HRESULT 0x8876086C\n"},
    };
    TakeDebuggerLines();
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "failing method " << step.method);
        const bool onDevice = step.method == deviceDrawPrimitive || step.method == deviceEndScene;
        FailMethod(onDevice ? static_cast<void*>(engine.device) : static_cast<void*>(engine.effect),
                   step.method, D3DERR_INVALIDCALL);
        EXPECT_FALSE(RenderFrame(&engine));
        EXPECT_EQ(FaultedCalls(step.method), 1);
        EXPECT_EQ(TakeDebuggerLines(), Texts{step.line});
        RestorePatchedPointers();
        if (onDevice && step.method == deviceEndScene) {
            engine.device->EndScene();  // the fault kept the real one from running
        }
        EXPECT_TRUE(RenderFrame(&engine));
        EXPECT_EQ(TakeDebuggerLines(), Texts{});
    }
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
}

TEST_F(EngineTest, WaitForGpuEndsOnAnyAnswerButNotYet)
{
    CreateReadyEngine();
    WaitForGpu(&engine);  // the query of a fresh device
    ASSERT_TRUE(AllocateFrameResources(&engine, kindU16, 16, 4, 16));
    FailMethodAfter(engine.eventQuery, queryGetData, 1000, E_FAIL);  // counts polls
    WaitForGpu(&engine);
    EXPECT_GE(FaultedCalls(queryGetData), 1);

    FailMethod(engine.eventQuery, queryGetData, D3DERR_DEVICELOST);
    WaitForGpu(&engine);
    EXPECT_EQ(FaultedCalls(queryGetData), 1) << "an error ends the wait";

    RestorePatchedPointers();
    IDirect3DQuery9* query = engine.eventQuery;
    engine.eventQuery = nullptr;
    WaitForGpu(&engine);  // no query: returns at once
    engine.eventQuery = query;
}

// A GPU that needs a measured time: the query answers "not done" until
// then, and for at least leastPolls polls (so that the polls past the spin
// come however slowly this machine runs the first ones). The wait must last
// that long (a stage time includes its GPU work) and, past its first polls,
// give the processor away between polls.
namespace busy {
LARGE_INTEGER doneAt;
int leastPolls = 1;
int polls = 0;
int pollsDone = 0;  // that answered "done"
int yields = 0;
BOOL(WINAPI* realSwitchToThread)() = nullptr;
HRESULT __stdcall GetData(IDirect3DQuery9*, void*, DWORD, DWORD)
{
    ++polls;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (now.QuadPart < doneAt.QuadPart || polls < leastPolls) return S_FALSE;
    ++pollsDone;
    return S_OK;
}
BOOL WINAPI SwitchToThread()
{
    ++yields;
    return realSwitchToThread();
}
}  // namespace busy

TEST_F(EngineTest, WaitForGpuLastsUntilTheGpuIsDoneAndYieldsWhileItWaits)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindU16, 16, 4, 16));
    void** yieldEntry = FindImportEntry(GetModuleHandleW(nullptr), "kernel32.dll",
                                        "SwitchToThread");
    ASSERT_NE(yieldEntry, nullptr);
    busy::realSwitchToThread = reinterpret_cast<BOOL(WINAPI*)()>(
        PatchPointer(yieldEntry, reinterpret_cast<void*>(&busy::SwitchToThread)));
    ReplaceMethod(engine.eventQuery, queryGetData, reinterpret_cast<void*>(&busy::GetData));
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    for (const double busyMs : {0.0, 20.0}) {
        SCOPED_TRACE(testing::Message() << busyMs << " ms of GPU work");
        busy::polls = busy::pollsDone = busy::yields = 0;
        busy::leastPolls = busyMs == 0 ? 1 : gpuWaitSpinPolls + 4;
        QueryPerformanceCounter(&start);
        busy::doneAt.QuadPart = start.QuadPart +
                                static_cast<LONGLONG>(busyMs * 1e-3 * frequency.QuadPart);
        WaitForGpu(&engine);
        QueryPerformanceCounter(&end);
        const double waitedMs = 1e3 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
        EXPECT_GE(waitedMs, busyMs);
        EXPECT_EQ(busy::pollsDone, 1) << "the wait outlasted the GPU";
        if (busyMs == 0) {
            EXPECT_EQ(busy::polls, 1);
            EXPECT_EQ(busy::yields, 0);
        } else {
            EXPECT_EQ(busy::yields, busy::polls - 1 - gpuWaitSpinPolls)
                << "every poll after the first " << gpuWaitSpinPolls << " yields";
        }
    }
    RestorePatchedPointers();
}

TEST_F(EngineTest, UploadFailuresShowTheirMessageAndLeaveTheHostBufferAlone)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindF32, 5, 3, 6));
    HostFrame frame = MakeFrame(5, 3, 6);
    const HostFrame input = frame;

    FailMethod(engine.sourceTexture, textureGetSurfaceLevel, D3DERR_INVALIDCALL);
    EXPECT_FALSE(UploadFrame(&engine, frame.pixels.data(), frame.pitch));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{surfaceMissing});
    RestorePatchedPointers();

    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(engine.sourceTexture->GetSurfaceLevel(0, &level), D3D_OK);
    auto references = [level] {
        level->AddRef();
        return level->Release();
    };
    const ULONG referencesBefore = references();
    // The last: a lock that succeeds without memory, as Wine's does once the
    // address space is full; converting into it would crash the host.
    const struct {
        FaultableMethod method;
        HRESULT result;
        const char* what;
    } faults[] = {{surfaceLockRect, D3DERR_INVALIDCALL, "lock fails"},
                  {surfaceUnlockRect, D3DERR_INVALIDCALL, "unlock fails"},
                  {surfaceLockRect, D3D_OK, "lock gives no memory"}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        MakeMethodReturn(level, fault.method, fault.result);
        EXPECT_FALSE(UploadFrame(&engine, frame.pixels.data(), frame.pitch));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{uploadFailed});
        EXPECT_EQ(FaultedCalls(fault.method), 1);
        RestorePatchedPointers();
    }
    // A failed lock left nothing locked, and the surface reference was
    // given back every time: the next upload locks again and works.
    EXPECT_TRUE(UploadFrame(&engine, frame.pixels.data(), frame.pitch));
    EXPECT_EQ(references(), referencesBefore) << "a surface reference was kept";
    level->Release();
    EXPECT_TRUE(SamePixels(frame, input));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
}

TEST_F(EngineTest, DownloadFailuresKeepTheInputFrame)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindU16, 5, 3, 6));
    int32_t neutral[trackCount] = {};
    SetCorrectionParameters(neutral, &engine);
    HostFrame frame = MakeFrame(5, 3, 6);
    ASSERT_TRUE(UploadFrame(&engine, frame.pixels.data(), frame.pitch));
    ASSERT_TRUE(RenderFrame(&engine));

    // Overwrite the frame with something the neutral correction cannot
    // produce, so any unpack shows.
    for (YCPixel& p : frame.pixels) p = marker;
    const HostFrame before = frame;

    FailMethod(engine.device, deviceGetRenderTargetData, D3DERR_DEVICELOST);
    EXPECT_FALSE(DownloadFrame(&engine, frame.pixels.data(), frame.pitch));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{downloadFailed});
    EXPECT_TRUE(SamePixels(frame, before));
    RestorePatchedPointers();

    for (const HRESULT lockResult : {D3DERR_INVALIDCALL, D3D_OK /* and no memory */}) {
        MakeMethodReturn(engine.readbackSurface, surfaceLockRect, lockResult);
        EXPECT_FALSE(DownloadFrame(&engine, frame.pixels.data(), frame.pitch));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{downloadFailed});
        EXPECT_TRUE(SamePixels(frame, before));
        RestorePatchedPointers();
    }

    // Only the final unlock failing: the frame is already unpacked.
    FailMethod(engine.readbackSurface, surfaceUnlockRect, D3DERR_INVALIDCALL);
    EXPECT_FALSE(DownloadFrame(&engine, frame.pixels.data(), frame.pitch));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{downloadFailed});
    EXPECT_FALSE(SamePixels(frame, before));
    EXPECT_EQ(MarkersDisturbed(frame), 0);
    RestorePatchedPointers();
    // The readback surface really is still locked after that (the unlock
    // never reached it); release the lock so the engine can be torn down.
    engine.readbackSurface->UnlockRect();

    IDirect3DSurface9* readback = engine.readbackSurface;
    engine.readbackSurface = nullptr;
    EXPECT_FALSE(DownloadFrame(&engine, frame.pixels.data(), frame.pitch));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{downloadFailed});
    engine.readbackSurface = readback;

    EXPECT_TRUE(DownloadFrame(&engine, frame.pixels.data(), frame.pitch));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
}

TEST_F(EngineTest, AHostPitchBelowTheWidthIsRefusedBeforeAnythingIsTouched)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindF32, 8, 2, 10));
    // The host shrank its maximum width without changing the frame size:
    // no re-allocation, so the transfer must take the new pitch from the
    // frame and refuse one that cannot hold a row.
    std::vector<YCPixel> small(7 * 2, marker);
    FailMethodAfter(engine.sourceTexture, textureGetSurfaceLevel, 1000, E_FAIL);
    EXPECT_FALSE(UploadFrame(&engine, small.data(), 7));
    EXPECT_EQ(FaultedCalls(textureGetSurfaceLevel), 0);
    EXPECT_FALSE(DownloadFrame(&engine, small.data(), 7));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
    for (const YCPixel& p : small) EXPECT_EQ(std::memcmp(&p, &marker, sizeof p), 0);

    // A pitch equal to the width, smaller than at allocation, works.
    HostFrame frame = MakeFrame(8, 2, 8);
    EXPECT_TRUE(UploadFrame(&engine, frame.pixels.data(), 8));
    EXPECT_TRUE(RenderFrame(&engine));
    EXPECT_TRUE(DownloadFrame(&engine, frame.pixels.data(), 8));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
}
