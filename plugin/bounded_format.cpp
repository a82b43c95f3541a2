#include "bounded_format.h"

#include <cstdarg>
#include <stdio.h>

// _vsnwprintf is the system C runtime's own formatter. The toolchain maps the
// unprefixed names (vswprintf and friends) to its C99 implementation instead,
// which reads %s in a wide format as a narrow string and writes two-digit
// exponents; the debug window's text depends on the runtime's conventions.

HRESULT BoundedFormat(wchar_t* destination, size_t capacity, const wchar_t* format, ...)
{
    if (capacity == 0 || capacity > 2147483647u) {
        return boundedFormatInvalidArgument;
    }
    va_list arguments;
    va_start(arguments, format);
    const size_t limit = capacity - 1;
    const int written = _vsnwprintf(destination, limit, format, arguments);
    va_end(arguments);
    if (written < 0 || static_cast<size_t>(written) > limit) {
        destination[limit] = L'\0';
        return boundedFormatInsufficientBuffer;
    }
    if (static_cast<size_t>(written) == limit) {
        destination[limit] = L'\0';
    }
    return S_OK;
}
