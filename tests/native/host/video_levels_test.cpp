// Video levels: the code values of H.273 against the host's scale, how far
// a code may move on its way through the host, and BT.709 streams against
// the host's BT.601 colours.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "level_tables.h"
#include "video/video_levels.h"

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

// Colours given in RGB and put into BT.709 codes here, by the textbook
// formulas, must decode to the host's BT.601 pixel of the same RGB, and that
// pixel must encode back to the codes. At 10 bits a code is a step of 4.7
// host units, and the conversion mixes three channels' rounding to codes:
// up to 3 units; at 16 bits a step is 0.07, leaving the host's own
// rounding. The other way a host unit is 0.2 codes at 10 bits and 14 at 16,
// mixed likewise: 1 code and 9.
// Decoded as BT.601, the same codes are far off wherever there is colour.
struct YPbPr {
    double y, pb, pr;
};

YPbPr FromRgb(double r, double g, double b, double kr, double kb)
{
    const double y = kr * r + (1.0 - kr - kb) * g + kb * b;
    return YPbPr{y, (b - y) / (2.0 * (1.0 - kb)), (r - y) / (2.0 * (1.0 - kr))};
}

TEST(VideoLevels, Bt709CodesCarryTheirColoursIntoTheHostsBt601)
{
    struct Colour {
        const char* name;
        double r, g, b;
        bool saturated;
    };
    const Colour colours[] = {
        {"black", 0, 0, 0, false}, {"white", 1, 1, 1, false},  {"skin", 0.87, 0.65, 0.52, false},
        {"red", 1, 0, 0, true},    {"green", 0, 1, 0, true},   {"blue", 0, 0, 1, true},
        {"cyan", 0, 1, 1, true},   {"magenta", 1, 0, 1, true}, {"yellow", 1, 1, 0, true},
    };
    struct Case {
        int depth;
        int hostBound, codeBound;
    };
    for (const Case& c : {Case{10, 3, 1}, Case{16, 1, 9}}) {
        const Levels luma = LumaLevels(c.depth, VideoRange::limited);
        const Levels chroma = ChromaLevels(c.depth, VideoRange::limited);
        for (const Colour& colour : colours) {
            for (int percent : {100, 75}) {  // white at 75 % is a grey
                SCOPED_TRACE(std::string(colour.name) + " at " + std::to_string(percent) + " %, " +
                             std::to_string(c.depth) + " bits");
                const double level = percent / 100.0;
                const double r = colour.r * level, g = colour.g * level, b = colour.b * level;
                const YPbPr stream = FromRgb(r, g, b, 0.2126, 0.0722);
                const int codes[3] = {
                    static_cast<int>(std::lround(luma.offset + luma.codesPerUnit * stream.y)),
                    static_cast<int>(std::lround(chroma.offset + chroma.codesPerUnit * stream.pb)),
                    static_cast<int>(std::lround(chroma.offset + chroma.codesPerUnit * stream.pr))};
                const YPbPr host = FromRgb(r, g, b, 0.299, 0.114);
                const long want[3] = {std::lround(host.y * 4096), std::lround(host.pb * 4096),
                                      std::lround(host.pr * 4096)};

                const YCPixel got = HostFromCodes(codes, c.depth, VideoRange::limited,
                                                  VideoMatrix::bt709);
                EXPECT_LE(std::abs(got.y - want[0]), c.hostBound);
                EXPECT_LE(std::abs(got.cb - want[1]), c.hostBound);
                EXPECT_LE(std::abs(got.cr - want[2]), c.hostBound);

                const YCPixel wantPixel = {static_cast<int16_t>(want[0]),
                                           static_cast<int16_t>(want[1]),
                                           static_cast<int16_t>(want[2])};
                uint16_t back[3];
                CodesFromHost(wantPixel, c.depth, VideoRange::limited, VideoMatrix::bt709, back);
                for (int i = 0; i < 3; ++i) {
                    EXPECT_LE(std::abs(back[i] - codes[i]), c.codeBound) << "channel " << i;
                }

                const YCPixel wrong = HostFromCodes(codes, c.depth, VideoRange::limited,
                                                    VideoMatrix::bt601);
                const long off =
                    std::max({std::abs(wrong.y - want[0]), std::abs(wrong.cb - want[1]),
                              std::abs(wrong.cr - want[2])});
                if (colour.saturated) {
                    EXPECT_GT(off, 100);
                }
            }
        }
    }
}

TEST(VideoLevels, FramesOf1280ColumnsOr720LinesAreTakenAsBt709)
{
    EXPECT_EQ(MatrixForFrameSize(720, 576), VideoMatrix::bt601);
    EXPECT_EQ(MatrixForFrameSize(1279, 719), VideoMatrix::bt601);
    EXPECT_EQ(MatrixForFrameSize(1280, 536), VideoMatrix::bt709);  // wide, cropped
    EXPECT_EQ(MatrixForFrameSize(960, 720), VideoMatrix::bt709);   // 4:3 at 720 lines
    EXPECT_EQ(MatrixForFrameSize(1920, 1080), VideoMatrix::bt709);
}

}  // namespace
