#include "core/correction_constants.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

struct Tracks {
    int32_t t[trackCount] = {};
};

CorrectionConstants With(std::initializer_list<std::pair<int, int32_t>> set)
{
    Tracks tracks;
    for (auto [index, value] : set) {
        tracks.t[index] = value;
    }
    return ComputeCorrectionConstants(tracks.t);
}

void ExpectVec(const float v[4], float x, float y, float z, float w)
{
    EXPECT_EQ(v[0], x);
    EXPECT_EQ(v[1], y);
    EXPECT_EQ(v[2], z);
    EXPECT_EQ(v[3], w);
}

TEST(CorrectionConstants, AllColourTracksZeroGiveNeutralVectors)
{
    CorrectionConstants c = With({{15, 4}});  // the format track is not read
    ExpectVec(c.ycOffs, 0, 0, 0, 0);
    ExpectVec(c.ycAmp, 0, 1, 1, 1);
    ExpectVec(c.bgrOffs, 0, 0, 0, 0);
    ExpectVec(c.bgrAmp, 0, 1, 1, 1);
    ExpectVec(c.bgrGamma, 1, 1, 1, 1);
}

// Each track lands in its own component; the BGR vectors run blue to red,
// against the track order red, green, blue.
TEST(CorrectionConstants, OffsetsReachTheirComponents)
{
    ExpectVec(With({{0, 16}, {2, -256}, {4, 1}}).ycOffs, 0, 0.0625f, -1.0f, 0.00390625f);
    ExpectVec(With({{6, 256}}).bgrOffs, 0, 0, 0, 1.0f);    // R(offs)
    ExpectVec(With({{12, 256}}).bgrOffs, 0, 1.0f, 0, 0);   // B(offs)
    ExpectVec(With({{9, -128}}).bgrOffs, 0, 0, -0.5f, 0);  // G(offs)
}

TEST(CorrectionConstants, GainsRunFromZeroToTwo)
{
    EXPECT_EQ(With({{1, -256}}).ycAmp[1], 0.0f);
    EXPECT_EQ(With({{1, 256}}).ycAmp[1], 2.0f);
    ExpectVec(With({{3, 128}, {5, -128}}).ycAmp, 0, 1, 1.5f, 0.5f);
    ExpectVec(With({{7, 256}, {10, -256}, {13, 64}}).bgrAmp, 0, 1.25f, 0.0f, 2.0f);
}

TEST(CorrectionConstants, GammaIsEightToThePowerOfTrackOver256)
{
    CorrectionConstants c = With({{14, 256}, {11, -256}, {8, 128}});
    EXPECT_EQ(c.bgrGamma[1], 8.0f);                                // B
    EXPECT_EQ(c.bgrGamma[2], 0.125f);                              // G
    EXPECT_EQ(c.bgrGamma[3], static_cast<float>(std::sqrt(8.0)));  // R: 2.828427
    // The spare component stays 1 whatever the gamma tracks hold.
    EXPECT_EQ(c.bgrGamma[0], 1.0f);
    EXPECT_EQ(With({{8, -256}, {11, 256}, {14, -7}}).bgrGamma[0], 1.0f);
}

void Multiply(const float m[16], const double in[4], double out[4])
{
    for (int i = 0; i < 4; ++i) {
        out[i] = 0;
        for (int j = 0; j < 4; ++j) {
            out[i] += static_cast<double>(m[4 * i + j]) * in[j];
        }
    }
}

// Row-major and left-multiplying: BT.601 red is Y 0.299, Cb -0.16874,
// Cr 0.5, and white YC (1, 0, 0) is white BGR.
TEST(CorrectionConstants, MatricesTakeColumnVectorsRowByRow)
{
    CorrectionConstants c = With({});
    const double red[4] = {0, 0, 0, 1};
    double yc[4];
    Multiply(c.matBGR2YC, red, yc);
    EXPECT_NEAR(yc[1], 0.299, 1e-7);
    EXPECT_NEAR(yc[2], -0.16874, 1e-7);
    EXPECT_NEAR(yc[3], 0.5, 1e-7);

    const double white[4] = {0, 1, 0, 0};
    double bgr[4];
    Multiply(c.matYC2BGR, white, bgr);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bgr[i], i == 0 ? 0.0 : 1.0);
    }
}

TEST(CorrectionConstants, MatricesAreInverseWithin1e5)
{
    CorrectionConstants c = With({});
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(c.matBGR2YC[4 * i + k]) * c.matYC2BGR[4 * k + j];
            }
            // Row and column 0 are the spare channel: zero, not identity.
            double expected = (i == j && i != 0) ? 1.0 : 0.0;
            EXPECT_NEAR(sum, expected, 1e-5) << "row " << i << " column " << j;
        }
    }
}

}  // namespace
