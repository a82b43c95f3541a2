#include "core/half_float.h"

#include <cmath>
#include <cstring>
#include <limits>

uint16_t HalfFromDouble(double value, HalfRounding rounding, HalfFormat format)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const uint16_t sign = static_cast<uint16_t>((bits >> 48) & 0x8000u);
    const uint64_t magnitude = bits & 0x7FFFFFFFFFFFFFFFu;
    const bool d3dx = format == HalfFormat::d3dx;
    if (magnitude >= 0x7FF0000000000000u) {
        if (d3dx) {
            return sign | 0x7FFFu;
        }
        return magnitude == 0x7FF0000000000000u ? sign | 0x7C00u : 0x7E00u;
    }
    const uint16_t overflow = d3dx                                    ? 0x7FFFu
                              : rounding == HalfRounding::nearestEven ? 0x7C00u
                                                                      : 0x7BFFu;
    const uint16_t largest = d3dx ? 0x7FFFu : 0x7BFFu;
    // Binary64 subnormals count as exponent -1023, far below every half.
    const int32_t exponent = static_cast<int32_t>(magnitude >> 52) - 1023;
    if (exponent < -25) {
        return sign;  // below half the smallest subnormal, 2^-25
    }
    if (exponent > 16) {
        return sign | overflow;
    }
    const uint64_t significand = (magnitude & 0xFFFFFFFFFFFFFu) | 0x10000000000000u;
    // Normal halves keep 11 of the 53 significand bits; subnormal halves
    // count units of 2^-24 and keep fewer.
    const int32_t shift = exponent >= -14 ? 42 : 28 - exponent;
    uint64_t kept = significand >> shift;
    if (rounding == HalfRounding::nearestEven) {
        const uint64_t rest = significand & ((uint64_t{1} << shift) - 1u);
        const uint64_t halfway = uint64_t{1} << (shift - 1);
        if (rest > halfway || (rest == halfway && (kept & 1u) != 0)) {
            ++kept;
        }
    }
    if (exponent < -14) {
        return sign | static_cast<uint16_t>(kept);  // 1024 is the smallest normal
    }
    // A carry out of the significand (kept == 2048) moves into the exponent.
    const uint64_t result = (static_cast<uint64_t>(exponent + 15) << 10) + kept - 1024u;
    if (result > largest) {
        return sign | overflow;
    }
    return sign | static_cast<uint16_t>(result);
}

double DoubleFromHalf(uint16_t bits, HalfFormat format)
{
    const double sign = (bits & 0x8000u) != 0 ? -1.0 : 1.0;
    const int biased = (bits >> 10) & 0x1F;
    const int mantissa = bits & 0x3FF;
    if (biased == 31 && format == HalfFormat::ieee) {
        return mantissa != 0 ? std::numeric_limits<double>::quiet_NaN()
                             : sign * std::numeric_limits<double>::infinity();
    }
    if (biased == 0) {
        return sign * std::ldexp(mantissa, -24);
    }
    return sign * std::ldexp(1024 + mantissa, biased - 25);
}
