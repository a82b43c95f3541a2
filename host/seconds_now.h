// The performance counter in seconds: the clock of filterhost's own timings
// and of the Windows-side benchmarks.
#pragma once

#include <windows.h>

inline double SecondsNow()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}
