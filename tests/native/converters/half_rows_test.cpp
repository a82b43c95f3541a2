#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "converter_test_support.h"
#include "engine/half_rows.h"

namespace {

uint16_t ToHalf(float v)
{
    uint16_t h;
    HalvesFromFloats(&h, &v, 1);
    return h;
}

float FromHalf(uint16_t h)
{
    float v;
    FloatsFromHalves(&v, &h, 1);
    return v;
}

// D3DX's half has no infinity or NaN: exponent 31 is ordinary, and what lies
// beyond it saturates. These are D3DX's own results.
TEST(HalfRows, FollowsD3dxAtTheTopOfTheRange)
{
    EXPECT_EQ(ToHalf(65504.0f), 0x7BFF);
    EXPECT_EQ(ToHalf(65519.0f), 0x7BFF);
    EXPECT_EQ(ToHalf(65520.0f), 0x7C00);
    EXPECT_EQ(ToHalf(70000.0f), 0x7C46);
    EXPECT_EQ(ToHalf(-70000.0f), 0xFC46);
    EXPECT_EQ(ToHalf(131008.0f), 0x7FFF);
    EXPECT_EQ(ToHalf(131040.0f), 0x7FFF);
    EXPECT_EQ(ToHalf(1e6f), 0x7FFF);
    EXPECT_EQ(ToHalf(std::numeric_limits<float>::infinity()), 0x7FFF);
    EXPECT_EQ(ToHalf(-std::numeric_limits<float>::infinity()), 0xFFFF);
    EXPECT_EQ(ToHalf(std::numeric_limits<float>::quiet_NaN()), 0x7FFF);
    EXPECT_EQ(ToHalf(-std::numeric_limits<float>::quiet_NaN()), 0xFFFF);
    EXPECT_EQ(FromHalf(0x7C00), 65536.0f);
    EXPECT_EQ(FromHalf(0x7FFF), 131008.0f);
    EXPECT_EQ(FromHalf(0xFC00), -65536.0f);
}

TEST(HalfRows, RoundsSubnormalsToNearestEven)
{
    EXPECT_EQ(ToHalf(std::ldexp(1.0f, -25)), 0x0000);  // tie with zero: even
    EXPECT_EQ(ToHalf(std::nextafter(std::ldexp(1.0f, -25), 1.0f)), 0x0001);
    EXPECT_EQ(ToHalf(std::ldexp(3.0f, -25)), 0x0002);  // tie between 1 and 2
    EXPECT_EQ(ToHalf(1e-5f), 0x00A8);
    EXPECT_EQ(ToHalf(-0.0f), 0x8000);
    EXPECT_EQ(ToHalf(1e-30f), 0x0000);
    EXPECT_EQ(FromHalf(0x0001), std::ldexp(1.0f, -24));
    EXPECT_EQ(FromHalf(0x03FF), std::ldexp(1023.0f, -24));
    EXPECT_EQ(FromHalf(0x8001), -std::ldexp(1.0f, -24));
}

// Every half comes back exactly, and goes there again; the values midway
// between neighbours and one float step either side of them round as
// nearest-even says.
TEST(HalfRows, EveryHalfRoundTripsAndEveryMidpointRoundsToEven)
{
    std::vector<uint16_t> halves(65536);
    for (uint32_t h = 0; h < 65536; ++h) {
        halves[h] = static_cast<uint16_t>(h);
    }
    std::vector<float> values(65536);
    FloatsFromHalves(values.data(), halves.data(), 65536);
    std::vector<uint16_t> again(65536);
    HalvesFromFloats(again.data(), values.data(), 65536);
    std::vector<float> probes;
    for (uint32_t h = 0; h < 65536; ++h) {
        ASSERT_EQ(static_cast<double>(values[h]), ValueOfHalf(static_cast<uint16_t>(h)))
            << std::hex << h;
        ASSERT_EQ(again[h], h) << std::hex << h;
        if ((h & 0x7FFF) < 0x7FFF) {
            const float mid = static_cast<float>(
                (ValueOfHalf(static_cast<uint16_t>(h)) + ValueOfHalf(static_cast<uint16_t>(h + 1))) / 2);
            probes.push_back(mid);
            probes.push_back(std::nextafter(mid, 0.0f));
            probes.push_back(std::nextafter(mid, mid * 2));
        }
    }
    std::vector<uint16_t> rounded(probes.size());
    HalvesFromFloats(rounded.data(), probes.data(), static_cast<uint32_t>(probes.size()));
    for (size_t i = 0; i < probes.size(); ++i) {
        ASSERT_EQ(rounded[i], HalfBitsOf(probes[i])) << probes[i];
    }
}

}  // namespace
