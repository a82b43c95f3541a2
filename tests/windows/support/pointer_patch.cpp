#include "pointer_patch.h"

#include <vector>

#include "session/error_boxes.h"

namespace {

struct PatchedPointer {
    void** where;
    void* original;
};

std::vector<PatchedPointer> patchedPointers;

}  // namespace

void WritePointer(void** where, void* value)
{
    DWORD oldProtection = 0;
    VirtualProtect(where, sizeof(void*), PAGE_READWRITE, &oldProtection);
    *where = value;
    VirtualProtect(where, sizeof(void*), oldProtection, &oldProtection);
    FlushInstructionCache(GetCurrentProcess(), where, sizeof(void*));
}

void* PatchPointer(void** where, void* replacement)
{
    void* original = *where;
    patchedPointers.push_back({where, original});
    WritePointer(where, replacement);
    return original;
}

void RestorePatchedPointers()
{
    while (!patchedPointers.empty()) {
        const PatchedPointer patch = patchedPointers.back();
        patchedPointers.pop_back();
        WritePointer(patch.where, patch.original);
    }
}

void** FindImportEntry(HMODULE module, const char* dllName, const char* functionName)
{
    void** slot = nullptr;
    return FindImportSlots(module, dllName, functionName, &slot, 1) > 0 ? slot : nullptr;
}
