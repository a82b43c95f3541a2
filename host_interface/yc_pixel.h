// The host's pixel: signed 16-bit Y, Cb and Cr on a scale of 4096 steps per
// unit (Y nominally 0..4096, Cb and Cr nominally -2048..2048). Frames arrive
// as rows of these, packed back to back with no padding.
#pragma once

#include <cstdint>

struct YCPixel {
    int16_t y;
    int16_t cb;
    int16_t cr;
};

static_assert(sizeof(YCPixel) == 6, "YCPixel is 6 bytes");
static_assert(alignof(YCPixel) == 2, "YCPixel packs back to back");
