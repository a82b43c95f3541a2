// RGB pictures to and from the host's pixels. The host, not the plug-in,
// decides how pictures become YCbCr; this one uses ITU-R BT.601 full range
// on the host's scale of 4096 steps per unit:
//   Y  =  0.299 R + 0.587 G + 0.114 B            (R = G = B = 1 gives 4096)
//   Cb = (B - Y) / 1.772,  Cr = (R - Y) / 1.402  (+-0.5 gives +-2048)
// with R, G, B = 8-bit value / 255, rounded to the nearest host unit.
#pragma once

#include <cstdint>
#include <vector>

#include "pictures/yc_frame.h"

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // R, G, B per pixel, rows top to bottom
};

YCPixel YCFromRgb(uint8_t r, uint8_t g, uint8_t b);
// The same for R, G, B on 0..1 (the lattice of a 3D LUT).
YCPixel YCFromRgbUnit(double r, double g, double b);

// Values outside the RGB cube (any host pixel may be out of range) are
// clamped to 0..255 per channel.
void RgbFromYC(YCPixel pixel, uint8_t rgb[3]);
// The same on 0..1, neither rounded nor clamped.
void RgbUnitFromYC(YCPixel pixel, double rgb[3]);

YCFrame FrameFromRgb(const RgbImage& image, int maxWidth);
RgbImage RgbFromFrame(const YCFrame& frame);
