#include "run_ledger.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#ifdef _WIN32
#include <windows.h>

#include "wide_text.h"
#endif

namespace {

std::mutex ledgerLock;

#ifdef _WIN32

// Wine's own conversions between Unix and Windows names (kernel32 exports
// them under Wine only; elsewhere names pass unchanged).
using ToDos = WCHAR*(CDECL*)(const char*);
using ToUnix = char*(CDECL*)(const WCHAR*);

// Both are cdecl under Wine.
void* WineFunction(const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

std::wstring DosName(const char* unixName)
{
    auto toDos = reinterpret_cast<ToDos>(WineFunction("wine_get_dos_file_name"));
    if (toDos == nullptr) return WideFromUtf8(unixName);
    WCHAR* dos = toDos(unixName);
    if (dos == nullptr) return WideFromUtf8(unixName);
    std::wstring name = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return name;
}

std::string UnixName(const std::string& path)
{
    const std::wstring wide = WideFromUtf8(path);
    const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), length, &full[0], nullptr));
    auto toUnix = reinterpret_cast<ToUnix>(WineFunction("wine_get_unix_file_name"));
    if (toUnix == nullptr) return Utf8FromWide(full.c_str());
    char* unixName = toUnix(full.c_str());
    if (unixName == nullptr) return path;
    std::string name = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return name;
}

HANDLE OpenLedger()
{
    const char* named = std::getenv("KELVO_RUN_LEDGER");
    if (named == nullptr || *named == '\0') return INVALID_HANDLE_VALUE;
    return CreateFileW(DosName(named).c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void Append(const std::string& line)
{
    static const HANDLE ledger = OpenLedger();
    if (ledger == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(ledger, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

#else

std::string UnixName(const std::string& path)
{
    return path;
}

void Append(const std::string& line)
{
    static std::FILE* ledger = [] {
        const char* named = std::getenv("KELVO_RUN_LEDGER");
        return named != nullptr && *named != '\0' ? std::fopen(named, "a") : nullptr;
    }();
    if (ledger == nullptr) return;
    std::fputs(line.c_str(), ledger);
    std::fflush(ledger);
}

#endif

}  // namespace

void LedgerLine(const std::string& line)
{
    std::lock_guard<std::mutex> hold(ledgerLock);
    Append(line + "\n");
}

void LedgerFileBegun(const std::string& temporary, const std::string& path)
{
    if (std::getenv("KELVO_RUN_LEDGER") == nullptr) return;
    LedgerLine("begun\t" + temporary + "\t" + UnixName(temporary) + "\t" + UnixName(path));
}

void LedgerWholeFrames(const std::string& temporary, int64_t bytes, int64_t frames)
{
    LedgerLine("whole\t" + temporary + "\t" + std::to_string(bytes) + "\t" +
               std::to_string(frames));
}

void LedgerFileDone(const std::string& temporary)
{
    LedgerLine("done\t" + temporary);
}
