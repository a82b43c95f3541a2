#include "process_counts.h"

#include <cstdint>

#include <psapi.h>
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
    MODULEINFO info = {};
    if (query == nullptr ||
        !GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info)) {
        return 0;
    }
    const uintptr_t begin = reinterpret_cast<uintptr_t>(info.lpBaseOfDll);
    const ModuleRange range = {query, begin, begin + info.SizeOfImage};
    return CountThreadsOfThisProcess(StartsIn, &range);
}
