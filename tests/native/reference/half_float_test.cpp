// The half-float statement against the processor's own conversions (F16C),
// which share no code with it: every half back to a value, and every float
// at and on either side of every rounding boundary to a half, both ways of
// rounding. D3DX's reading differs from the processor's only at exponent
// 31, where it is the ieee reading of half the value, one exponent up.
#include "core/half_float.h"
#include "effect/gpu_tolerance.h"

#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

// Known values, for every processor: the rounding modes, the limits of
// both readings and the subnormals.
TEST(HalfFloat, KnownValues)
{
    const double justAboveOne = 1.0 + 0.75 / 1024;  // three quarters of a step
    EXPECT_EQ(HalfFromDouble(justAboveOne, HalfRounding::nearestEven), 0x3C01);
    EXPECT_EQ(HalfFromDouble(justAboveOne, HalfRounding::towardZero), 0x3C00);
    EXPECT_EQ(HalfFromDouble(-justAboveOne, HalfRounding::nearestEven), 0xBC01);
    EXPECT_EQ(HalfFromDouble(-justAboveOne, HalfRounding::towardZero), 0xBC00);
    EXPECT_EQ(HalfFromDouble(65520.0, HalfRounding::nearestEven), 0x7C00);
    EXPECT_EQ(HalfFromDouble(70000.0, HalfRounding::towardZero), 0x7BFF);
    EXPECT_EQ(HalfFromDouble(65536.0, HalfRounding::nearestEven, HalfFormat::d3dx), 0x7C00);
    EXPECT_EQ(HalfFromDouble(1e6, HalfRounding::nearestEven, HalfFormat::d3dx), 0x7FFF);
    const double tiny = std::ldexp(1.0, -24);  // the smallest subnormal
    EXPECT_EQ(HalfFromDouble(1.5 * tiny, HalfRounding::nearestEven), 0x0002);
    EXPECT_EQ(HalfFromDouble(1.5 * tiny, HalfRounding::towardZero), 0x0001);
    EXPECT_EQ(DoubleFromHalf(0x7BFF), 65504.0);
    EXPECT_EQ(DoubleFromHalf(0x7FFF, HalfFormat::d3dx), 131008.0);
    EXPECT_EQ(DoubleFromHalf(0x0001), tiny);
    EXPECT_EQ(DoubleFromHalf(0xC000), -2.0);
}

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace {

__attribute__((target("f16c"))) uint16_t ProcessorHalf(float value, HalfRounding rounding)
{
    return rounding == HalfRounding::nearestEven ? _cvtss_sh(value, _MM_FROUND_TO_NEAREST_INT)
                                                 : _cvtss_sh(value, _MM_FROUND_TO_ZERO);
}

__attribute__((target("f16c"))) float ProcessorFloat(uint16_t half)
{
    return _cvtsh_ss(half);
}

float FloatOfBits(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint64_t BitsOf(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// D3DX's half of a float, from the processor's: exponent 31 is reached by
// converting half the value (exact for a normal float) one exponent down.
uint16_t D3dxHalfFromProcessor(float value)
{
    const uint16_t sign = std::signbit(value) ? 0x8000 : 0;
    if (!std::isfinite(value)) {
        return sign | 0x7FFF;
    }
    if (std::fabs(value) < 0x1p-13f) {
        return ProcessorHalf(value, HalfRounding::nearestEven);
    }
    const uint16_t lower = ProcessorHalf(std::fabs(value) / 2, HalfRounding::nearestEven);
    return sign | (lower >= 0x7C00 ? 0x7FFF : lower + 0x0400);
}

TEST(HalfFloat, EveryHalfAndEveryRoundingBoundaryAgreeWithTheProcessor)
{
    if (!__builtin_cpu_supports("f16c")) {
        GTEST_SKIP() << "this processor has no F16C";
    }
    int failures = 0;
    for (uint32_t h = 0; h < 65536 && failures < 10; ++h) {
        const uint16_t half = static_cast<uint16_t>(h);
        const double processor = ProcessorFloat(half);
        const double ieee = DoubleFromHalf(half);
        const bool top = (half & 0x7C00) == 0x7C00;
        const double d3dx = top ? 2.0 * ProcessorFloat(half - 0x0400) : processor;
        if (!(BitsOf(ieee) == BitsOf(processor) || (std::isnan(ieee) && std::isnan(processor))) ||
            BitsOf(DoubleFromHalf(half, HalfFormat::d3dx)) != BitsOf(d3dx)) {
            ADD_FAILURE() << std::hex << "half 0x" << h;
            ++failures;
        }
    }
    // A float drops `d` bits on the way to a half: 13 for a normal half,
    // more for a subnormal one. Every sign, exponent and kept bit pattern,
    // with the dropped bits at zero, just above zero, either side of and at
    // the halfway point, and all ones.
    for (uint32_t signAndExponent = 0; signAndExponent < 512; ++signAndExponent) {
        const int32_t exponent = static_cast<int32_t>(signAndExponent & 0xFF) - 127;
        const int32_t d = exponent >= -14 ? 13 : exponent >= -24 ? -1 - exponent : 23;
        const uint32_t halfway = 1u << (d - 1);
        const uint32_t dropped[] = {0, 1, halfway - 1, halfway, halfway + 1, (1u << d) - 1};
        for (uint32_t kept = 0; kept < (1u << (23 - d)) && failures < 10; ++kept) {
            for (uint32_t low : dropped) {
                const float value = FloatOfBits(signAndExponent << 23 | kept << d | low);
                for (HalfRounding rounding : conformantHalfRoundings) {
                    const uint16_t ours = HalfFromDouble(value, rounding);
                    const uint16_t want = std::isnan(value) ? 0x7E00
                                                            : ProcessorHalf(value, rounding);
                    if (ours != want) {
                        ADD_FAILURE() << value << " gives 0x" << std::hex << ours
                                      << ", the processor 0x" << want;
                        ++failures;
                    }
                }
                const uint16_t ours = HalfFromDouble(value, HalfRounding::nearestEven,
                                                     HalfFormat::d3dx);
                if (ours != D3dxHalfFromProcessor(value)) {
                    ADD_FAILURE() << value << " gives D3DX half 0x" << std::hex << ours;
                    ++failures;
                }
            }
        }
    }
}

// A double rounds once: a value a hair beyond the midpoint of two halves,
// which a float would round onto the midpoint, goes to the farther half.
TEST(HalfFloat, DoublesRoundOnceWithoutPassingThroughFloat)
{
    for (uint16_t h : {0x0000, 0x0001, 0x03FF, 0x3C00, 0x3C01, 0x7BFE}) {
        const double below = DoubleFromHalf(h);
        const double above = DoubleFromHalf(h + 1);
        const double midpoint = (below + above) / 2;
        const double beyond = midpoint + (above - below) * 0x1p-30;
        EXPECT_EQ(HalfFromDouble(beyond, HalfRounding::nearestEven), h + 1) << h;
        EXPECT_EQ(HalfFromDouble(beyond, HalfRounding::nearestEven, HalfFormat::d3dx), h + 1);
        EXPECT_EQ(HalfFromDouble(std::nextafter(above, 0.0), HalfRounding::towardZero), h) << h;
    }
}

}  // namespace

#endif
