#include "session/error_boxes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "wide_text.h"

namespace {

ErrorBoxHandler boxHandler = EchoErrorBox;
DebuggerLineHandler lineHandler = EchoDebuggerLine;

int WINAPI CapturingMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    boxHandler(CapturedErrorBox{Utf8FromWide(caption), Utf8FromWide(text), type, owner});
    return IDOK;
}

void WINAPI CapturingOutputDebugStringW(LPCWSTR text)
{
    std::string line = Utf8FromWide(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    lineHandler(line);
}

void SetImportSlot(DWORD* slot, DWORD value)
{
    DWORD oldProtection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtection);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, oldProtection, &oldProtection);
}

}  // namespace

void EchoErrorBox(const CapturedErrorBox& box)
{
    std::fprintf(stderr, "filterhost: error box \"%s\": %s\n", box.caption.c_str(),
                 box.text.c_str());
    std::fflush(stderr);
}

int FindImportSlots(HMODULE module, const char* dll, const char* function, void** slots[],
                    int capacity)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    HMODULE exporter = GetModuleHandleA(dll);
    const DWORD realAddress =
        exporter == nullptr
            ? 0
            : static_cast<DWORD>(reinterpret_cast<uintptr_t>(GetProcAddress(exporter, function)));
    int found = 0;
    if (imports.VirtualAddress == 0) return 0;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name != 0; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->FirstThunk);
        auto* names = d->OriginalFirstThunk != 0
                          ? reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->OriginalFirstThunk)
                          : nullptr;
        for (int i = 0; addresses[i].u1.Function != 0; ++i) {
            bool match = realAddress != 0 && addresses[i].u1.Function == realAddress;
            if (names != nullptr && !IMAGE_SNAP_BY_ORDINAL32(names[i].u1.Ordinal)) {
                auto* byName =
                    reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
                match = match ||
                        std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0;
            }
            if (match) {
                if (found < capacity) {
                    slots[found] = reinterpret_cast<void**>(&addresses[i].u1.Function);
                }
                ++found;
            }
        }
    }
    return found;
}

namespace {

// Points every slot of `module`'s import table that holds `dll`'s
// `function` at `replacement`; the number of slots changed.
int PatchImport(HMODULE module, const char* dll, const char* function, const void* replacement)
{
    void** slots[8];
    const int found = std::min(FindImportSlots(module, dll, function, slots, 8), 8);
    for (int i = 0; i < found; ++i) {
        SetImportSlot(reinterpret_cast<DWORD*>(slots[i]),
                      static_cast<DWORD>(reinterpret_cast<uintptr_t>(replacement)));
    }
    return found;
}

}  // namespace

bool CaptureErrorBoxes(HMODULE module, ErrorBoxHandler handler, std::string* error)
{
    boxHandler = handler;
    if (PatchImport(module, "user32.dll", "MessageBoxW",
                    reinterpret_cast<const void*>(&CapturingMessageBoxW)) == 0) {
        *error = "the module does not import MessageBoxW from user32.dll";
        return false;
    }
    return true;
}

void EchoDebuggerLine(const std::string& line)
{
    std::fprintf(stderr, "filterhost: plug-in: %s\n", line.c_str());
    std::fflush(stderr);
}

bool CaptureDebuggerLines(HMODULE module, DebuggerLineHandler handler)
{
    lineHandler = handler;
    return PatchImport(module, "kernel32.dll", "OutputDebugStringW",
                       reinterpret_cast<const void*>(&CapturingOutputDebugStringW)) > 0;
}
