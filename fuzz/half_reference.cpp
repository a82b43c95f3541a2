// Integer arithmetic on the bits, so the result does not depend on the
// floating-point environment.
#include "half_reference.h"

#include <cstring>

namespace {

uint16_t HalfFromFloat(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000u);
    const uint32_t magnitude = bits & 0x7FFFFFFFu;
    if (magnitude >= 0x7F800000u) {
        return sign | 0x7FFFu;  // infinity, NaN
    }
    const int32_t exponent = static_cast<int32_t>(magnitude >> 23) - 127;
    if (exponent < -25) {
        return sign;  // below half the smallest subnormal, 2^-25
    }
    // Binary32 subnormals are far below 2^-25, so the implicit bit is set.
    const uint32_t significand = (magnitude & 0x7FFFFFu) | 0x800000u;
    // Normal halves keep 11 of the 24 significand bits; subnormal halves
    // count units of 2^-24 and keep fewer.
    const int32_t shift = exponent >= -14 ? 13 : -1 - exponent;
    uint32_t kept = significand >> shift;
    const uint32_t rest = significand & ((1u << shift) - 1u);
    const uint32_t halfway = 1u << (shift - 1);
    if (rest > halfway || (rest == halfway && (kept & 1u) != 0)) {
        ++kept;
    }
    if (exponent < -14) {
        return sign | static_cast<uint16_t>(kept);  // 1024 is the smallest normal
    }
    // A carry out of the significand (kept == 2048) moves into the exponent.
    const uint32_t result = (static_cast<uint32_t>(exponent + 15) << 10) + kept - 1024u;
    if (result > 0x7FFFu) {
        return sign | 0x7FFFu;
    }
    return sign | static_cast<uint16_t>(result);
}

float FloatFromHalf(uint16_t half)
{
    const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
    int32_t exponent = (half >> 10) & 0x1F;
    uint32_t mantissa = half & 0x3FFu;
    uint32_t bits = sign;
    if (exponent != 0) {
        bits |= static_cast<uint32_t>(exponent - 15 + 127) << 23 | mantissa << 13;
    } else if (mantissa != 0) {
        // Subnormal: normalise into a binary32 normal.
        exponent = -14;
        while ((mantissa & 0x400u) == 0) {
            mantissa <<= 1;
            --exponent;
        }
        bits |= static_cast<uint32_t>(exponent + 127) << 23 | (mantissa & 0x3FFu) << 13;
    }
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

void HalvesFromFloats(uint16_t* out, const float* in, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        out[i] = HalfFromFloat(in[i]);
    }
}

void FloatsFromHalves(float* out, const uint16_t* in, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        out[i] = FloatFromHalf(in[i]);
    }
}
