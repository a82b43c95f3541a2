// Following the Direct3D object and device that the code under test makes,
// and the test's own Direct3D objects to arm faults through.
//
// While tracking, the first IDirect3D9 the module gets from Direct3DCreate9
// and the first device made from it are each held with one extra reference
// by the test. Dropping that reference at the end tells whether the code
// under test let go of everything: the device is held by every object made
// on it and the Direct3D object by the device, so the test's Release must be
// the last.
#pragma once

#include <d3d9.h>

// Redirects module's Direct3DCreate9 import and the CreateDevice slot until
// RestorePatchedPointers. Forgets earlier tracked objects (release them first).
void StartDirect3DTracking(HMODULE module);

// From now on the module's Direct3DCreate9 returns null, as on a system
// without Direct3D 9.
void FailDirect3DCreate9();

IDirect3D9* TrackedDirect3D();
IDirect3DDevice9* TrackedDevice();
// The behaviour flags and focus window the tracked device was created with.
DWORD TrackedDeviceBehaviourFlags();
HWND TrackedDeviceFocusWindow();

// Drop the test's reference and return the count left; 0 when nothing is
// tracked. The device must go first: it holds the Direct3D object.
ULONG ReleaseTrackedDevice();
ULONG ReleaseTrackedDirect3D();

// A hidden window of the test, standing in for the host's settings window.
HWND TestWindow();

// The test's own Direct3D object and device, made once for the program (the
// device with the FPU preserved and on a window of its own). Through them a
// test arms faults on the classes before the code under test makes its own.
IDirect3D9* ReferenceDirect3D();
IDirect3DDevice9* ReferenceDevice();
