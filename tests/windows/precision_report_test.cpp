// The measuring parts of filterhost's precision report: the sweep pictures
// and the error statistics (the plug-in runs are exercised by the report
// itself).
#include <cmath>
#include <set>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "reports/precision_report.h"

namespace {

TEST(PrecisionSweep, EveryYValueMeetsEveryChromaPair)
{
    for (const PrecisionSweep& sweep : PrecisionSweeps()) {
        SCOPED_TRACE(sweep.name);
        YCFrame frame = MakeSweepFrame(sweep);
        ASSERT_EQ(frame.width, precisionSweepWidth);
        std::set<std::pair<int, int>> pairs;
        std::set<int> chroma;
        // Y values seen per pair, as a count of distinct values in range.
        std::set<std::tuple<int, int, int>> seen;
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                const YCPixel& p = PixelAt(frame, x, y);
                ASSERT_GE(p.y, sweep.yLo);
                ASSERT_LE(p.y, sweep.yHi);
                pairs.insert({p.cb, p.cr});
                chroma.insert(p.cb);
                seen.insert({p.cb, p.cr, p.y});
            }
        }
        EXPECT_EQ(pairs.size(), size_t(sweep.chromaSteps * sweep.chromaSteps));
        EXPECT_EQ(*chroma.begin(), sweep.cLo);
        EXPECT_EQ(*chroma.rbegin(), sweep.cHi);
        EXPECT_EQ(seen.size(), pairs.size() * size_t(sweep.yHi - sweep.yLo + 1));
    }
}

TEST(PrecisionErrors, LargestAndMeanPerChannel)
{
    const int32_t tracks[trackCount] = {0, 24, 0, 0, 0, 0, 0, 0, -40};
    const CorrectionConstants k = ComputeCorrectionConstants(tracks);
    YCFrame input = MakeFrame(4, 2, 6);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            PixelAt(input, x, y) = YCPixel{int16_t(500 * x + 100 * y), int16_t(-300 * x),
                                           int16_t(250 * y)};
    const std::vector<ExactHostPixel> exact = ExactFrame(k, input);
    ASSERT_EQ(exact.size(), 8u);

    // The exact values rounded: at most half a unit anywhere.
    YCFrame output = input;
    for (int y = 0, i = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x, ++i)
            PixelAt(output, x, y) = YCPixel{int16_t(std::lround(exact[i].c[0])),
                                            int16_t(std::lround(exact[i].c[1])),
                                            int16_t(std::lround(exact[i].c[2]))};
    ChannelErrors rounded = MeasureErrors(exact, output);
    for (int c = 0; c < 3; ++c) {
        EXPECT_LE(rounded.largest[c], 0.5);
        EXPECT_LE(rounded.mean[c], rounded.largest[c]);
    }

    // One Cb value 40 units off: the largest Cb error, an eighth of it in the
    // mean; Y and Cr do not change.
    PixelAt(output, 2, 1).cb = int16_t(PixelAt(output, 2, 1).cb + 40);
    ChannelErrors off = MeasureErrors(exact, output);
    EXPECT_GE(off.largest[1], 39.5);
    EXPECT_LE(off.largest[1], 40.5);
    EXPECT_NEAR(off.mean[1], rounded.mean[1] + 40.0 / 8, 0.5 / 8 * 2);
    EXPECT_EQ(off.largest[0], rounded.largest[0]);
    EXPECT_EQ(off.mean[2], rounded.mean[2]);
}

}  // namespace
