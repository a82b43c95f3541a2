// What a steady frame of the shipped plug-in costs besides the GPU work:
// heap allocations (none once the frame's resources exist) and Direct3D
// calls (one upload lock, one draw, one read-back copy and lock, three
// waits). The allocator imports of kelvo.auf are redirected to counters;
// the Direct3D methods are counted through their vtable slots, which every
// object of a class shares, so the test's own objects open the way to the
// plug-in's.
//
// Compiled with the C view of the Direct3D headers: its vtable structs name
// the slots and give each counter its exact stdcall signature.
#define CINTERFACE
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <d3d9.h>
#include <gtest/gtest.h>

#include "d3d_tracking.h"
#include "core/format_kinds.h"
#include "plugin_host.h"
#include "pointer_patch.h"
#include "host_interface/yc_pixel.h"
#include "core/correction_tracks.h"

namespace {

// ---- Allocator imports ------------------------------------------------------

struct AllocationCounts {
    int allocations =
        0;             // malloc, calloc, realloc, _aligned_malloc, _strdup, HeapAlloc, HeapReAlloc
    int releases = 0;  // free, _aligned_free, HeapFree
};
AllocationCounts counts;

void*(__cdecl* realMalloc)(size_t);
void*(__cdecl* realCalloc)(size_t, size_t);
void*(__cdecl* realRealloc)(void*, size_t);
void(__cdecl* realFree)(void*);
void*(__cdecl* realAlignedMalloc)(size_t, size_t);
void(__cdecl* realAlignedFree)(void*);
char*(__cdecl* realStrdup)(const char*);
LPVOID(WINAPI* realHeapAlloc)(HANDLE, DWORD, SIZE_T);
LPVOID(WINAPI* realHeapReAlloc)(HANDLE, DWORD, LPVOID, SIZE_T);
BOOL(WINAPI* realHeapFree)(HANDLE, DWORD, LPVOID);

void* __cdecl CountedMalloc(size_t size)
{
    ++counts.allocations;
    return realMalloc(size);
}
void* __cdecl CountedCalloc(size_t n, size_t size)
{
    ++counts.allocations;
    return realCalloc(n, size);
}
void* __cdecl CountedRealloc(void* p, size_t size)
{
    ++counts.allocations;
    return realRealloc(p, size);
}
void __cdecl CountedFree(void* p)
{
    ++counts.releases;
    realFree(p);
}
void* __cdecl CountedAlignedMalloc(size_t size, size_t alignment)
{
    ++counts.allocations;
    return realAlignedMalloc(size, alignment);
}
void __cdecl CountedAlignedFree(void* p)
{
    ++counts.releases;
    realAlignedFree(p);
}
char* __cdecl CountedStrdup(const char* s)
{
    ++counts.allocations;
    return realStrdup(s);
}
LPVOID WINAPI CountedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    ++counts.allocations;
    return realHeapAlloc(heap, flags, size);
}
LPVOID WINAPI CountedHeapReAlloc(HANDLE heap, DWORD flags, LPVOID p, SIZE_T size)
{
    ++counts.allocations;
    return realHeapReAlloc(heap, flags, p, size);
}
BOOL WINAPI CountedHeapFree(HANDLE heap, DWORD flags, LPVOID p)
{
    ++counts.releases;
    return realHeapFree(heap, flags, p);
}

// Redirects one import when the module has it; returns whether it had.
template <typename Function>
bool HookImport(HMODULE module, const char* dll, const char* name, Function* real,
                Function counting)
{
    void** entry = FindImportEntry(module, dll, name);
    if (entry == nullptr) return false;
    *real = reinterpret_cast<Function>(PatchPointer(entry, reinterpret_cast<void*>(counting)));
    return true;
}

// ---- Direct3D methods ---------------------------------------------------------

enum CountedMethod {
    surfaceLockRect,
    surfaceUnlockRect,
    textureGetSurfaceLevel,
    deviceBeginScene,
    deviceEndScene,
    deviceDrawPrimitive,
    deviceGetRenderTargetData,
    queryIssue,
    queryGetData,
    countedMethodCount
};

int methodCalls[countedMethodCount];
void* realMethods[countedMethodCount];
std::vector<DWORD> lockFlags;  // of every LockRect, in order

template <CountedMethod Method, typename Signature>
struct Counter;

template <CountedMethod Method, typename Result, typename... Arguments>
struct Counter<Method, Result(__stdcall*)(Arguments...)> {
    static Result __stdcall Call(Arguments... arguments)
    {
        ++methodCalls[Method];
        return reinterpret_cast<Result(__stdcall*)(Arguments...)>(realMethods[Method])(
            arguments...);
    }
};

HRESULT __stdcall CountedLockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked,
                                  const RECT* rect, DWORD flags)
{
    ++methodCalls[surfaceLockRect];
    lockFlags.push_back(flags);
    typedef HRESULT(__stdcall * LockRectFunction)(IDirect3DSurface9*, D3DLOCKED_RECT*, const RECT*,
                                                  DWORD);
    return reinterpret_cast<LockRectFunction>(realMethods[surfaceLockRect])(surface, locked, rect,
                                                                            flags);
}

#define COUNT_SLOT(object, method, Interface, Member)                          \
    realMethods[method] = PatchPointer(                                        \
        VtableSlot(object, offsetof(Interface##Vtbl, Member) / sizeof(void*)), \
        reinterpret_cast<void*>(&Counter<method, decltype(Interface##Vtbl::Member)>::Call))

class FrameCostTest : public PluginTest, public testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure()) return;
        tracks[trackFormat] = GetParam();
        tracks[trackYGain] = 20;  // a visible setting
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
        ASSERT_TRUE(HookImport(m, "msvcrt.dll", "malloc", &realMalloc, &CountedMalloc))
            << "kelvo.auf no longer imports malloc: count its allocator anew";
        HookImport(m, "msvcrt.dll", "calloc", &realCalloc, &CountedCalloc);
        HookImport(m, "msvcrt.dll", "realloc", &realRealloc, &CountedRealloc);
        HookImport(m, "msvcrt.dll", "free", &realFree, &CountedFree);
        HookImport(m, "msvcrt.dll", "_aligned_malloc", &realAlignedMalloc, &CountedAlignedMalloc);
        HookImport(m, "msvcrt.dll", "_aligned_free", &realAlignedFree, &CountedAlignedFree);
        HookImport(m, "msvcrt.dll", "_strdup", &realStrdup, &CountedStrdup);
        HookImport(m, "kernel32.dll", "HeapAlloc", &realHeapAlloc, &CountedHeapAlloc);
        HookImport(m, "kernel32.dll", "HeapReAlloc", &realHeapReAlloc, &CountedHeapReAlloc);
        HookImport(m, "kernel32.dll", "HeapFree", &realHeapFree, &CountedHeapFree);
    }

    // Counters on the slots of the device, surface, texture and query
    // classes, reached through the plug-in's device and the test's own
    // objects of the other classes.
    void CountDirect3DCalls()
    {
        IDirect3DDevice9* device = TrackedDevice();
        ASSERT_NE(device, nullptr);
        IDirect3DDevice9* own = ReferenceDevice();
        ASSERT_EQ(own->lpVtbl->CreateOffscreenPlainSurface(own, 4, 4, D3DFMT_A8R8G8B8,
                                                           D3DPOOL_SYSTEMMEM, &surface, nullptr),
                  D3D_OK);
        ASSERT_EQ(own->lpVtbl->CreateTexture(own, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                             &texture, nullptr),
                  D3D_OK);
        ASSERT_EQ(own->lpVtbl->CreateQuery(own, D3DQUERYTYPE_EVENT, &query), D3D_OK);
        realMethods[surfaceLockRect] = PatchPointer(
            VtableSlot(surface, offsetof(IDirect3DSurface9Vtbl, LockRect) / sizeof(void*)),
            reinterpret_cast<void*>(&CountedLockRect));
        COUNT_SLOT(surface, surfaceUnlockRect, IDirect3DSurface9, UnlockRect);
        COUNT_SLOT(texture, textureGetSurfaceLevel, IDirect3DTexture9, GetSurfaceLevel);
        COUNT_SLOT(device, deviceBeginScene, IDirect3DDevice9, BeginScene);
        COUNT_SLOT(device, deviceEndScene, IDirect3DDevice9, EndScene);
        COUNT_SLOT(device, deviceDrawPrimitive, IDirect3DDevice9, DrawPrimitive);
        COUNT_SLOT(device, deviceGetRenderTargetData, IDirect3DDevice9, GetRenderTargetData);
        COUNT_SLOT(query, queryIssue, IDirect3DQuery9, Issue);
        COUNT_SLOT(query, queryGetData, IDirect3DQuery9, GetData);
    }

    void ReleaseOwnObjects()
    {
        if (surface != nullptr) surface->lpVtbl->Release(surface);
        if (texture != nullptr) texture->lpVtbl->Release(texture);
        if (query != nullptr) query->lpVtbl->Release(query);
        surface = nullptr;
        texture = nullptr;
        query = nullptr;
    }

    void ResetCounts()
    {
        counts = {};
        std::memset(methodCalls, 0, sizeof methodCalls);
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
    EXPECT_GE(counts.allocations, 1) << "onInit allocated nothing through the hooked imports";

    ASSERT_EQ(Process(), 1);  // allocates the frame's resources
    ResetCounts();
    const int steadyFrames = 5;
    for (int i = 0; i < steadyFrames; ++i) {
        ASSERT_EQ(Process(), 1);
    }
    EXPECT_EQ(counts.allocations, 0)
        << formatKinds[GetParam()].name << ": allocations in " << steadyFrames << " steady frames";
    EXPECT_EQ(counts.releases, 0) << formatKinds[GetParam()].name;

    // A settings change sends the constants again; no allocation either.
    Update();
    ASSERT_EQ(Process(), 1);
    EXPECT_EQ(counts.allocations, 0) << formatKinds[GetParam()].name << ": a settings-change frame";
    std::printf("%s: allocations per steady frame %.1f\n", formatKinds[GetParam()].name,
                double(counts.allocations) / steadyFrames);
}

TEST_P(FrameCostTest, PlainFrameMakesOneUploadOneDrawOneReadBackAndThreeWaits)
{
    ASSERT_NE(Init(), 0);
    ASSERT_EQ(Process(), 1);
    CountDirect3DCalls();
    if (HasFatalFailure()) return;
    ResetCounts();
    ASSERT_EQ(Process(), 1);
    const int getDataCalls = methodCalls[queryGetData];
    const int getSurfaceLevelCalls = methodCalls[textureGetSurfaceLevel];
    RestorePatchedPointers();
    ReleaseOwnObjects();

    const char* kind = formatKinds[GetParam()].name;
    EXPECT_EQ(methodCalls[surfaceLockRect], 2) << kind << ": upload and read-back locks";
    EXPECT_EQ(methodCalls[surfaceUnlockRect], 2) << kind;
    ASSERT_EQ(lockFlags.size(), 2u);
    EXPECT_NE(lockFlags[0] & D3DLOCK_DISCARD, 0u) << kind << ": the upload discards";
    EXPECT_NE(lockFlags[1] & D3DLOCK_READONLY, 0u) << kind << ": the read-back only reads";
    EXPECT_EQ(methodCalls[deviceBeginScene], 1) << kind;
    EXPECT_EQ(methodCalls[deviceEndScene], 1) << kind;
    EXPECT_EQ(methodCalls[deviceDrawPrimitive], 1) << kind;
    EXPECT_EQ(methodCalls[deviceGetRenderTargetData], 1) << kind;
    EXPECT_EQ(methodCalls[queryIssue], 3)
        << kind << ": the waits before upload, draw and read-back";
    EXPECT_GE(getDataCalls, 3) << kind << ": every wait polls at least once";
    std::printf("%s: per plain frame LockRect %d, UnlockRect %d, GetSurfaceLevel %d, "
                "BeginScene %d, DrawPrimitive %d, EndScene %d, GetRenderTargetData %d, "
                "Issue %d, GetData %d\n",
                kind, methodCalls[surfaceLockRect], methodCalls[surfaceUnlockRect],
                getSurfaceLevelCalls, methodCalls[deviceBeginScene],
                methodCalls[deviceDrawPrimitive], methodCalls[deviceEndScene],
                methodCalls[deviceGetRenderTargetData], methodCalls[queryIssue], getDataCalls);
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FrameCostTest, testing::Values(0, 1, 2, 3, 4),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(formatKinds[info.param].name);
                         });

}  // namespace
