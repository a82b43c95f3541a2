// The picture used when none is given: four horizontal bands of (nearly)
// equal height; row y belongs to band y * 4 / height (top to bottom):
//   0  eight full-intensity colour bars: white, yellow, cyan, green,
//      magenta, red, blue, black (bar = x * 8 / width), BT.601 full range;
//   1  grey ramp, Y from 0 at the left to 4096 at the right, Cb = Cr = 0;
//   2  chroma ramps at Y = 2048: Cb from -2048 to 2048 (Cr = 0) in the upper
//      half of the band, Cr the same way (Cb = 0) in the lower half;
//   3  fine detail in three column thirds: alternating black and white
//      columns, alternating black and white rows, a one-pixel checkerboard
//      (white where x + y is odd).
// Generated straight in host units, so it carries the full precision of the
// 4096 scale rather than that of 8-bit RGB.
#pragma once

#include "pictures/yc_frame.h"

YCFrame MakeTestPicture(int width, int height, int maxWidth);
