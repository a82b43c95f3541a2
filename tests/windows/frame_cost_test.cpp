// What a steady frame of the shipped plug-in costs besides the GPU work:
// heap allocations (none once the frame's resources exist) and Direct3D
// calls (one upload lock, one draw, one read-back copy and lock, three
// waits). The allocator imports of kelvo.auf are redirected to counters;
// the Direct3D methods are counted through their vtable slots, which every
// object of a class shares, so the test's own objects open the way to the
// plug-in's.
#include <climits>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <d3d9.h>
#include <gtest/gtest.h>

#include "d3d_faults.h"
#include "d3d_tracking.h"
#include "core/format_kinds.h"
#include "plugin_host.h"
#include "pointer_patch.h"
#include "host_interface/yc_pixel.h"
#include "core/correction_tracks.h"

namespace {

// ---- Allocator imports ------------------------------------------------------

int allocations = 0;  // malloc, calloc, realloc, _aligned_malloc, _strdup, HeapAlloc, HeapReAlloc
int releases = 0;     // free, _aligned_free, HeapFree

// One allocator import of the plug-in (Slot tells apart imports of one
// signature): each call is counted into *Counter and passed on.
template <int Slot, int* Counter, typename Signature>
struct CountedImport;

template <int Slot, int* Counter, typename Result, typename... Arguments>
struct CountedImport<Slot, Counter, Result (*)(Arguments...)> {
    static inline Result (*real)(Arguments...) = nullptr;
    static Result Call(Arguments... arguments)
    {
        ++*Counter;
        return real(arguments...);
    }
};

template <int Slot, int* Counter, typename Result, typename... Arguments>
struct CountedImport<Slot, Counter, Result(__stdcall*)(Arguments...)> {
    static inline Result(__stdcall* real)(Arguments...) = nullptr;
    static Result __stdcall Call(Arguments... arguments)
    {
        ++*Counter;
        return real(arguments...);
    }
};

// Redirects one import when the module has it; returns whether it had.
template <typename Counted>
bool HookImport(HMODULE module, const char* dll, const char* name)
{
    void** entry = FindImportEntry(module, dll, name);
    if (entry == nullptr) return false;
    Counted::real = reinterpret_cast<decltype(Counted::real)>(
        PatchPointer(entry, reinterpret_cast<void*>(&Counted::Call)));
    return true;
}

// ---- Direct3D methods ---------------------------------------------------------

// The flags of every LockRect, in order; the calls go on to the real method.
std::vector<DWORD> lockFlags;
HRESULT(__stdcall* realLockRect)(IDirect3DSurface9*, D3DLOCKED_RECT*, const RECT*, DWORD);

HRESULT __stdcall RecordedLockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked,
                                   const RECT* rect, DWORD flags)
{
    lockFlags.push_back(flags);
    return realLockRect(surface, locked, rect, flags);
}

class FrameCostTest : public PluginTest, public testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure()) return;
        tracks[trackFormat] = GetParam();
        tracks[TrackIndex("Y(gain)")] = 20;  // a visible setting
        frame = FilledFrame(frameWidth, frameHeight, frameWidth, YCPixel{1024, -300, 700});
    }

    void TearDown() override
    {
        ReleaseOwnObjects();
        PluginTest::TearDown();
    }

    void HookAllocator()
    {
        HMODULE m = session.module;
        ASSERT_TRUE((HookImport<CountedImport<0, &allocations, void* (*)(size_t)>>(m, "msvcrt.dll",
                                                                                   "malloc")))
            << "kelvo.auf no longer imports malloc: count its allocator anew";
        HookImport<CountedImport<1, &allocations, void* (*)(size_t, size_t)>>(m, "msvcrt.dll",
                                                                              "calloc");
        HookImport<CountedImport<2, &allocations, void* (*)(void*, size_t)>>(m, "msvcrt.dll",
                                                                             "realloc");
        HookImport<CountedImport<3, &releases, void (*)(void*)>>(m, "msvcrt.dll", "free");
        HookImport<CountedImport<4, &allocations, void* (*)(size_t, size_t)>>(m, "msvcrt.dll",
                                                                              "_aligned_malloc");
        HookImport<CountedImport<5, &releases, void (*)(void*)>>(m, "msvcrt.dll", "_aligned_free");
        HookImport<CountedImport<6, &allocations, char* (*)(const char*)>>(m, "msvcrt.dll",
                                                                           "_strdup");
        HookImport<CountedImport<7, &allocations, LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T)>>(
            m, "kernel32.dll", "HeapAlloc");
        HookImport<CountedImport<8, &allocations, LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T)>>(
            m, "kernel32.dll", "HeapReAlloc");
        HookImport<CountedImport<9, &releases, BOOL(WINAPI*)(HANDLE, DWORD, LPVOID)>>(
            m, "kernel32.dll", "HeapFree");
    }

    // Counters on the methods of the device, surface, texture and query
    // classes, reached through the plug-in's device and the test's own
    // objects of the other classes.
    void CountDirect3DCalls()
    {
        IDirect3DDevice9* device = TrackedDevice();
        ASSERT_NE(device, nullptr);
        IDirect3DDevice9* own = ReferenceDevice();
        ASSERT_EQ(own->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                   &surface, nullptr),
                  D3D_OK);
        ASSERT_EQ(
            own->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
        ASSERT_EQ(own->CreateQuery(D3DQUERYTYPE_EVENT, &query), D3D_OK);
        realLockRect = reinterpret_cast<decltype(realLockRect)>(
            ReplaceMethod(surface, surfaceLockRect, reinterpret_cast<void*>(&RecordedLockRect)));
        const std::pair<void*, FaultableMethod> counted[] = {
            {surface, surfaceUnlockRect},  {texture, textureGetSurfaceLevel},
            {device, deviceBeginScene},    {device, deviceEndScene},
            {device, deviceDrawPrimitive}, {device, deviceGetRenderTargetData},
            {query, queryIssue},           {query, queryGetData}};
        for (const auto& method : counted) {
            FailMethodAfter(method.first, method.second, INT_MAX, S_OK);
        }
    }

    void ReleaseOwnObjects()
    {
        if (surface != nullptr) surface->Release();
        if (texture != nullptr) texture->Release();
        if (query != nullptr) query->Release();
        surface = nullptr;
        texture = nullptr;
        query = nullptr;
    }

    void ResetCounts()
    {
        allocations = releases = 0;
        lockFlags.clear();
    }

    int32_t Process() { return PluginTest::Process(frame); }

    static constexpr int frameWidth = 320;
    static constexpr int frameHeight = 180;
    HostFrame frame;
    IDirect3DSurface9* surface = nullptr;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DQuery9* query = nullptr;
};

TEST_P(FrameCostTest, SteadyFramesAllocateNothing)
{
    HookAllocator();
    if (HasFatalFailure()) return;
    ResetCounts();
    ASSERT_NE(Init(), 0);
    // The engine record comes from the heap: proof that the counters see the
    // plug-in's allocations at all.
    EXPECT_GE(allocations, 1) << "onInit allocated nothing through the hooked imports";

    ASSERT_EQ(Process(), 1);  // allocates the frame's resources
    ResetCounts();
    const int steadyFrames = 5;
    for (int i = 0; i < steadyFrames; ++i) {
        ASSERT_EQ(Process(), 1);
    }
    EXPECT_EQ(allocations, 0) << formatKinds[GetParam()].name << ": allocations in " << steadyFrames
                              << " steady frames";
    EXPECT_EQ(releases, 0) << formatKinds[GetParam()].name;

    // A settings change sends the constants again; no allocation either.
    Update();
    ASSERT_EQ(Process(), 1);
    EXPECT_EQ(allocations, 0) << formatKinds[GetParam()].name << ": a settings-change frame";
    std::printf("%s: allocations per steady frame %.1f\n", formatKinds[GetParam()].name,
                double(allocations) / steadyFrames);
}

TEST_P(FrameCostTest, PlainFrameMakesOneUploadOneDrawOneReadBackAndThreeWaits)
{
    ASSERT_NE(Init(), 0);
    ASSERT_EQ(Process(), 1);
    CountDirect3DCalls();
    if (HasFatalFailure()) return;
    ResetCounts();
    ASSERT_EQ(Process(), 1);
    const struct {
        FaultableMethod method;
        int calls;  // at least as many for GetData: every wait polls at least once
        const char* what;
    } expected[] = {{surfaceUnlockRect, 2, "the upload's and the read-back's unlock"},
                    {deviceBeginScene, 1, "BeginScene"},
                    {deviceEndScene, 1, "EndScene"},
                    {deviceDrawPrimitive, 1, "DrawPrimitive"},
                    {deviceGetRenderTargetData, 1, "GetRenderTargetData"},
                    {queryIssue, 3, "the waits before upload, draw and read-back"},
                    {queryGetData, 3, "the waits' polls"}};
    const char* kind = formatKinds[GetParam()].name;
    std::printf("%s: per plain frame LockRect %d, GetSurfaceLevel %d", kind, int(lockFlags.size()),
                FaultedCalls(textureGetSurfaceLevel));
    for (const auto& e : expected) {
        std::printf(", %s %d", e.what, FaultedCalls(e.method));
        if (e.method == queryGetData) {
            EXPECT_GE(FaultedCalls(e.method), e.calls) << kind << ": " << e.what;
        } else {
            EXPECT_EQ(FaultedCalls(e.method), e.calls) << kind << ": " << e.what;
        }
    }
    std::printf("\n");
    ASSERT_EQ(lockFlags.size(), 2u) << kind << ": upload and read-back locks";
    EXPECT_NE(lockFlags[0] & D3DLOCK_DISCARD, 0u) << kind << ": the upload discards";
    EXPECT_NE(lockFlags[1] & D3DLOCK_READONLY, 0u) << kind << ": the read-back only reads";
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FrameCostTest, testing::Values(0, 1, 2, 3, 4),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(formatKinds[info.param].name);
                         });

}  // namespace
