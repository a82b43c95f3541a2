// Bounded wide-character formatting with the contract of the platform's
// StringCchPrintfW: the destination is always terminated when the capacity is
// valid, and a text that does not fit is cut off rather than lost.
#pragma once

#include <cstddef>

#include <windows.h>

constexpr HRESULT boundedFormatInvalidArgument = static_cast<HRESULT>(0x80070057);
constexpr HRESULT boundedFormatInsufficientBuffer = static_cast<HRESULT>(0x8007007A);

// Formats with the C runtime's wide formatter, whose conventions the text
// relies on: %s takes a wide string, and %E writes a three-digit exponent.
HRESULT BoundedFormat(wchar_t* destination, size_t capacity, const wchar_t* format, ...);
