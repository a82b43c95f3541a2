// The host's RGB <-> YCbCr conversion: BT.601 full range on the 4096 scale.
#include <cstdlib>

#include <gtest/gtest.h>

#include "pictures/color_convert.h"

namespace {

void ExpectYC(YCPixel p, int y, int cb, int cr)
{
    EXPECT_EQ(p.y, y);
    EXPECT_EQ(p.cb, cb);
    EXPECT_EQ(p.cr, cr);
}

TEST(ColorConvert, PrimariesFollowBt601FullRange)
{
    ExpectYC(YCFromRgb(0, 0, 0), 0, 0, 0);
    ExpectYC(YCFromRgb(255, 255, 255), 4096, 0, 0);
    // Y = 0.299 * 4096 = 1224.7; Cb = -0.299/1.772 * 4096 = -691.1; Cr = 0.5 * 4096.
    ExpectYC(YCFromRgb(255, 0, 0), 1225, -691, 2048);
    // Y = 0.587 * 4096 = 2404.4; Cb = -0.587/1.772 * 4096 = -1356.9;
    // Cr = -0.587/1.402 * 4096 = -1714.9.
    ExpectYC(YCFromRgb(0, 255, 0), 2404, -1357, -1715);
    // Y = 0.114 * 4096 = 466.9; Cb = 0.5 * 4096; Cr = -0.114/1.402 * 4096 = -333.1.
    ExpectYC(YCFromRgb(0, 0, 255), 467, 2048, -333);
    // Mid grey 128/255 * 4096 = 2056.03.
    ExpectYC(YCFromRgb(128, 128, 128), 2056, 0, 0);
}

TEST(ColorConvert, EveryEightBitColourSurvivesTheRoundTrip)
{
    int worst = 0;
    for (int r = 0; r < 256; r += 3) {
        for (int g = 0; g < 256; g += 5) {
            for (int b = 0; b < 256; b += 7) {
                uint8_t back[3];
                RgbFromYC(YCFromRgb(r, g, b), back);
                worst = std::max(
                    {worst, std::abs(back[0] - r), std::abs(back[1] - g), std::abs(back[2] - b)});
            }
        }
    }
    EXPECT_EQ(worst, 0);
}

TEST(ColorConvert, OutOfGamutPixelsClampPerChannel)
{
    uint8_t rgb[3];
    RgbFromYC(YCPixel{5000, 0, 0}, rgb);
    EXPECT_EQ(rgb[0], 255);
    EXPECT_EQ(rgb[1], 255);
    EXPECT_EQ(rgb[2], 255);
    RgbFromYC(YCPixel{-300, 0, 0}, rgb);
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(rgb[2], 0);
    // Full Cr on black: red far above 1 is clamped, green and blue below 0.
    RgbFromYC(YCPixel{0, 0, 2048}, rgb);
    EXPECT_EQ(rgb[0], 179);  // 1.402 * 0.5 = 0.701 -> 178.8
    EXPECT_EQ(rgb[1], 0);
    EXPECT_EQ(rgb[2], 0);
    RgbFromYC(YCPixel{32767, -32768, 32767}, rgb);
    EXPECT_EQ(rgb[0], 255);
    EXPECT_EQ(rgb[2], 0);
}

TEST(ColorConvert, FramesKeepLayoutAndPadding)
{
    RgbImage image;
    image.width = 3;
    image.height = 2;
    image.rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 128, 128, 128};
    YCFrame frame = FrameFromRgb(image, 5);
    ASSERT_EQ(frame.pixels.size(), 10u);
    EXPECT_EQ(PixelAt(frame, 2, 0).cb, 2048);  // blue
    EXPECT_EQ(PixelAt(frame, 1, 1).y, 4096);   // white, second row
    EXPECT_TRUE(SamePixel(PixelAt(frame, 3, 1), paddingPattern));
    EXPECT_TRUE(PaddingIntact(frame));
    RgbImage back = RgbFromFrame(frame);
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rgb, image.rgb);
}

}  // namespace
