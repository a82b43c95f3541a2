// One frame through the engine as the processing callback drives it: packed
// into the source texture, drawn through the technique of its kind, read back
// and unpacked over the host's buffer. Checked pixel by pixel against the CPU
// reference model, with both converter variants and with surface pitches
// padded as real drivers pad them, and through every failure of the
// transfer and the draw.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "correction_parameters.h"
#include "engine_fixture.h"
#include "show_error.h"
#include "frame_resources.h"
#include "core/correction_tracks.h"
#include "pixel_transfer.h"
#include "plugin_host.h"
#include "render_pass.h"

namespace {

using Texts = std::vector<std::wstring>;

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

}  // namespace

TEST_F(EngineTest, EveryKindCorrectsAFrameLikeTheModelWithBothConvertersAndAnyPitch)
{
    const struct {
        int32_t width, height, pitch;
    } sizes[] = {{1, 1, 1}, {7, 3, 9}, {33, 17, 40}, {4096, 2, 4100}};
    // Texels of padding per surface row (an odd count: rows of 4- and 8-byte
    // texels lose their 16-byte alignment); -1 rounds rows up to 256 bytes;
    // 0 leaves the surface as this machine's driver locks it.
    const int paddings[] = {0, 3, -1};
    const CorrectionConstants constants = ComputeCorrectionConstants(sliders);
    for (int kindValue = 0; kindValue < textureFormatKindCount; ++kindValue) {
        const auto kind = static_cast<TextureFormatKind>(kindValue);
        for (bool sse : {false, true}) {
            for (const auto& size : sizes) {
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

                    HostFrame frame = MarkedFrame(size.width, size.height, size.pitch);
                    const HostFrame input = frame;
                    ASSERT_TRUE(UploadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
                    EXPECT_TRUE(SamePixels(frame, input)) << "the upload wrote to the host buffer";
                    ASSERT_TRUE(RenderFrame(&engine));
                    WaitForGpu(&engine);
                    ASSERT_TRUE(DownloadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
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
                    EXPECT_EQ(PixelsOutsideModel(input.pixels.data(), frame.pixels.data(),
                                                 size.width, size.height, size.pitch, constants,
                                                 kind, {rules}, 3),
                              0);
                }
            }
        }
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

// A GPU that is busy for a number of polls: the query answers "not done"
// until then, and then `lastAnswer`. The wait must poll until that answer
// (a stage time includes its GPU work), take any answer but "not done" as
// the end, and past its first polls give the processor away between polls.
namespace busy {
int notDoneLeft = 0;
HRESULT lastAnswer = S_OK;
int polls = 0;
int yields = 0;
BOOL(WINAPI* realSwitchToThread)() = nullptr;
HRESULT __stdcall GetData(IDirect3DQuery9*, void*, DWORD, DWORD)
{
    ++polls;
    return notDoneLeft-- > 0 ? S_FALSE : lastAnswer;
}
BOOL WINAPI SwitchToThread()
{
    ++yields;
    return realSwitchToThread();
}
}  // namespace busy

TEST_F(EngineTest, WaitForGpuPollsUntilAnyAnswerButNotYetAndYieldsWhileItWaits)
{
    CreateReadyEngine();
    WaitForGpu(&engine);  // the query of a fresh device
    ASSERT_TRUE(AllocateFrameResources(&engine, kindU16, 16, 4, 16));
    void** yieldEntry = FindImportEntry(GetModuleHandleW(nullptr), "kernel32.dll",
                                        "SwitchToThread");
    ASSERT_NE(yieldEntry, nullptr);
    busy::realSwitchToThread = reinterpret_cast<BOOL(WINAPI*)()>(
        PatchPointer(yieldEntry, reinterpret_cast<void*>(&busy::SwitchToThread)));
    ReplaceMethod(engine.eventQuery, queryGetData, reinterpret_cast<void*>(&busy::GetData));
    const struct {
        int notDone;
        HRESULT answer;
    } cases[] = {{0, S_OK}, {3, S_OK}, {gpuWaitSpinPolls + 40, S_OK}, {5, D3DERR_DEVICELOST}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.notDone << " polls busy, then 0x" << std::hex << c.answer);
        busy::polls = busy::yields = 0;
        busy::notDoneLeft = c.notDone;
        busy::lastAnswer = c.answer;
        WaitForGpu(&engine);
        EXPECT_EQ(busy::polls, c.notDone + 1);
        EXPECT_EQ(busy::yields, std::max(0, c.notDone - gpuWaitSpinPolls))
            << "every poll after the first " << gpuWaitSpinPolls << " yields";
    }
    RestorePatchedPointers();

    IDirect3DQuery9* query = engine.eventQuery;
    engine.eventQuery = nullptr;
    WaitForGpu(&engine);  // no query: returns at once
    engine.eventQuery = query;
}

TEST_F(EngineTest, UploadFailuresShowTheirMessageAndLeaveTheHostBufferAlone)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindF32, 5, 3, 6));
    HostFrame frame = MarkedFrame(5, 3, 6);
    const HostFrame input = frame;

    FailMethod(engine.sourceTexture, textureGetSurfaceLevel, D3DERR_INVALIDCALL);
    EXPECT_FALSE(UploadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorTextureSurface)});
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
        EXPECT_FALSE(UploadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorUpload)});
        EXPECT_EQ(FaultedCalls(fault.method), 1);
        RestorePatchedPointers();
    }
    // A failed lock left nothing locked, and the surface reference was
    // given back every time: the next upload locks again and works.
    EXPECT_TRUE(UploadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
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
    HostFrame frame = MarkedFrame(5, 3, 6);
    ASSERT_TRUE(UploadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
    ASSERT_TRUE(RenderFrame(&engine));

    // Overwrite the frame with something the neutral correction cannot
    // produce, so any unpack shows.
    for (YCPixel& p : frame.pixels) p = pastWidthMarker;
    const HostFrame before = frame;

    FailMethod(engine.device, deviceGetRenderTargetData, D3DERR_DEVICELOST);
    EXPECT_FALSE(DownloadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorDownload)});
    EXPECT_TRUE(SamePixels(frame, before));
    RestorePatchedPointers();

    for (const HRESULT lockResult : {D3DERR_INVALIDCALL, D3D_OK /* and no memory */}) {
        MakeMethodReturn(engine.readbackSurface, surfaceLockRect, lockResult);
        EXPECT_FALSE(DownloadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorDownload)});
        EXPECT_TRUE(SamePixels(frame, before));
        RestorePatchedPointers();
    }

    // Only the final unlock failing: the frame is already unpacked.
    FailMethod(engine.readbackSurface, surfaceUnlockRect, D3DERR_INVALIDCALL);
    EXPECT_FALSE(DownloadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorDownload)});
    EXPECT_FALSE(SamePixels(frame, before));
    EXPECT_EQ(MarkersDisturbed(frame), 0);
    RestorePatchedPointers();
    // The readback surface really is still locked after that (the unlock
    // never reached it); release the lock so the engine can be torn down.
    engine.readbackSurface->UnlockRect();

    IDirect3DSurface9* readback = engine.readbackSurface;
    engine.readbackSurface = nullptr;
    EXPECT_FALSE(DownloadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorDownload)});
    engine.readbackSurface = readback;

    EXPECT_TRUE(DownloadFrame(&engine, frame.pixels.data(), frame.info.maxWidth));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
}

TEST_F(EngineTest, AHostPitchBelowTheWidthIsRefusedBeforeAnythingIsTouched)
{
    CreateReadyEngine();
    ASSERT_TRUE(AllocateFrameResources(&engine, kindF32, 8, 2, 10));
    // The host shrank its maximum width without changing the frame size:
    // no re-allocation, so the transfer must take the new pitch from the
    // frame and refuse one that cannot hold a row.
    std::vector<YCPixel> small(7 * 2, pastWidthMarker);
    FailMethodAfter(engine.sourceTexture, textureGetSurfaceLevel, 1000, E_FAIL);
    EXPECT_FALSE(UploadFrame(&engine, small.data(), 7));
    EXPECT_EQ(FaultedCalls(textureGetSurfaceLevel), 0);
    EXPECT_FALSE(DownloadFrame(&engine, small.data(), 7));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
    for (const YCPixel& p : small) EXPECT_EQ(std::memcmp(&p, &pastWidthMarker, sizeof p), 0);

    // A pitch equal to the width, smaller than at allocation, works.
    HostFrame frame = MarkedFrame(8, 2, 8);
    EXPECT_TRUE(UploadFrame(&engine, frame.pixels.data(), 8));
    EXPECT_TRUE(RenderFrame(&engine));
    EXPECT_TRUE(DownloadFrame(&engine, frame.pixels.data(), 8));
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{});
}
