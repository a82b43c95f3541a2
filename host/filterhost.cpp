// Development host: loads a filter plug-in of this interface the way the
// video editor does and reports what it registers.
//
//   filterhost [PLUGIN]      PLUGIN defaults to kelvo.auf beside this program
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <cwchar>
#include <string>

#include <windows.h>

#include "host_records.h"

namespace {

typedef FilterTable*(__cdecl* GetFilterTableFunction)();

std::wstring DefaultPluginPath()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"kelvo.auf";
}

// The table's strings are in the host's code page (Shift-JIS); print them as
// UTF-8 so a Linux terminal shows them.
std::string FromShiftJis(const char* text)
{
    if (text == nullptr) {
        return "(null)";
    }
    wchar_t wide[256];
    int wideLength = MultiByteToWideChar(932, 0, text, -1, wide, 256);
    if (wideLength == 0) {
        return "(unreadable)";
    }
    char utf8[1024];
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
    return length > 0 ? std::string(utf8) : std::string("(unreadable)");
}

void PrintTable(const FilterTable& table)
{
    std::printf("name:      %s\n", FromShiftJis(table.displayName).c_str());
    std::printf("info:      %s\n", FromShiftJis(table.infoText).c_str());
    std::printf("flags:     0x%08X\n", static_cast<unsigned>(table.flags));
    std::printf("tracks:    %d\n", static_cast<int>(table.trackCount));
    for (int i = 0; i < table.trackCount; ++i) {
        std::printf("  %2d %-10s %5d .. %-5d default %d\n", i,
                    FromShiftJis(table.trackNames[i]).c_str(),
                    static_cast<int>(table.trackMinimums[i]),
                    static_cast<int>(table.trackMaximums[i]),
                    static_cast<int>(table.trackDefaults[i]));
    }
    std::printf("checks:    %d\n", static_cast<int>(table.checkCount));
    for (int i = 0; i < table.checkCount; ++i) {
        std::printf("  %2d %s (default %d)\n", i, FromShiftJis(table.checkNames[i]).c_str(),
                    static_cast<int>(table.checkDefaults[i]));
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Plain line ends: the output is read on the Linux side.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc > 2 || (argc == 2 && (std::wcscmp(argv[1], L"--help") == 0 ||
                                   std::wcscmp(argv[1], L"-h") == 0))) {
        std::fprintf(stderr, "usage: filterhost [PLUGIN]\n"
                             "Loads a filter plug-in (default: kelvo.auf beside filterhost)\n"
                             "and prints the registration table it exports.\n");
        return argc > 2 ? 2 : 0;
    }
    std::wstring path = argc == 2 ? std::wstring(argv[1]) : DefaultPluginPath();

    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "filterhost: cannot load %ls (error %lu)\n", path.c_str(),
                     GetLastError());
        return 1;
    }
    auto getFilterTable = reinterpret_cast<GetFilterTableFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "GetFilterTable")));
    if (getFilterTable == nullptr) {
        std::fprintf(stderr, "filterhost: %ls does not export GetFilterTable\n", path.c_str());
        FreeLibrary(module);
        return 1;
    }
    const FilterTable* table = getFilterTable();
    if (table == nullptr) {
        std::fprintf(stderr, "filterhost: GetFilterTable returned null\n");
        FreeLibrary(module);
        return 1;
    }
    std::printf("plugin:    %ls\n", path.c_str());
    PrintTable(*table);
    FreeLibrary(module);
    return 0;
}
