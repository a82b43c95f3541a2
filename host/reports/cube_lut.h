// The grade as a 3D LUT in the Adobe/Resolve .cube format: RGB in, RGB out,
// both 0..1. The LUT is made by the plug-in itself: every lattice point's
// colour goes into one host frame (BT.601 full range, as pictures do), the
// plug-in corrects that frame, and the corrected pixels, turned back into
// RGB, are the table. So the table is what the plug-in does in the chosen
// format, not a second model of it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pictures/yc_frame.h"

constexpr int defaultCubeSize = 33;
constexpr int smallestCubeSize = 2;
constexpr int largestCubeSize = 256;  // 256^3 points fill a 4096x4096 frame

// size^3 lattice points, red fastest, then green, then blue (the order of
// the .cube data lines), point i at (i % width, i / width) in rows of up to
// 4096 pixels; pixels past the last point are black.
YCFrame MakeLatticeFrame(int size);

struct CubeSummary {
    int64_t points = 0;
    // Points with a channel outside 0..1 by more than rounding to host
    // units can account for (3 units, 0.0007), and the furthest outside.
    int64_t clipped = 0;
    double largestExcess = 0;
};

CubeSummary SummariseCube(const YCFrame& corrected, int size);

// The .cube file from the corrected lattice frame: TITLE, the `comments`
// (one '#' line each), a comment with the clipped count, LUT_3D_SIZE and
// the points, each channel clipped to 0..1, six decimals. Written as it
// goes: a 256-point cube is 450 MB of text. False when a write fails,
// with errno as WriteAll (picture_io.h) sets it, or when `stopRequest`
// names one between two writes (errno EINTR).
bool WriteCube(std::FILE* file, const YCFrame& corrected, int size, const std::string& title,
               const std::vector<std::string>& comments, const char* (*stopRequest)() = nullptr);
