#include "core/conversion_tables.h"

namespace {

// Rounds magnitude >> shift to nearest, ties to even (shift >= 1).
constexpr uint32_t ShiftRoundedToEven(uint32_t magnitude, int shift)
{
    uint32_t kept = magnitude >> shift;
    const uint32_t rest = magnitude & ((1u << shift) - 1u);
    const uint32_t halfway = 1u << (shift - 1);
    if (rest > halfway || (rest == halfway && (kept & 1u) != 0)) {
        ++kept;
    }
    return kept;
}

constexpr uint32_t MagnitudeOfWord(uint32_t word)
{
    return (word & 0x8000u) != 0 ? 65536u - word : word;  // 0..32768
}

constexpr int BitLength(uint32_t value)
{
    int bits = 0;
    while ((value >> bits) != 0) {
        ++bits;
    }
    return bits;
}

// A nonzero magnitude m of L bits, divided by 4096, is (m / 2^(L-1)) *
// 2^(L-13): its exponent is L - 13, its significand m itself (at most 16
// bits, so binary32 holds it exactly).
constexpr uint32_t FloatOfHost(uint32_t word)
{
    const uint32_t magnitude = MagnitudeOfWord(word);
    if (magnitude == 0) {
        return 0;
    }
    const int bits = BitLength(magnitude);
    const uint32_t fraction = (magnitude << (24 - bits)) & 0x7FFFFFu;
    const uint32_t exponent = static_cast<uint32_t>(bits - 13 + 127);
    return ((word & 0x8000u) << 16) | exponent << 23 | fraction;
}

// The same value as a half: biased exponent L - 13 + 15, with m rounded to
// 11 significant bits.
constexpr uint16_t HalfOfHost(uint32_t word)
{
    const uint32_t magnitude = MagnitudeOfWord(word);
    if (magnitude == 0) {
        return 0;
    }
    const int bits = BitLength(magnitude);
    const uint32_t significand = bits > 11 ? ShiftRoundedToEven(magnitude, bits - 11)
                                           : magnitude << (11 - bits);
    // A carry out of the significand (2048) moves into the exponent.
    const uint32_t half = (static_cast<uint32_t>(bits + 2) << 10) + significand - 1024u;
    return static_cast<uint16_t>((word & 0x8000u) | half);
}

constexpr int16_t Saturated(bool negative, uint32_t magnitude)
{
    const uint32_t limit = negative ? 32768u : 32767u;
    const int32_t m = static_cast<int32_t>(magnitude > limit ? limit : magnitude);
    return static_cast<int16_t>(negative ? -m : m);
}

// half * 4096 = significand * 2^(exponent - 13) for a normal half; a
// subnormal one is below 2^-14 * 4096 = 0.25 and gives 0 either way.
constexpr int16_t HostOfHalf(uint32_t half, bool nearest)
{
    const int exponent = static_cast<int>((half >> 10) & 0x1Fu);
    if (exponent == 0) {
        return 0;
    }
    const uint32_t significand = (half & 0x3FFu) | 0x400u;
    uint32_t magnitude = 0;
    if (exponent >= 13) {
        magnitude = significand << (exponent - 13);
    } else if (nearest) {
        magnitude = ShiftRoundedToEven(significand, 13 - exponent);
    } else {
        magnitude = significand >> (13 - exponent);
    }
    return Saturated((half & 0x8000u) != 0, magnitude);
}

constexpr ConversionTables MakeConversionTables()
{
    ConversionTables tables{};
    for (uint32_t i = 0; i < 65536; ++i) {
        tables.floatOfHost[i] = FloatOfHost(i);
        tables.halfOfHost[i] = HalfOfHost(i);
        tables.hostOfHalfTruncated[i] = HostOfHalf(i, false);
        tables.hostOfHalfNearest[i] = HostOfHalf(i, true);
    }
    return tables;
}

}  // namespace

constexpr ConversionTables conversionTables = MakeConversionTables();
