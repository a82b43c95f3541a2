// Sample codes of a video stream and the host's YCbCr (white = Y 4096, Cb
// and Cr +-2048 for +-0.5), by the levels of H.273 for a depth of 8 to 16
// bits:
//   limited  Y = (16 + 219 E'Y) 2^(n-8)     C = (128 + 224 E'C) 2^(n-8)
//   full     Y = (2^n - 1) E'Y              C = 2^(n-1) + (2^n - 1) E'C
// E'Y runs over 0..1 and E'C over -0.5..0.5; host value = E' x 4096.
//
// Both directions round to the nearest step. In BT.601 a code comes back
// from the host exactly when a host unit is finer than a code (8, 10 and
// 12 bits); at 16 bits a host unit spans 13.7 (limited luma), 14 (limited
// chroma) or 16 (full) codes, so a code comes back within half of that,
// rounded: 7 codes limited, 8 full.
//
// The host's colours are those of BT.601. A stream in BT.709 is taken to
// RGB by its own matrix and from there to the host's BT.601, and back on
// the way out. Nothing is clipped in RGB, so each direction is one linear
// map of (E'Y, E'Pb, E'Pr) and only rounding stands between a code and its
// way back; but each host value carries the rounding of all three codes,
// and each code that of all three host values. A code moves by at most
// half a host unit, in codes, times 1.33 for Y, 1.13 for Cb and 1.10 for Cr
// (the sums of the magnitudes of the map back's rows), rounded, and that
// much is reached. Measured through the rows of level_rows.h over every
// code triple up to 12 bits, and at 16 over every Cb and Cr (which Y does
// not touch) and every Y with the pairs that push Y furthest:
//   8 and 10 bits     exactly
//   12 bits limited   Y within 1 code, Cb and Cr exactly
//   12 bits full      within 1 code
//   16 bits limited   Y within 9 codes, Cb and Cr 8
//   16 bits full      Y within 11 codes, Cb and Cr 9
#pragma once

#include <cstdint>

#include "host_interface/yc_pixel.h"
#include "level_kinds.h"

// code = offset + codesPerUnit * E'
struct Levels {
    double offset;
    double codesPerUnit;
    int maxCode;  // 2^depth - 1
};

// What players take a stream without a stated matrix to be: BT.709 for
// frames of 1280x720 and larger (width >= 1280 or height >= 720), BT.601
// below.
VideoMatrix MatrixForFrameSize(int width, int height);

Levels LumaLevels(int depth, VideoRange range);
Levels ChromaLevels(int depth, VideoRange range);

int16_t HostFromCode(int code, const Levels& levels);
// Clamped to 0..maxCode: the plug-in may return anything a host pixel holds.
uint16_t CodeFromHost(int16_t host, const Levels& levels);

// The linear map between a stream's (E'Y, E'Pb, E'Pr) in its own matrix and
// the host's BT.601 ones, by rows: host = toHost x stream and
// stream = toStream x host. Worked out once from the matrices' Kr and Kb.
struct MatrixMap {
    double toHost[3][3];
    double toStream[3][3];
};

const MatrixMap& MapOfMatrix(VideoMatrix matrix);

// One pixel's conversion in double precision, the reference the rows of
// level_rows.h are held to: the stream's codes Y, Cb, Cr (0..2^depth - 1,
// in its own matrix) to the host's BT.601 pixel, rounded to nearest and
// clamped to int16; and back, rounded and clamped to 0..2^depth - 1. With
// bt601 these are HostFromCode and CodeFromHost channel by channel.
YCPixel HostFromCodes(const int codes[3], int depth, VideoRange range, VideoMatrix matrix);
void CodesFromHost(const YCPixel& host, int depth, VideoRange range, VideoMatrix matrix,
                   uint16_t codes[3]);
