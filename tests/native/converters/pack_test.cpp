#include <gtest/gtest.h>

#include <cstring>

#include "converter_test_support.h"

namespace {

// 65536 pixels in rows of 256 (pitch 259 pixels, texel rows with 40 bytes
// to spare): each channel takes every 16-bit value exactly once, in a
// different order per channel.
Geometry AllValuesGeometry(int32_t texelBytes)
{
    return {256, 256, 259, 256 * texelBytes + 40};
}

YCPixel AllValuesPixel(int32_t i)
{
    return {static_cast<int16_t>(i), static_cast<int16_t>((i + 0x5555) & 0xFFFF),
            static_cast<int16_t>((i * 40503) & 0xFFFF)};  // odd factor: a permutation
}

Frame AllValuesFrame(int32_t texelBytes)
{
    Frame f = MakeFrame(AllValuesGeometry(texelBytes), texelBytes, 0x5A, 0xA5);
    for (int32_t i = 0; i < 65536; ++i) {
        HostAt(f, i / 256, i % 256) = AllValuesPixel(i);
    }
    return f;
}

// Every pack converter, through the dispatch of every kind, plain and SSE:
// each texel is its kind's source rule of its pixel, so the two variants
// agree bit for bit.
TEST(Pack, EveryHostValueGivesTheSourceRulesTexel)
{
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        for (bool sse : {false, true}) {
            const PackConverter c = PackOf(static_cast<TextureFormatKind>(kind), sse);
            Frame f = AllValuesFrame(c.texelBytes);
            RunPack(c, f);
            ExpectFrameFollowsRule(c, f);
        }
    }
}

// One pixel through one pack converter, texel bytes returned.
std::vector<unsigned char> PackOne(const PackConverter& c, YCPixel p)
{
    Frame f = MakeFrame({1, 1, 1, c.texelBytes}, c.texelBytes, 0, 0xA5);
    f.host[0] = p;
    RunPack(c, f);
    return std::vector<unsigned char>(f.texels.get(), f.texels.get() + c.texelBytes);
}

TEST(PackEdgeCases, WhiteAndChromaExtremesInEveryKind)
{
    const YCPixel p{4096, -2048, 2047};
    for (const PackConverter& c : {PackOf(kindF32, false), PackOf(kindF32, true)}) {
        SCOPED_TRACE(c.name);
        const std::vector<unsigned char> t = PackOne(c, p);
        EXPECT_EQ(FloatChannel(t.data(), 0), 0.0f);
        EXPECT_EQ(FloatChannel(t.data(), 1), 1.0f);
        EXPECT_EQ(FloatChannel(t.data(), 2), -0.5f);
        EXPECT_EQ(FloatChannel(t.data(), 3), 0.499755859375f);
    }
    {
        const std::vector<unsigned char> t = PackOne(PackOf(kindF16, false), p);
        EXPECT_EQ(WordChannel(t.data(), 0), 0x0000);  // +0.0
        EXPECT_EQ(WordChannel(t.data(), 1), 0x3C00);  // 1.0
        EXPECT_EQ(WordChannel(t.data(), 2), 0xB800);  // -0.5
        EXPECT_EQ(WordChannel(t.data(), 3), 0x37FF);  // 2047 / 4096, exact below 2048
    }
    const std::vector<unsigned char> t = PackOne(PackOf(kindU16, false), p);
    const unsigned char expected[8] = {0x00, 0x00, 0x00, 0x10, 0x00, 0xF8, 0xFF, 0x07};
    EXPECT_EQ(std::memcmp(t.data(), expected, 8), 0);
}

TEST(PackEdgeCases, HalfKeepsElevenSignificantBits)
{
    struct Case {
        int16_t y;
        uint16_t half;
    };
    const Case cases[] = {
        {2048, 0x3800},                    // 0.5, exact
        {2049, 0x3800},                    // tie between 2048 and 2050: the even one
        {2051, 0x3802},                    // tie between 2050 and 2052: 2052
        {-2049, 0xB800},  {4097, 0x3C00},  // steps of 4 above 4096: 4097 -> 4096
        {4099, 0x3C01},                    // 4099 -> 4100
        {32767, 0x4800},                   // 7.99976 rounds up to 8.0
        {-32768, 0xC800},                  // -8.0 exact
        {1, 0x0C00},                       // 2^-12, a normal half
        {0, 0x0000},
    };
    for (const Case& k : cases) {
        const std::vector<unsigned char> t = PackOne(PackOf(kindF16, false), {k.y, 0, 0});
        EXPECT_EQ(WordChannel(t.data(), 1), k.half) << "Y = " << k.y;
    }
}

}  // namespace
