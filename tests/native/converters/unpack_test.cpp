#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "converter_test_support.h"

namespace {

constexpr float nan32 = std::numeric_limits<float>::quiet_NaN();
constexpr float inf32 = std::numeric_limits<float>::infinity();

void SetChannel(unsigned char* texel, int i, float v)
{
    SetFloatChannel(texel, i, v);
}

void SetChannel(unsigned char* texel, int i, uint16_t v)
{
    SetWordChannel(texel, i, v);
}

// Channel values as the converter's texels hold them (floats or 16-bit
// words), three per texel (channels 1..3, the last texel padded with
// zeros), in rows of at most 1024 texels; channel 0 set to fill0.
template <typename T>
Frame ChannelFrame(const UnpackConverter& c, const std::vector<T>& values, T fill0)
{
    const int32_t texels = static_cast<int32_t>((values.size() + 2) / 3);
    const int32_t width = texels < 1024 ? texels : 1024;
    const int32_t height = (texels + width - 1) / width;
    Frame f = MakeFrame({width, height, width, width * c.texelBytes}, c.texelBytes, 0xA5, 0);
    for (int32_t t = 0; t < width * height; ++t) {
        unsigned char* texel = TexelAt(f, t / width, t % width);
        SetChannel(texel, 0, fill0);
        for (int i = 1; i < 4; ++i) {
            const size_t at = static_cast<size_t>(3 * t + i - 1);
            SetChannel(texel, i, at < values.size() ? values[at] : T{});
        }
    }
    return f;
}

// The unpacked host values of those channels, in the same order.
template <typename T>
std::vector<int16_t> UnpackChannels(const UnpackConverter& c, const std::vector<T>& values,
                                    T fill0 = T{})
{
    Frame f = ChannelFrame(c, values, fill0);
    RunUnpack(c, f);
    std::vector<int16_t> out;
    for (size_t i = 0; i < values.size(); ++i) {
        const int32_t t = static_cast<int32_t>(i / 3);
        const YCPixel& p = HostAt(f, t / f.g.width, t % f.g.width);
        out.push_back(i % 3 == 0 ? p.y : i % 3 == 1 ? p.cb : p.cr);
    }
    return out;
}

const UnpackConverter unpackF32 = UnpackOf(kindF32, false);
const UnpackConverter unpackF32Sse = UnpackOf(kindF32, true);
const UnpackConverter unpackF16 = UnpackOf(kindF16, false);
const UnpackConverter unpackF16Sse = UnpackOf(kindF16, true);

// Values that stress the conversion itself, then products in quarter steps
// over -33000..33000 (beyond the 16-bit range on both sides): both the
// first and the last rows of the frame hold values beyond the 16-bit range.
std::vector<float> ProductGrid()
{
    std::vector<float> channels;
    for (int32_t k = -4 * 33000; k <= 4 * 33000; ++k) {
        channels.push_back(static_cast<float>(k / 16384.0));  // k/4 / 4096, exact
    }
    // NaNs, infinities, zeros and subnormals; 32768, -33792, 36864 and 65536
    // as products; around 2^31 / 4096; far beyond.
    const float big = std::numeric_limits<float>::max();
    const float specials[] = {nan32,     -nan32,     inf32,      -inf32, -0.0f,  1e-45f, -1e-45f,
                              1e-30f,    8.0f,       -8.25f,     9.0f,   16.0f,  -16.0f, 524287.9f,
                              524288.0f, -524288.0f, 1048576.0f, 1e10f,  -1e10f, big,    -big};
    channels.insert(channels.begin(), std::begin(specials), std::end(specials));
    return channels;
}

// Texels for the converter: F32 the product grid; 16-bit channels every
// word in each channel, a different order per channel (every half, every
// word); the packed word every Y field with every 10-bit field in G and R.
Frame EveryTexelFrame(const UnpackConverter& c)
{
    if (c.texelBytes == 16) {
        return ChannelFrame(c, ProductGrid(), 0.0f);
    }
    if (c.texelBytes == 4) {
        Frame f = MakeFrame({1024, 64, 1024, 4096}, 4, 0xA5, 0);
        for (uint32_t i = 0; i < 65536; ++i) {
            const uint32_t word = i << 16 | static_cast<uint16_t>(i * 40503u);
            std::memcpy(TexelAt(f, i / 1024, i % 1024), &word, 4);
        }
        return f;
    }
    std::vector<uint16_t> words;
    for (uint32_t i = 0; i < 65536; ++i) {
        const uint16_t w = static_cast<uint16_t>(i);
        words.insert(words.end(),
                     {w, static_cast<uint16_t>(w ^ 0x5A5A), static_cast<uint16_t>(~w)});
    }
    return ChannelFrame(c, words, uint16_t{0});
}

// Every unpack converter, through the dispatch of every kind, plain and
// SSE: each pixel is its kind's target rule of its texel.
TEST(Unpack, EveryTexelGivesTheTargetRulesPixel)
{
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        for (bool sse : {false, true}) {
            const UnpackConverter c = UnpackOf(static_cast<TextureFormatKind>(kind), sse);
            Frame f = EveryTexelFrame(c);
            RunUnpack(c, f);
            ExpectFrameFollowsRule(c, f);
        }
    }
}

TEST(UnpackFloatEdgeCases, RoundingSaturationAndNaN)
{
    struct Case {
        float channel;
        int16_t plain;
        int16_t sse;
    };
    const Case cases[] = {
        {1.0f, 4096, 4096},       {-0.5f, -2048, -2048},  {0.499755859375f, 2047, 2047},
        {8.0f, 32767, 32767},                           // p = 32768: saturates, no wrap to -32768
        {-8.25f, -32768, -32768},                       // p = -33792: no wrap to 31744
        {9.0f, 32767, 32767},                           // p = 36864
        {16.0f, 32767, 32767},                          // p = 65536: no wrap to 0
        {-8.0f, -32768, -32768},  {0.5f / 4096, 0, 0},  // p = 0.5
        {1.5f / 4096, 1, 2},                            // ties to even in SSE
        {-1.5f / 4096, -1, -2},   {2.5f / 4096, 2, 2},    {2047.9f / 4096, 2047, 2048},
        {1e10f, 32767, -32768},  // beyond the 32-bit range
        {-1e10f, -32768, -32768}, {inf32, 32767, -32768}, {-inf32, -32768, -32768},
        {nan32, 0, -32768},
    };
    for (const UnpackConverter* c : {&unpackF32, &unpackF32Sse}) {
        SCOPED_TRACE(c->name);
        const bool sse = c == &unpackF32Sse;
        for (const Case& k : cases) {
            const std::vector<int16_t> out =
                UnpackChannels<float>(*c, {k.channel, k.channel, k.channel});
            for (int16_t v : out) {
                EXPECT_EQ(v, sse ? k.sse : k.plain) << "channel " << k.channel;
            }
        }
    }
    // The same through halves: 8.0, -8.25, +-1.5/4096 (exact in binary16).
    const std::vector<uint16_t> halves = {0x4800, 0xC820, 0x0E00, 0x8E00, 0x7C00, 0x7FFF};
    const std::vector<int16_t> plain = UnpackChannels(unpackF16, halves);
    const std::vector<int16_t> sse = UnpackChannels(unpackF16Sse, halves);
    EXPECT_EQ(plain, (std::vector<int16_t>{32767, -32768, 1, -1, 32767, 32767}));
    EXPECT_EQ(sse, (std::vector<int16_t>{32767, -32768, 2, -2, 32767, 32767}));
}

#if defined(__i386__) || defined(__x86_64__)
// The plain unpack truncates on the x87 unit under a control word of its
// own: the caller's control word and exception flags must come back as they
// were, whatever the frame held (NaN and overflows raise the invalid flag).
TEST(UnpackFloatEdgeCases, PlainVariantLeavesTheX87StateAsItFoundIt)
{
    for (const uint16_t control : {uint16_t{0x037F}, uint16_t{0x007F}, uint16_t{0x0F7F}}) {
        uint16_t before = control;
        __asm__ __volatile__("fclex\n\tfldcw %0" : : "m"(before));
        UnpackChannels<float>(unpackF32, {nan32, 1e10f, -inf32, 1.0f, 2047.9f / 4096, -8.25f});
        uint16_t after = 0;
        uint16_t status = 0;
        __asm__ __volatile__("fnstcw %0\n\tfnstsw %1" : "=m"(after), "=m"(status));
        EXPECT_EQ(after, control);
        EXPECT_EQ(status & 0x3F, 0) << "exception flags left behind";
        uint16_t standard = 0x037F;
        __asm__ __volatile__("fclex\n\tfldcw %0" : : "m"(standard));
    }
}
#endif

TEST(UnpackFloatEdgeCases, ChannelZeroIsIgnoredWhateverItHolds)
{
    const std::vector<float> values = {1.0f, -0.5f, 0.499755859375f};
    const float zeros[] = {nan32, -nan32, inf32, -inf32, 1e30f, -3.0f};
    for (const UnpackConverter* c : {&unpackF32, &unpackF32Sse}) {
        SCOPED_TRACE(c->name);
        for (float z : zeros) {
            EXPECT_EQ(UnpackChannels(*c, values, z), (std::vector<int16_t>{4096, -2048, 2047}))
                << "channel 0 = " << z;
        }
    }
    const std::vector<uint16_t> halves = {0x3C00, 0xB800, 0x37FF};  // 1.0, -0.5, 2047/4096
    for (const UnpackConverter* c : {&unpackF16, &unpackF16Sse}) {
        SCOPED_TRACE(c->name);
        for (uint16_t z : {uint16_t{0x7C00}, uint16_t{0x7E01}, uint16_t{0xFFFF}}) {
            EXPECT_EQ(UnpackChannels(*c, halves, z), (std::vector<int16_t>{4096, -2048, 2047}));
        }
    }
}

TEST(UnpackInt16, WordsOneToThreeAreTheHostValues)
{
    Frame f = MakeFrame({2, 1, 2, 16}, 8, 0xA5, 0);
    const unsigned char texels[16] = {0x34, 0x12, 0x00, 0x10, 0x00, 0xF8, 0xFF, 0x07,
                                      0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF};
    std::memcpy(f.texels.get(), texels, 16);
    UnpackInt16(f.host.data(), 2, f.texels.get(), 16, 2, 1);
    EXPECT_EQ(f.host[0].y, 4096);
    EXPECT_EQ(f.host[0].cb, -2048);
    EXPECT_EQ(f.host[0].cr, 2047);
    EXPECT_EQ(f.host[1].y, -32768);
    EXPECT_EQ(f.host[1].cb, 32767);
    EXPECT_EQ(f.host[1].cr, -1);
}

YCPixel UnpackWord(uint32_t w)
{
    Frame f = MakeFrame({1, 1, 1, 4}, 4, 0xA5, 0);
    std::memcpy(f.texels.get(), &w, 4);
    UnpackU10(f.host.data(), 1, f.texels.get(), 4, 1, 1);
    return f.host[0];
}

TEST(UnpackU10, FieldsDecodeToTheHostScale)
{
    struct Case {
        uint32_t word;
        int16_t y, cb, cr;
    };
    const Case cases[] = {
        {0x00000000u, -2048, 0, 0},
        {0xFFFFFFFFu, 6142, -8, -8},
        {1u << 30, 0, 0, 0},              // A = 1, B = 0: the field value 1024
        {3u << 30, 4096, 0, 0},           // A = 3, B = 0
        {0x200u << 10, -2048, -4096, 0},  // G = 0x200
        {0x1FFu, -2048, 0, 4088},         // R = 0x1FF
        {0x1FFu << 10 | 0x200u, -2048, 4088, -4096},
        {(1u << 30) | (1u << 20) | (1u << 10) | 0x3FFu, 2, 8, -8},
    };
    for (const Case& k : cases) {
        const YCPixel p = UnpackWord(k.word);
        EXPECT_EQ(p.y, k.y) << std::hex << k.word;
        EXPECT_EQ(p.cb, k.cb) << std::hex << k.word;
        EXPECT_EQ(p.cr, k.cr) << std::hex << k.word;
    }
}

}  // namespace
