// Host pixels for GPU tests: the whole signed 16-bit range of Y, Cb and Cr.
#pragma once

#include <vector>

#include "effect/correction_reference.h"

// `count` pixels: the extremes, the nominal limits and their neighbours and
// the integer encodings' edge values first, then a fixed pseudo-random mix of
// nominal and arbitrary values.
std::vector<YCTriple> RangeCoveringPixels(int count);
