// The built-in test picture: each band carries what its description promises.
#include <gtest/gtest.h>

#include "pictures/test_picture.h"

namespace {

int BandTop(int band, int height)
{
    for (int y = 0; y < height; ++y) {
        if (y * 4 / height == band) return y;
    }
    return -1;
}

TEST(TestPicture, ColourBarsRunFromWhiteToBlack)
{
    YCFrame frame = MakeTestPicture(800, 400, 800);
    const int width = 800;
    EXPECT_TRUE(SamePixel(PixelAt(frame, 0, 0), YCPixel{4096, 0, 0}));       // white
    EXPECT_TRUE(SamePixel(PixelAt(frame, width - 1, 0), YCPixel{0, 0, 0}));  // black
    EXPECT_EQ(PixelAt(frame, 5 * width / 8 + 1, 10).cr, 2048);               // red
    EXPECT_EQ(PixelAt(frame, 6 * width / 8 + 1, 10).cb, 2048);               // blue
    // Yellow has no blue: Cb at its most negative among the bars.
    EXPECT_LT(PixelAt(frame, width / 8 + 1, 10).cb, -2000);
    // Luma falls from bar to bar in this order.
    for (int bar = 1; bar < 8; ++bar) {
        EXPECT_LT(PixelAt(frame, bar * width / 8, 0).y, PixelAt(frame, (bar - 1) * width / 8, 0).y);
    }
}

TEST(TestPicture, GreyAndChromaRampsSpanTheNominalRanges)
{
    const int width = 257;
    const int height = 100;
    YCFrame frame = MakeTestPicture(width, height, width);
    int grey = BandTop(1, height);
    int chroma = BandTop(2, height);
    int detail = BandTop(3, height);
    EXPECT_EQ(PixelAt(frame, 0, grey).y, 0);
    EXPECT_EQ(PixelAt(frame, width - 1, grey).y, 4096);
    EXPECT_EQ(PixelAt(frame, 128, grey).y, 2048);
    for (int x = 1; x < width; ++x) {
        EXPECT_GT(PixelAt(frame, x, grey).y, PixelAt(frame, x - 1, grey).y);
        EXPECT_EQ(PixelAt(frame, x, grey).cb, 0);
    }
    int lastChromaRow = detail - 1;
    EXPECT_EQ(PixelAt(frame, 0, chroma).cb, -2048);
    EXPECT_EQ(PixelAt(frame, width - 1, chroma).cb, 2048);
    EXPECT_EQ(PixelAt(frame, width - 1, chroma).cr, 0);
    EXPECT_EQ(PixelAt(frame, 0, lastChromaRow).cr, -2048);
    EXPECT_EQ(PixelAt(frame, width - 1, lastChromaRow).cr, 2048);
    EXPECT_EQ(PixelAt(frame, width - 1, lastChromaRow).cb, 0);
    EXPECT_EQ(PixelAt(frame, 40, lastChromaRow).y, 2048);
}

TEST(TestPicture, DetailBandAlternatesEveryPixel)
{
    const int width = 90;
    const int height = 40;
    YCFrame frame = MakeTestPicture(width, height, 96);
    int top = BandTop(3, height);
    // Columns in the first third, rows in the second, both in the last.
    EXPECT_NE(PixelAt(frame, 0, top).y, PixelAt(frame, 1, top).y);
    EXPECT_EQ(PixelAt(frame, 0, top).y, PixelAt(frame, 0, top + 1).y);
    EXPECT_EQ(PixelAt(frame, 40, top).y, PixelAt(frame, 41, top).y);
    EXPECT_NE(PixelAt(frame, 40, top).y, PixelAt(frame, 40, top + 1).y);
    EXPECT_NE(PixelAt(frame, 70, top).y, PixelAt(frame, 71, top).y);
    EXPECT_NE(PixelAt(frame, 70, top).y, PixelAt(frame, 70, top + 1).y);
    for (int x = 0; x < width; ++x) {
        int16_t v = PixelAt(frame, x, height - 1).y;
        EXPECT_TRUE(v == 0 || v == 4096) << x;
    }
    EXPECT_TRUE(PaddingIntact(frame));
}

TEST(TestPicture, TinySizesStayInTheNominalRange)
{
    for (int width : {1, 2, 3, 7}) {
        for (int height : {1, 2, 3, 5}) {
            YCFrame frame = MakeTestPicture(width, height, width + 1);
            ASSERT_EQ(frame.pixels.size(), static_cast<size_t>((width + 1) * height));
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    YCPixel p = PixelAt(frame, x, y);
                    EXPECT_TRUE(p.y >= 0 && p.y <= 4096 && p.cb >= -2048 && p.cb <= 2048 &&
                                p.cr >= -2048 && p.cr <= 2048)
                        << width << "x" << height << " at " << x << "," << y;
                }
            }
            EXPECT_TRUE(PaddingIntact(frame));
        }
    }
}

}  // namespace
