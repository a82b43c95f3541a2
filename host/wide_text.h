// UTF-8, the host's text, and the UTF-16 of Windows' wide calls (paths,
// the plug-in's boxes and lines, the command line).
#pragma once

#include <string>

#include <windows.h>

// Empty for null or empty text.
inline std::string Utf8FromWide(const wchar_t* text)
{
    if (text == nullptr) return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length) - 1);
    return utf8;
}

// Empty for text that is not UTF-8.
inline std::wstring WideFromUtf8(const std::string& text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length) - 1);
    return wide;
}
