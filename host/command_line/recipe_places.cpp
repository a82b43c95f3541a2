#include "command_line/recipe_places.h"

#include <vector>

#include <windows.h>

#include "wide_text.h"
#include "wine_names.h"

namespace {

// The folder `levels` steps up from `path`, without a trailing backslash;
// empty when there are not that many.
std::wstring FolderUp(const std::wstring& path, int levels)
{
    std::wstring folder = path;
    for (int i = 0; i < levels; ++i) {
        const size_t slash = folder.find_last_of(L"\\/");
        if (slash == std::wstring::npos) return std::wstring();
        folder.erase(slash);
    }
    return folder;
}

}  // namespace

std::string UnixPathOf(const std::wstring& windowsPath)
{
    std::string unixPath;
    return UnixPathOf(windowsPath, &unixPath) ? unixPath : Utf8FromWide(windowsPath.c_str());
}

RecipePlaces HostRecipePlaces()
{
    RecipePlaces places;
    std::vector<wchar_t> module(MAX_PATH);
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, module.data(),
                                        static_cast<DWORD>(module.size()))) == module.size()) {
        module.resize(module.size() * 2);
    }
    const std::wstring program(module.data(), length);
    const std::wstring script = FolderUp(program, 4) + L"\\scripts\\run";
    const DWORD attributes = GetFileAttributesW(script.c_str());
    if (!FolderUp(program, 4).empty() && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        places.runCommand = {UnixPathOf(script)};
    } else {
        places.runCommand = {"wine", UnixPathOf(program)};
    }
    places.fullPath = [](const std::string& path) {
        return UnixPathOf(FullWindowsPath(WideFromUtf8(path)));
    };
    return places;
}
