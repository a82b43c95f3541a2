#include "pointer_patch.h"

#include <cstring>
#include <vector>

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
    auto base = reinterpret_cast<unsigned char*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) {
        return nullptr;
    }
    auto descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dllName) != 0) {
            continue;
        }
        // The name table stays as linked; the address table holds the
        // bound addresses that calls go through.
        auto names = reinterpret_cast<IMAGE_THUNK_DATA32*>(
            base + (descriptor->OriginalFirstThunk != 0 ? descriptor->OriginalFirstThunk
                                                        : descriptor->FirstThunk));
        auto addresses = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) {
                continue;
            }
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), functionName) == 0) {
                return reinterpret_cast<void**>(&addresses->u1.Function);
            }
        }
    }
    return nullptr;
}
