#include "plugin_module.h"

#include <gtest/gtest.h>

std::wstring PathBesideProgram(const wchar_t* fileName)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + fileName;
}

bool LoadPlugin(LoadedPlugin* plugin)
{
    *plugin = {};
    plugin->module = LoadLibraryW(PathBesideProgram(L"kelvo.auf").c_str());
    if (plugin->module == nullptr) {
        ADD_FAILURE() << "LoadLibraryW(kelvo.auf) failed, error " << GetLastError();
        return false;
    }
    plugin->getFilterTable = reinterpret_cast<FilterTable*(__cdecl*)()>(
        reinterpret_cast<void*>(GetProcAddress(plugin->module, "GetFilterTable")));
    if (plugin->getFilterTable == nullptr) {
        ADD_FAILURE() << "kelvo.auf does not export GetFilterTable";
        return false;
    }
    return true;
}

void UnloadPlugin(LoadedPlugin* plugin)
{
    if (plugin->module != nullptr) {
        FreeLibrary(plugin->module);
    }
    *plugin = {};
}
