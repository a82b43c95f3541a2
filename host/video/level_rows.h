// Rows of stream codes to the host's pixels and back, eight pixels at a time
// (SSE2), for whole frames.
//
// In BT.601 the channels stay apart and are converted by integer
// multiply-adds whose results are exactly those of HostFromCode and
// CodeFromHost (video_levels.h). Lookup tables would give the same, but at
// 16 bits each is 128 KB, looked up at random, and between two plug-in
// frames they fall out of the cache; the arithmetic needs no memory besides
// the frame's own, and moves Y, Cb and Cr between planes and pixels in
// registers.
//
// In BT.709 each pixel goes through a 3x3 map in single precision. Its sums
// are off the exact ones by a few roundings of 2^-24 of the terms' sizes,
// thousandths of a host unit or code for any ordinary pixel, so they round
// otherwise than HostFromCodes and CodesFromHost only where the exact value
// is that close to halfway between two integers.
#pragma once

#include <cstdint>

#include "host_interface/yc_pixel.h"
#include "video/video_levels.h"

// Code to host, on the code's distance from the offset d = |code - offset|
// so that halves round away from zero on both sides as lround does:
//   host = +-((d * mulHigh + (d * mulLow >> 16) + add) >> shift)
// mulHigh:mulLow is 4096 / codesPerUnit * 2^shift in 16.16 fixed point,
// rounded up, and `add` is one half plus one step of 2^-shift, which makes
// up for the low bits of d * mulLow dropped: the sum lands above the exact
// value plus one half, by less than two steps. That never reaches the next
// integer, whose distance is at least 2^shift / (2 codesPerUnit) steps: 4
// or more at the finest shift for which the sum fits 32 bits.
struct CodeToHostSteps {
    uint16_t offset = 0;
    uint16_t maxCode = 0;  // larger words (10 and 12 bits) are taken as this
    uint16_t mulHigh = 0;
    uint16_t mulLow = 0;
    uint32_t add = 0;
    int shift = 0;
};

// Host to code: code = clamp((host * codesPerUnit + offset * 4096 + 2048) >> 12)
// which is CodeFromHost's sum without rounding in between. The host value
// is first held to -8192..8191 (every depth's codes are at their ends well
// inside that) and moved to 0..16383 for an unsigned 16-bit multiply; `add`
// takes that move back and also moves the result down by 32768, so that
// SSE2's signed saturating pack clamps to the codes 0..65535.
struct HostToCodeSteps {
    uint16_t mul = 0;  // codesPerUnit
    int32_t add = 0;
    int16_t maxBiased = 0;  // maxCode - 32768
};

// A matrix other than the host's, by rows Y, Cb, Cr, on the codes'
// distances from their offsets, which are whole and taken off and put back
// as integers so that the floats hold no more than the distances:
//   host = round(toHost x (code - offset))
//   code = clamp(round(toCode x host) + offset)
struct MatrixSteps {
    int32_t offset[3] = {};
    float toHost[3][3] = {};
    float toCode[3][3] = {};
};

struct RowLevels {
    int depth = 8;
    VideoRange range = VideoRange::limited;
    VideoMatrix matrix = VideoMatrix::bt601;
    CodeToHostSteps lumaIn;  // maxCode is also the matrix's
    CodeToHostSteps chromaIn;
    HostToCodeSteps lumaOut;  // maxBiased is also the matrix's
    HostToCodeSteps chromaOut;
    MatrixSteps matrixSteps;  // bt709 only
};

RowLevels MakeRowLevels(int depth, VideoRange range, VideoMatrix matrix = VideoMatrix::bt601);

// One row of a frame: `width` samples from each of the planes Y, Cb and Cr
// (bytes at 8 bits, otherwise little-endian words, at any address) to the
// host's pixels, and back.
void PixelsFromPlanes(const uint8_t* const planes[3], int width, const RowLevels& levels,
                      YCPixel* pixels);
void PlanesFromPixels(const YCPixel* pixels, int width, const RowLevels& levels,
                      uint8_t* const planes[3]);
