// Compiled with the C view of the Direct3D and D3DX headers: there every
// interface has a vtable struct whose members name the slots, and their
// types give each override its exact stdcall signature. Nothing with those
// types leaves this file.
#define CINTERFACE
#include "d3d_faults.h"

#include <cstddef>

#include <d3d9.h>
#include <d3dx9.h>

namespace {

struct FaultState {
    HRESULT result;
    int passingCalls;
    int calls;
    void* original;
};

FaultState faults[faultableMethodCount];

// One override per method: counts the call, lets the first passingCalls
// through to the real method and fails the rest.
template <FaultableMethod Method, typename Signature>
struct Override;

template <FaultableMethod Method, typename Result, typename... Arguments>
struct Override<Method, Result(__stdcall*)(Arguments...)> {
    static Result __stdcall Call(Arguments... arguments)
    {
        FaultState& fault = faults[Method];
        ++fault.calls;
        if (fault.calls <= fault.passingCalls) {
            auto original = reinterpret_cast<Result(__stdcall*)(Arguments...)>(fault.original);
            return original(arguments...);
        }
        return static_cast<Result>(fault.result);
    }
};

struct MethodSlot {
    size_t index;
    void* override;
};

// clang-format off
#define METHOD_SLOT(method, Interface, Member)                                  \
    {offsetof(Interface##Vtbl, Member) / sizeof(void*),                         \
     reinterpret_cast<void*>(                                                   \
         &Override<method, decltype(Interface##Vtbl::Member)>::Call)}
// clang-format on

const MethodSlot methodSlots[faultableMethodCount] = {
    METHOD_SLOT(direct3dGetDeviceCaps, IDirect3D9, GetDeviceCaps),
    METHOD_SLOT(direct3dCheckDeviceFormat, IDirect3D9, CheckDeviceFormat),
    METHOD_SLOT(direct3dCreateDevice, IDirect3D9, CreateDevice),
    METHOD_SLOT(deviceTestCooperativeLevel, IDirect3DDevice9, TestCooperativeLevel),
    METHOD_SLOT(deviceReset, IDirect3DDevice9, Reset),
    METHOD_SLOT(deviceGetDisplayMode, IDirect3DDevice9, GetDisplayMode),
    METHOD_SLOT(deviceCreateTexture, IDirect3DDevice9, CreateTexture),
    METHOD_SLOT(deviceCreateVertexBuffer, IDirect3DDevice9, CreateVertexBuffer),
    METHOD_SLOT(deviceCreateRenderTarget, IDirect3DDevice9, CreateRenderTarget),
    METHOD_SLOT(deviceCreateOffscreenPlainSurface, IDirect3DDevice9, CreateOffscreenPlainSurface),
    METHOD_SLOT(deviceCreateVertexDeclaration, IDirect3DDevice9, CreateVertexDeclaration),
    METHOD_SLOT(deviceCreateQuery, IDirect3DDevice9, CreateQuery),
    METHOD_SLOT(vertexBufferLock, IDirect3DVertexBuffer9, Lock),
    METHOD_SLOT(vertexBufferUnlock, IDirect3DVertexBuffer9, Unlock),
    METHOD_SLOT(effectSetTexture, ID3DXEffect, SetTexture),
    METHOD_SLOT(effectSetVector, ID3DXEffect, SetVector),
    METHOD_SLOT(effectSetValue, ID3DXEffect, SetValue),
    METHOD_SLOT(effectOnLostDevice, ID3DXEffect, OnLostDevice),
    METHOD_SLOT(effectOnResetDevice, ID3DXEffect, OnResetDevice),
    METHOD_SLOT(textureGetSurfaceLevel, IDirect3DTexture9, GetSurfaceLevel),
    METHOD_SLOT(surfaceLockRect, IDirect3DSurface9, LockRect),
    METHOD_SLOT(surfaceUnlockRect, IDirect3DSurface9, UnlockRect),
    METHOD_SLOT(deviceGetRenderTargetData, IDirect3DDevice9, GetRenderTargetData),
    METHOD_SLOT(deviceBeginScene, IDirect3DDevice9, BeginScene),
    METHOD_SLOT(deviceEndScene, IDirect3DDevice9, EndScene),
    METHOD_SLOT(deviceDrawPrimitive, IDirect3DDevice9, DrawPrimitive),
    METHOD_SLOT(effectSetTechnique, ID3DXEffect, SetTechnique),
    METHOD_SLOT(effectBegin, ID3DXEffect, Begin),
    METHOD_SLOT(effectBeginPass, ID3DXEffect, BeginPass),
    METHOD_SLOT(queryGetData, IDirect3DQuery9, GetData),
    METHOD_SLOT(queryIssue, IDirect3DQuery9, Issue),
};

}  // namespace

void FailMethodAfter(void* object, FaultableMethod method, int passingCalls, HRESULT result)
{
    FaultState& fault = faults[method];
    fault.result = result;
    fault.passingCalls = passingCalls;
    fault.calls = 0;
    void* previous = PatchPointer(VtableSlot(object, methodSlots[method].index),
                                  methodSlots[method].override);
    // Armed again in the same test: the override must not pass calls to itself.
    if (previous != methodSlots[method].override) {
        fault.original = previous;
    }
}

void FailMethod(void* object, FaultableMethod method, HRESULT result)
{
    FailMethodAfter(object, method, 0, result);
}

void* ReplaceMethod(void* object, FaultableMethod method, void* replacement)
{
    return PatchPointer(VtableSlot(object, methodSlots[method].index), replacement);
}

int FaultedCalls(FaultableMethod method)
{
    return faults[method].calls;
}
