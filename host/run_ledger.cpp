#include "run_ledger.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#ifdef _WIN32
#include <windows.h>

#include "wide_text.h"
#include "wine_names.h"
#endif

namespace {

std::mutex ledgerLock;

#ifdef _WIN32

std::string UnixName(const std::string& path)
{
    std::string unixPath;
    const std::wstring full = FullWindowsPath(WideFromUtf8(path));
    return UnixPathOf(full, &unixPath) ? unixPath : Utf8FromWide(full.c_str());
}

HANDLE OpenLedger()
{
    const char* named = std::getenv("KELVO_RUN_LEDGER");
    if (named == nullptr || *named == '\0') return INVALID_HANDLE_VALUE;
    std::wstring windowsName = WideFromUtf8(named);
    WindowsPathOf(named, &windowsName);
    return CreateFileW(windowsName.c_str(), FILE_APPEND_DATA,
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

bool LedgerKept()
{
    static const bool kept = [] {
        const char* named = std::getenv("KELVO_RUN_LEDGER");
        return named != nullptr && *named != '\0';
    }();
    return kept;
}

void LedgerLine(const std::string& line)
{
    if (!LedgerKept()) return;
    std::lock_guard<std::mutex> hold(ledgerLock);
    Append(line + "\n");
}

void LedgerFileBegun(const std::string& temporary, const std::string& path)
{
    if (!LedgerKept()) return;
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
