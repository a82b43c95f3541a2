// Comparison of output frames with the reference model: the bookkeeping
// around RunReference, fed with frames whose right answer the model itself
// gives.
#include <algorithm>
#include <climits>

#include <gtest/gtest.h>

#include "pictures/test_picture.h"
#include "core/correction_tracks.h"
#include "reports/verify.h"

namespace {

// What a correct plug-in would return: the model's point value (plain
// unpack) under one rounding of the render target.
YCFrame ModelOutput(const YCFrame& input, const int32_t tracks[trackCount], TextureFormatKind kind,
                    ReferenceRules rules = ReferenceRules())
{
    CorrectionConstants constants = ComputeCorrectionConstants(tracks);
    YCFrame output = input;
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            YCPixel in = PixelAt(input, x, y);
            YCTriple host = RunReference(YCTriple{in.y, in.cb, in.cr}, constants, kind, rules).host;
            PixelAt(output, x, y) = YCPixel{host.y, host.cb, host.cr};
        }
    }
    return output;
}

// Differences are in signed host units in every format, although U16 and
// U10 carry a negative value as its unsigned word: a -1 where the model
// says 0 is one unit off, not 65535.
TEST(VerifyFrameTest, DifferencesAreSignedHostUnitsInEveryFormat)
{
    const int32_t tracks[trackCount] = {};
    YCFrame input = MakeFrame(2, 1, 2);
    for (int kind = 0; kind < 5; ++kind) {
        YCFrame output = ModelOutput(input, tracks, TextureFormatKind(kind));
        ASSERT_EQ(PixelAt(output, 0, 0).y, 0);
        PixelAt(output, 0, 0).y = -1;
        PixelAt(output, 1, 0).cb = static_cast<int16_t>(PixelAt(output, 1, 0).cb + 3);
        Verifier verifier;
        VerifyTotals totals;
        VerifyFrame(&verifier, tracks, TextureFormatKind(kind), input, output, &totals);
        EXPECT_EQ(totals.largestError[0], 1) << "kind " << kind;
        EXPECT_EQ(totals.largestError[1], 3) << "kind " << kind;
    }
    EXPECT_EQ(HostUnitDistance(-32768, 32767), 65535);
}

// A card may round each target either way: every such answer passes, and
// an answer one unit past the accepted range does not.
TEST(VerifyFrameTest, EitherRoundingPassesForEveryKindAndAUnitBeyondFails)
{
    int32_t tracks[trackCount] = {20,   -40, 5,  30,   -7, 0,  12,   60,
                                  -100, 12,  60, -100, 12, 60, -100, 0};
    const CorrectionConstants constants = ComputeCorrectionConstants(tracks);
    YCFrame input = MakeTestPicture(48, 24, 50);
    for (int kind = 0; kind < 5; ++kind) {
        for (HalfRounding half : conformantHalfRoundings) {
            for (Unorm10Rule field : conformantUnorm10Rules) {
                ReferenceRules rules;
                rules.halfTarget = half;
                rules.unorm10Target = field;
                Verifier verifier;
                VerifyTotals totals;
                YCFrame output = ModelOutput(input, tracks, TextureFormatKind(kind), rules);
                VerifyFrame(&verifier, tracks, TextureFormatKind(kind), input, output, &totals);
                EXPECT_EQ(totals.frames, 1);
                EXPECT_EQ(totals.pixels, 48 * 24);
                EXPECT_EQ(totals.outside, 0) << "kind " << kind;
            }
        }
        // One pixel's Cb a unit above the top of what either converter allows.
        YCFrame output = ModelOutput(input, tracks, TextureFormatKind(kind));
        YCPixel in = PixelAt(input, 5, 5);
        int32_t top = INT32_MIN;
        for (FloatUnpack unpack : {FloatUnpack::plain, FloatUnpack::sse}) {
            ReferenceRules rules;
            rules.floatUnpack = unpack;
            top = std::max(
                top, RunReference({in.y, in.cb, in.cr}, constants, TextureFormatKind(kind), rules)
                         .accepted.hi[1]);
        }
        PixelAt(output, 5, 5).cb = static_cast<int16_t>(top + 1);
        Verifier verifier;
        VerifyTotals totals;
        VerifyFrame(&verifier, tracks, TextureFormatKind(kind), input, output, &totals);
        EXPECT_EQ(totals.outside, 1) << "kind " << kind;
    }
}

TEST(VerifyFrameTest, WrongPixelsAreCountedAndTheFirstIsReported)
{
    int32_t tracks[trackCount] = {};
    tracks[1] = 64;  // Y gain 1.25
    YCFrame input = MakeTestPicture(40, 20, 40);
    YCFrame output = ModelOutput(input, tracks, kindF32);
    PixelAt(output, 7, 3).cb += 40;
    PixelAt(output, 9, 15).cr -= 300;
    PixelAt(output, 30, 18).y ^= 0x4000;

    Verifier verifier;
    VerifyTotals totals;
    VerifyFrame(&verifier, tracks, kindF32, input, output, &totals);
    EXPECT_EQ(totals.outside, 3);
    EXPECT_EQ(totals.largestError[1], 40);
    EXPECT_EQ(totals.largestError[2], 300);
    EXPECT_EQ(totals.largestError[0], 0x4000);
    ASSERT_TRUE(totals.hasExample);
    EXPECT_EQ(totals.exampleX, 7);
    EXPECT_EQ(totals.exampleY, 3);
    EXPECT_EQ(totals.exampleActual.cb - totals.exampleExpected.cb, 40);

    // Totals add up over frames; a second, right frame adds no error.
    YCFrame good = ModelOutput(input, tracks, kindF32);
    VerifyFrame(&verifier, tracks, kindF32, input, good, &totals);
    EXPECT_EQ(totals.frames, 2);
    EXPECT_EQ(totals.pixels, 2 * 40 * 20);
    EXPECT_EQ(totals.outside, 3);
    EXPECT_EQ(totals.exampleFrame, 0);
}

TEST(VerifyFrameTest, ExpectationsFollowTracksAndKind)
{
    YCFrame input = MakeTestPicture(32, 16, 32);
    int32_t plain[trackCount] = {};
    int32_t brighter[trackCount] = {};
    brighter[0] = 32;  // Y offset of 512 host units
    YCFrame unchanged = ModelOutput(input, plain, kindU16);

    // The same verifier first sees unchanged tracks, then changed ones: the
    // cache of expectations must not carry over.
    Verifier verifier;
    VerifyTotals first;
    VerifyFrame(&verifier, plain, kindU16, input, unchanged, &first);
    EXPECT_EQ(first.outside, 0);
    VerifyTotals second;
    VerifyFrame(&verifier, brighter, kindU16, input, unchanged, &second);
    EXPECT_EQ(second.outside, second.pixels);
    EXPECT_GE(second.largestError[0], 500);

    // U16 output judged as U10: the 10-bit result format cannot reproduce
    // every 16-bit result, so some pixels fall outside.
    int32_t gain[trackCount] = {};
    gain[1] = 17;
    YCFrame u16 = ModelOutput(input, gain, kindU16);
    Verifier other;
    VerifyTotals asU10;
    VerifyFrame(&other, gain, kindU10, input, u16, &asU10);
    EXPECT_GT(asU10.outside, 0);
}

}  // namespace
