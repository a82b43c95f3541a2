// Loading the plug-in the way a host does: the shipped kelvo.auf from the
// folder the test program runs from, through LoadLibraryW.
#pragma once

#include <string>

#include <windows.h>

#include "host_interface/host_records.h"

// Full path of a file beside the running test program.
std::wstring PathBesideProgram(const wchar_t* fileName);

// The built plug-in module and its export; the module stays loaded until
// UnloadPlugin. Fails the calling test (and returns false) when either is
// missing.
struct LoadedPlugin {
    HMODULE module = nullptr;
    FilterTable*(__cdecl* getFilterTable)() = nullptr;
};

bool LoadPlugin(LoadedPlugin* plugin);
void UnloadPlugin(LoadedPlugin* plugin);
