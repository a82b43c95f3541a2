#include "pictures/color_convert.h"

#include <cmath>

namespace {

constexpr double kr = 0.299;
constexpr double kb = 0.114;
constexpr double kg = 1.0 - kr - kb;
constexpr double scale = 4096.0;

int16_t RoundToHost(double value)
{
    return static_cast<int16_t>(std::lround(value * scale));
}

uint8_t ClampToByte(double value)
{
    double v = std::round(value * 255.0);
    if (!(v > 0.0)) {
        return 0;
    }
    return v >= 255.0 ? 255 : static_cast<uint8_t>(v);
}

}  // namespace

YCPixel YCFromRgb(uint8_t r8, uint8_t g8, uint8_t b8)
{
    return YCFromRgbUnit(r8 / 255.0, g8 / 255.0, b8 / 255.0);
}

YCPixel YCFromRgbUnit(double r, double g, double b)
{
    double y = kr * r + kg * g + kb * b;
    double cb = (b - y) / (2.0 * (1.0 - kb));
    double cr = (r - y) / (2.0 * (1.0 - kr));
    return YCPixel{RoundToHost(y), RoundToHost(cb), RoundToHost(cr)};
}

void RgbUnitFromYC(YCPixel pixel, double rgb[3])
{
    double y = pixel.y / scale;
    double cb = pixel.cb / scale;
    double cr = pixel.cr / scale;
    rgb[0] = y + 2.0 * (1.0 - kr) * cr;
    rgb[2] = y + 2.0 * (1.0 - kb) * cb;
    rgb[1] = (y - kr * rgb[0] - kb * rgb[2]) / kg;
}

void RgbFromYC(YCPixel pixel, uint8_t rgb[3])
{
    double unit[3];
    RgbUnitFromYC(pixel, unit);
    for (int c = 0; c < 3; ++c) {
        rgb[c] = ClampToByte(unit[c]);
    }
}

YCFrame FrameFromRgb(const RgbImage& image, int maxWidth)
{
    YCFrame frame = MakeFrame(image.width, image.height, maxWidth);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
            PixelAt(frame, x, y) = YCFromRgb(p[0], p[1], p[2]);
        }
    }
    return frame;
}

RgbImage RgbFromFrame(const YCFrame& frame)
{
    RgbImage image;
    image.width = frame.width;
    image.height = frame.height;
    image.rgb.resize(static_cast<size_t>(frame.width) * frame.height * 3);
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            RgbFromYC(PixelAt(frame, x, y),
                      &image.rgb[(static_cast<size_t>(y) * frame.width + x) * 3]);
        }
    }
    return image;
}
