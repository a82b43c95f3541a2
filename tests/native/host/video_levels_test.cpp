// Video levels: the BT.601 code values of H.273 against the host's scale,
// and how far a code may move on its way through the host.
#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

#include "video_levels.h"

namespace {

TEST(VideoLevels, NominalCodesLandOnTheHostScale)
{
    struct Case {
        int depth;
        VideoRange range;
        int black, white, chromaLow, chromaMid, chromaHigh;  // codes of 0, 1 and -0.5, 0, +0.5
    };
    const Case cases[] = {
        {8, VideoRange::limited, 16, 235, 16, 128, 240},
        {10, VideoRange::limited, 64, 940, 64, 512, 960},
        {12, VideoRange::limited, 256, 3760, 256, 2048, 3840},
        {16, VideoRange::limited, 4096, 60160, 4096, 32768, 61440},
        {8, VideoRange::full, 0, 255, 0, 128, 255},
        {16, VideoRange::full, 0, 65535, 0, 32768, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + " " + RangeName(c.range));
        LevelTables t = MakeLevelTables(c.depth, c.range);
        EXPECT_EQ(t.hostFromLuma[c.black], 0);
        EXPECT_EQ(t.hostFromLuma[c.white], 4096);
        EXPECT_EQ(t.hostFromChroma[c.chromaMid], 0);
        EXPECT_EQ(t.lumaFromHost[0], c.black);
        EXPECT_EQ(t.lumaFromHost[4096], c.white);
        EXPECT_EQ(t.chromaFromHost[0], c.chromaMid);
        if (c.range == VideoRange::limited) {
            EXPECT_EQ(t.hostFromChroma[c.chromaLow], -2048);
            EXPECT_EQ(t.hostFromChroma[c.chromaHigh], 2048);
            EXPECT_EQ(t.chromaFromHost[static_cast<uint16_t>(-2048)], c.chromaLow);
            EXPECT_EQ(t.chromaFromHost[2048], c.chromaHigh);
        } else {
            // Full-range chroma is centred on 2^(n-1): +-0.5 lie half a code
            // outside the ends, so the ends are the same distance from 0.
            EXPECT_EQ(t.hostFromChroma[1], -t.hostFromChroma[c.chromaHigh]);
            EXPECT_EQ(t.chromaFromHost[2048], c.chromaHigh);
        }
        // Whatever the plug-in returns maps into the code range.
        EXPECT_EQ(t.lumaFromHost[static_cast<uint16_t>(-32768)], 0);
        EXPECT_EQ(t.lumaFromHost[32767], (1 << c.depth) - 1);
    }
}

// Every code of every depth through the host and back: the bound the help
// text states (half a host unit in codes, rounded), and exactly that, so a
// coarser or finer mapping is noticed.
TEST(VideoLevels, RoundTripMovesCodesAtMostTheStatedBound)
{
    struct Case {
        int depth;
        VideoRange range;
        int bound;
    };
    const Case cases[] = {
        {8, VideoRange::limited, 0},  {10, VideoRange::limited, 0}, {12, VideoRange::limited, 0},
        {16, VideoRange::limited, 7}, {8, VideoRange::full, 0},     {10, VideoRange::full, 0},
        {12, VideoRange::full, 0},    {16, VideoRange::full, 8},
    };
    for (const Case& c : cases) {
        LevelTables t = MakeLevelTables(c.depth, c.range);
        int worst = 0;
        for (int code = 0; code < (1 << c.depth); ++code) {
            const int luma = t.lumaFromHost[static_cast<uint16_t>(t.hostFromLuma[code])];
            const int chroma = t.chromaFromHost[static_cast<uint16_t>(t.hostFromChroma[code])];
            worst = std::max({worst, std::abs(luma - code), std::abs(chroma - code)});
        }
        EXPECT_EQ(worst, c.bound) << c.depth << " bits, " << RangeName(c.range);
    }
}

}  // namespace
