// A frame as the host lends it to the plug-in: `height` rows of `maxWidth`
// pixels, of which the first `width` of each row are the picture. The rest of
// each row belongs to the host; it is filled with a fixed pattern so that a
// plug-in that writes past the width can be caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host_interface/yc_pixel.h"

struct YCFrame {
    int width = 0;
    int height = 0;
    int maxWidth = 0;
    std::vector<YCPixel> pixels;  // maxWidth * height, row after row
};

// Unlikely to be produced by any correction, and different in every field.
constexpr YCPixel paddingPattern = {0x2BAD, -0x1BAD, 0x0BAD};

inline bool SamePixel(YCPixel a, YCPixel b)
{
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

inline YCPixel& PixelAt(YCFrame& frame, int x, int y)
{
    return frame.pixels[static_cast<size_t>(y) * frame.maxWidth + x];
}

inline const YCPixel& PixelAt(const YCFrame& frame, int x, int y)
{
    return frame.pixels[static_cast<size_t>(y) * frame.maxWidth + x];
}

// A frame of the given size, picture pixels zero, padding filled.
inline YCFrame MakeFrame(int width, int height, int maxWidth)
{
    YCFrame frame;
    frame.width = width;
    frame.height = height;
    frame.maxWidth = maxWidth;
    frame.pixels.assign(static_cast<size_t>(maxWidth) * height, YCPixel{0, 0, 0});
    for (int y = 0; y < height; ++y) {
        for (int x = width; x < maxWidth; ++x) {
            PixelAt(frame, x, y) = paddingPattern;
        }
    }
    return frame;
}

// Whether the pixels past the width still hold the padding pattern.
inline bool PaddingIntact(const YCFrame& frame)
{
    for (int y = 0; y < frame.height; ++y) {
        for (int x = frame.width; x < frame.maxWidth; ++x) {
            if (!SamePixel(PixelAt(frame, x, y), paddingPattern)) {
                return false;
            }
        }
    }
    return true;
}
