#include "pictures/test_picture.h"

#include "pictures/color_convert.h"

namespace {

constexpr int16_t white = 4096;
constexpr int16_t halfRange = 2048;

// Position x of 0..width-1 spread over lo..hi, ends included.
int16_t Ramp(int x, int width, int lo, int hi)
{
    if (width <= 1) {
        return static_cast<int16_t>((lo + hi) / 2);
    }
    long long span = hi - lo;
    long long twice = 2 * span * x / (width - 1);  // round half away from zero
    return static_cast<int16_t>(lo + (twice >= 0 ? (twice + 1) / 2 : (twice - 1) / 2));
}

YCPixel Bar(int x, int width)
{
    static const uint8_t bars[8][3] = {
        {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
        {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0},
    };
    const uint8_t* c = bars[static_cast<long long>(x) * 8 / width];
    return YCFromRgb(c[0], c[1], c[2]);
}

YCPixel Detail(int x, int y, int width)
{
    int third = static_cast<int>(static_cast<long long>(x) * 3 / width);
    bool on = third == 0 ? (x & 1) != 0 : third == 1 ? (y & 1) != 0 : ((x + y) & 1) != 0;
    return YCPixel{on ? white : int16_t(0), 0, 0};
}

}  // namespace

YCFrame MakeTestPicture(int width, int height, int maxWidth)
{
    YCFrame frame = MakeFrame(width, height, maxWidth);
    for (int y = 0; y < height; ++y) {
        int band = static_cast<int>(static_cast<long long>(y) * 4 / height);
        int bandTop = (band * height + 3) / 4;
        int bandBottom = ((band + 1) * height + 3) / 4;
        bool upperHalf = (y - bandTop) * 2 < bandBottom - bandTop;
        for (int x = 0; x < width; ++x) {
            YCPixel p = {0, 0, 0};
            switch (band) {
            case 0:
                p = Bar(x, width);
                break;
            case 1:
                p = YCPixel{Ramp(x, width, 0, white), 0, 0};
                break;
            case 2:
                p = upperHalf ? YCPixel{halfRange, Ramp(x, width, -halfRange, halfRange), 0}
                              : YCPixel{halfRange, 0, Ramp(x, width, -halfRange, halfRange)};
                break;
            default:
                p = Detail(x, y, width);
                break;
            }
            PixelAt(frame, x, y) = p;
        }
    }
    return frame;
}
