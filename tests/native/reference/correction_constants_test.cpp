#include "core/correction_constants.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

// The mapping stated on its own, track by track: (vector, component, scale)
// of tracks 0..14, vectors numbered ycOffs 0, ycAmp 1, bgrOffs 2, bgrAmp 3,
// bgrGamma 4; BGR vectors run blue to red, against the track order R, G, B.
enum Scale { offset, gain, gamma };
const struct {
    int vector, component;
    Scale scale;
} feeds[15] = {
    {0, 1, offset}, {1, 1, gain},   {0, 2, offset}, {1, 2, gain},  {0, 3, offset},
    {1, 3, gain},   {2, 3, offset}, {3, 3, gain},   {4, 3, gamma}, {2, 2, offset},
    {3, 2, gain},   {4, 2, gamma},  {2, 1, offset}, {3, 1, gain},  {4, 1, gamma},
};

float Expected(Scale scale, int32_t v)
{
    switch (scale) {
    case offset:
        return static_cast<float>(v / 256.0);
    case gain:
        return static_cast<float>(1.0 + v / 256.0);
    case gamma:
        return static_cast<float>(std::exp2(3.0 * v / 256.0));
    }
    return 0.0f;
}

// Every colour track over its range and beyond, one at a time, the others at
// distinct values; the Format track is not read.
TEST(CorrectionConstants, EveryTrackFeedsItsComponentWithItsScale)
{
    const int32_t values[] = {INT32_MIN, -100000, -256, -255, -192, -128, -7,   -1,       0,
                              1,         3,       64,   128,  255,  256,  4096, INT32_MAX};
    for (int track = 0; track < 15; ++track) {
        for (int32_t value : values) {
            int32_t tracks[trackCount];
            for (int i = 0; i < trackCount; ++i) tracks[i] = 16 * i - 120;
            tracks[15] = value;
            tracks[track] = value;
            CorrectionConstants c = ComputeCorrectionConstants(tracks);
            const float* vectors[5] = {c.ycOffs, c.ycAmp, c.bgrOffs, c.bgrAmp, c.bgrGamma};
            for (int v = 0; v < 5; ++v) {
                // The spare component: 0, but 1 in the gamma (0^1 = 0).
                EXPECT_EQ(vectors[v][0], v == 4 ? 1.0f : 0.0f) << "vector " << v;
            }
            for (int t = 0; t < 15; ++t) {
                const float got = vectors[feeds[t].vector][feeds[t].component];
                const float want = Expected(feeds[t].scale, tracks[t]);
                if (feeds[t].scale == gamma && std::isfinite(want)) {
                    EXPECT_NEAR(got, want, std::fabs(want) * 1e-6f)
                        << "track " << t << " at " << tracks[t];
                } else {
                    EXPECT_EQ(got, want) << "track " << t << " at " << tracks[t];
                }
            }
        }
    }
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
    const int32_t tracks[trackCount] = {};
    const CorrectionConstants c = ComputeCorrectionConstants(tracks);
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
    const int32_t tracks[trackCount] = {};
    const CorrectionConstants c = ComputeCorrectionConstants(tracks);
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
