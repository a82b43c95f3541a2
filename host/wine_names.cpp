#include "wine_names.h"

#ifdef _WIN32

#include <vector>

#include <windows.h>

namespace {

// Both are cdecl exports of Wine's kernel32; their results are freed with
// HeapFree on the process heap.
void* Kernel32Export(const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

}  // namespace

std::wstring FullWindowsPath(const std::wstring& path)
{
    const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::vector<wchar_t> full(length);
    if (GetFullPathNameW(path.c_str(), length, full.data(), nullptr) == 0) return path;
    return full.data();
}

bool UnixPathOf(const std::wstring& windowsPath, std::string* unixPath)
{
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(Kernel32Export("wine_get_unix_file_name"));
    char* name = toUnix != nullptr ? toUnix(windowsPath.c_str()) : nullptr;
    if (name == nullptr) return false;
    *unixPath = name;
    HeapFree(GetProcessHeap(), 0, name);
    return true;
}

bool WindowsPathOf(const char* unixPath, std::wstring* windowsPath)
{
    using ToDos = wchar_t*(__cdecl*)(const char*);
    const auto toDos = reinterpret_cast<ToDos>(Kernel32Export("wine_get_dos_file_name"));
    wchar_t* name = toDos != nullptr ? toDos(unixPath) : nullptr;
    if (name == nullptr) return false;
    *windowsPath = name;
    HeapFree(GetProcessHeap(), 0, name);
    return true;
}

#endif
