// Names between the Windows side and the Unix side under Wine, whose
// kernel32 converts them (wine_get_unix_file_name, wine_get_dos_file_name);
// on Windows itself there is no Unix side, and the conversions say so.
#pragma once

#ifdef _WIN32

#include <string>

// `path` made absolute as Windows would open it.
std::wstring FullWindowsPath(const std::wstring& path);

// Where a Windows path is on the Unix side; false without Wine.
bool UnixPathOf(const std::wstring& windowsPath, std::string* unixPath);

// The Windows name of a Unix path; false without Wine.
bool WindowsPathOf(const char* unixPath, std::wstring* windowsPath);

#endif
