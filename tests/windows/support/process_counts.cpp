#include "process_counts.h"

#include <cstdint>

#include <tlhelp32.h>

namespace {

// The threads of this process that `counts` accepts (every one when null).
DWORD CountThreadsOfThisProcess(bool (*counts)(DWORD threadId, const void* context),
                                const void* context)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    DWORD count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId() &&
            (counts == nullptr || counts(entry.th32ThreadID, context))) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

struct ModuleRange {
    QueryThread query;  // ntdll's NtQueryInformationThread
    uintptr_t begin;
    uintptr_t end;
};

bool StartsIn(DWORD threadId, const void* context)
{
    const ModuleRange& range = *static_cast<const ModuleRange*>(context);
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (thread == nullptr) return false;
    uintptr_t start = 0;
    const int startAddressClass = 9;  // ThreadQuerySetWin32StartAddress
    const bool inside = range.query(thread, startAddressClass, &start, sizeof start, nullptr) ==
                            0 &&
                        start >= range.begin && start < range.end;
    CloseHandle(thread);
    return inside;
}

}  // namespace

DWORD OpenHandleCount()
{
    DWORD count = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

DWORD ThreadCountOfThisProcess()
{
    return CountThreadsOfThisProcess(nullptr, nullptr);
}

DWORD ThreadsStartedIn(HMODULE module)
{
    const auto query = reinterpret_cast<QueryThread>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    // The module's extent from its own headers, read in place
    // (GetModuleInformation has Wine's server read this process's memory,
    // which fails under an i386 emulator), once the loader says it is loaded.
    wchar_t name[MAX_PATH];
    if (query == nullptr || GetModuleFileNameW(module, name, MAX_PATH) == 0) {
        return 0;
    }
    const auto* image = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const uintptr_t begin = reinterpret_cast<uintptr_t>(image);
    const ModuleRange range = {query, begin, begin + nt->OptionalHeader.SizeOfImage};
    return CountThreadsOfThisProcess(StartsIn, &range);
}
