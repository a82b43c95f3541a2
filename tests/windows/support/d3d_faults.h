// Making single Direct3D 9 and D3DX methods fail on the real objects.
//
// A method is overridden in its class's vtable, which every object of that
// class shares: arming a fault through any object (one the test made itself
// before the code under test has made its own, say) reaches the objects the
// code under test makes. Overrides last until RestorePatchedPointers.
#pragma once

#include <windows.h>

#include "pointer_patch.h"

// The methods a test can make fail, named after interface and method.
enum FaultableMethod {
    direct3dGetDeviceCaps,
    direct3dCheckDeviceFormat,
    direct3dCreateDevice,
    deviceTestCooperativeLevel,
    deviceReset,
    deviceGetDisplayMode,
    deviceCreateTexture,
    deviceCreateVertexBuffer,
    deviceCreateRenderTarget,
    deviceCreateOffscreenPlainSurface,
    deviceCreateVertexDeclaration,
    deviceCreateQuery,
    vertexBufferLock,
    vertexBufferUnlock,
    effectSetTexture,
    effectSetVector,
    effectSetValue,
    effectOnLostDevice,
    effectOnResetDevice,
    textureGetSurfaceLevel,
    surfaceLockRect,
    surfaceUnlockRect,
    deviceGetRenderTargetData,
    deviceBeginScene,
    deviceEndScene,
    deviceDrawPrimitive,
    effectSetTechnique,
    effectBegin,
    effectBeginPass,
    queryGetData,
    queryIssue,
    faultableMethodCount
};

// Every later call of method on objects of object's class returns result
// and does nothing else (out-pointers are left alone). Armed after INT_MAX
// passing calls, a method is only counted.
void FailMethod(void* object, FaultableMethod method, HRESULT result);

// The same for a result that is not a failure: the method answers result
// without doing anything.
inline void MakeMethodReturn(void* object, FaultableMethod method, HRESULT result)
{
    FailMethod(object, method, result);
}

// The same, but the first passingCalls calls still reach the real method.
void FailMethodAfter(void* object, FaultableMethod method, int passingCalls, HRESULT result);

// Puts replacement into the method's slot and returns the function it
// replaced, so the replacement can pass calls on. The replacement must have
// the method's exact stdcall signature, the object pointer first.
void* ReplaceMethod(void* object, FaultableMethod method, void* replacement);

// How often a method was called through its failing override since it was
// armed (passing calls included).
int FaultedCalls(FaultableMethod method);
