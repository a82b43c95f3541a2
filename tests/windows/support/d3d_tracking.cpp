#include "d3d_tracking.h"

#include <gtest/gtest.h>

#include "d3d_faults.h"
#include "pointer_patch.h"

namespace {

typedef IDirect3D9*(WINAPI* Direct3DCreate9Function)(UINT);
typedef HRESULT(WINAPI* CreateDeviceFunction)(IDirect3D9*, UINT, D3DDEVTYPE, HWND, DWORD,
                                              D3DPRESENT_PARAMETERS*, IDirect3DDevice9**);

IDirect3D9* trackedDirect3D = nullptr;
IDirect3DDevice9* trackedDevice = nullptr;
DWORD trackedBehaviourFlags = 0;
HWND trackedFocusWindow = nullptr;
bool direct3DCreate9Fails = false;
CreateDeviceFunction realCreateDevice = nullptr;

// The real entry, not the module's import: the test's own objects must not
// be tracked, and the import may be redirected.
Direct3DCreate9Function RealDirect3DCreate9()
{
    return reinterpret_cast<Direct3DCreate9Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"d3d9.dll"), "Direct3DCreate9")));
}

IDirect3D9* WINAPI TrackDirect3DCreate9(UINT sdkVersion)
{
    if (direct3DCreate9Fails) {
        return nullptr;
    }
    IDirect3D9* direct3d = RealDirect3DCreate9()(sdkVersion);
    if (direct3d != nullptr && trackedDirect3D == nullptr) {
        direct3d->AddRef();
        trackedDirect3D = direct3d;
    }
    return direct3d;
}

HRESULT WINAPI TrackCreateDevice(IDirect3D9* self, UINT adapter, D3DDEVTYPE type, HWND focus,
                                 DWORD flags, D3DPRESENT_PARAMETERS* parameters,
                                 IDirect3DDevice9** device)
{
    HRESULT result = realCreateDevice(self, adapter, type, focus, flags, parameters, device);
    if (SUCCEEDED(result) && self == trackedDirect3D && trackedDevice == nullptr) {
        (*device)->AddRef();
        trackedDevice = *device;
        trackedBehaviourFlags = flags;
        trackedFocusWindow = focus;
    }
    return result;
}

HWND MakeHiddenWindow()
{
    return CreateWindowExW(0, L"STATIC", L"kelvo test", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

void StartDirect3DTracking(HMODULE module)
{
    trackedDirect3D = nullptr;
    trackedDevice = nullptr;
    trackedBehaviourFlags = 0;
    trackedFocusWindow = nullptr;
    direct3DCreate9Fails = false;

    void** entry = FindImportEntry(module, "d3d9.dll", "Direct3DCreate9");
    if (entry == nullptr) {
        ADD_FAILURE() << "the module does not import d3d9!Direct3DCreate9";
        return;
    }
    // Made before any slot is redirected, so that no armed fault meets it.
    ReferenceDevice();
    PatchPointer(entry, reinterpret_cast<void*>(&TrackDirect3DCreate9));
    void* previous = ReplaceMethod(ReferenceDirect3D(), direct3dCreateDevice,
                                   reinterpret_cast<void*>(&TrackCreateDevice));
    // Started again without a restore: keep passing calls to the real method.
    if (previous != reinterpret_cast<void*>(&TrackCreateDevice)) {
        realCreateDevice = reinterpret_cast<CreateDeviceFunction>(previous);
    }
}

void FailDirect3DCreate9()
{
    direct3DCreate9Fails = true;
}

IDirect3D9* TrackedDirect3D()
{
    return trackedDirect3D;
}

IDirect3DDevice9* TrackedDevice()
{
    return trackedDevice;
}

DWORD TrackedDeviceBehaviourFlags()
{
    return trackedBehaviourFlags;
}

HWND TrackedDeviceFocusWindow()
{
    return trackedFocusWindow;
}

ULONG ReleaseTrackedDevice()
{
    ULONG left = 0;
    if (trackedDevice != nullptr) {
        left = trackedDevice->Release();
        trackedDevice = nullptr;
    }
    return left;
}

ULONG ReleaseTrackedDirect3D()
{
    ULONG left = 0;
    if (trackedDirect3D != nullptr) {
        left = trackedDirect3D->Release();
        trackedDirect3D = nullptr;
    }
    return left;
}

HWND TestWindow()
{
    static HWND window = MakeHiddenWindow();
    return window;
}

IDirect3D9* ReferenceDirect3D()
{
    static IDirect3D9* direct3d = RealDirect3DCreate9()(D3D_SDK_VERSION);
    return direct3d;
}

IDirect3DDevice9* ReferenceDevice()
{
    static IDirect3DDevice9* device = [] {
        IDirect3DDevice9* made = nullptr;
        D3DPRESENT_PARAMETERS parameters = {};
        parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
        parameters.Windowed = TRUE;
        HRESULT result = ReferenceDirect3D()->CreateDevice(
            D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, MakeHiddenWindow(),
            D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE, &parameters, &made);
        if (FAILED(result)) {
            ADD_FAILURE() << "the test's own device could not be made: 0x" << std::hex << result;
        }
        return made;
    }();
    return device;
}
