// Replacing single function pointers in loaded modules for the length of one
// test: import-table entries of the module under test and method slots of
// Direct3D and D3DX vtables. Both live in read-only pages; the patch lifts
// the protection for the one write.
#pragma once

#include <windows.h>

// Writes replacement into *where and remembers the old value until
// RestorePatchedPointers. Returns the old value.
void* PatchPointer(void** where, void* replacement);

// Puts back every remembered pointer, the latest first.
void RestorePatchedPointers();

// Writes without remembering: for hooks that stay for the whole program.
void WritePointer(void** where, void* value);

// The first import-table entry through which module calls
// dllName!functionName (FindImportSlots of the host), or null.
void** FindImportEntry(HMODULE module, const char* dllName, const char* functionName);

// The entry of a vtable slot of a COM object.
inline void** VtableSlot(void* object, size_t index)
{
    return *static_cast<void***>(object) + index;
}
