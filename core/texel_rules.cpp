#include "core/texel_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

double Clamp(double v, double lo, double hi)
{
    return std::min(std::max(v, lo), hi);
}

// A normalised target's integer for x = v * (2^n - 1): the nearest, moved
// by bias.
double NormRound(double x, double bias)
{
    return RoundHalfToEven(x + bias);
}

uint32_t Unorm10Field(double v, const TargetRounding& rounding)
{
    if (std::isnan(v)) {
        return 0;
    }
    const double u = Clamp(v, 0.0, 1.0);
    switch (rounding.unorm10) {
    case Unorm10Rule::nearest:
        return static_cast<uint32_t>(Clamp(NormRound(u * 1023.0, rounding.normBias), 0.0, 1023.0));
    case Unorm10Rule::towardZero:
        return static_cast<uint32_t>(std::floor(u * 1023.0));
    case Unorm10Rule::fromUnorm16:
        break;
    }
    return static_cast<uint32_t>(RoundHalfToEven(u * 65535.0)) >> 6;
}

// 10-bit two's complement, as the shader wrapped negative chroma.
int32_t SignedField10(uint32_t f)
{
    return f > 511 ? static_cast<int32_t>(f) - 1024 : static_cast<int32_t>(f);
}

}  // namespace

double RoundHalfToEven(double v)
{
    double r = std::floor(v);
    const double d = v - r;
    if (d > 0.5 || (d == 0.5 && std::fmod(r, 2.0) != 0.0)) {
        r += 1.0;
    }
    return r;
}

int32_t HostFromChannel(double value, FloatUnpack variant)
{
    const double p = value * 4096.0;  // exact: a power-of-two scale
    if (std::isnan(p)) {
        return variant == FloatUnpack::plain ? 0 : -32768;
    }
    const double n = variant == FloatUnpack::plain ? std::trunc(p) : RoundHalfToEven(p);
    if (variant == FloatUnpack::sse && (n < -2147483648.0 || n > 2147483647.0)) {
        return -32768;  // the vector unit's integer-indefinite value, saturated
    }
    return static_cast<int32_t>(Clamp(n, -32768.0, 32767.0));
}

namespace texel_steps {

Texel PackBinary32(const int16_t host[4])
{
    Texel t{};
    for (int i = 0; i < 4; ++i) {
        t.f32[i] = static_cast<float>(host[i] * 0.000244140625);
    }
    return t;
}

Texel PackBinary16(const int16_t host[4])
{
    Texel t{};
    for (int i = 0; i < 4; ++i) {
        t.bits16[i] = HalfFromDouble(host[i] * 0.000244140625, HalfRounding::nearestEven,
                                     HalfFormat::d3dx);
    }
    return t;
}

Texel PackWords(const int16_t host[4])
{
    Texel t{};
    for (int i = 0; i < 4; ++i) {
        t.bits16[i] = static_cast<uint16_t>(host[i]);
    }
    return t;
}

double SampleBinary32(const Texel& texel, int channel)
{
    return texel.f32[channel];
}

double SampleBinary16(const Texel& texel, int channel)
{
    return DoubleFromHalf(texel.bits16[channel]);
}

double SampleUnorm16(const Texel& texel, int channel)
{
    return texel.bits16[channel] / 65535.0;
}

double SampleSnorm16(const Texel& texel, int channel)
{
    return std::max(static_cast<int16_t>(texel.bits16[channel]) / 32767.0, -1.0);
}

Texel StoreBinary32(const double value[4], const TargetRounding&)
{
    Texel t{};
    for (int i = 0; i < 4; ++i) {
        t.f32[i] = static_cast<float>(value[i]);
    }
    return t;
}

Texel StoreBinary16(const double value[4], const TargetRounding& rounding)
{
    Texel t{};
    for (int i = 0; i < 4; ++i) {
        t.bits16[i] = HalfFromDouble(value[i], rounding.half);
    }
    return t;
}

Texel StoreUnorm16(const double value[4], const TargetRounding& rounding)
{
    Texel t{};
    for (int i = 0; i < 4; ++i) {
        const double v = std::isnan(value[i]) ? 0.0 : Clamp(value[i], 0.0, 1.0);
        t.bits16[i] =
            static_cast<uint16_t>(Clamp(NormRound(v * 65535.0, rounding.normBias), 0.0, 65535.0));
    }
    return t;
}

Texel StoreSnorm16(const double value[4], const TargetRounding& rounding)
{
    Texel t{};
    for (int i = 0; i < 4; ++i) {
        // Wine's Direct3D stores NaN as -32767.
        const double v = std::isnan(value[i]) ? -1.0 : Clamp(value[i], -1.0, 1.0);
        const double n = Clamp(NormRound(v * 32767.0, rounding.normBias), -32767.0, 32767.0);
        t.bits16[i] = static_cast<uint16_t>(static_cast<int16_t>(n));
    }
    return t;
}

Texel StoreUnorm10(const double value[4], const TargetRounding& rounding)
{
    Texel t{};
    const uint32_t r = Unorm10Field(value[0], rounding);
    const uint32_t g = Unorm10Field(value[1], rounding);
    const uint32_t b = Unorm10Field(value[2], rounding);
    const double av = std::isnan(value[3]) ? 0.0 : Clamp(value[3], 0.0, 1.0);
    const uint32_t a = static_cast<uint32_t>(RoundHalfToEven(av * 3.0));
    t.packed = r | (g << 10) | (b << 20) | (a << 30);
    return t;
}

int32_t UnpackBinary32(const Texel& texel, int channel, FloatUnpack variant)
{
    return HostFromChannel(texel.f32[channel], variant);
}

int32_t UnpackBinary16(const Texel& texel, int channel, FloatUnpack variant)
{
    return HostFromChannel(DoubleFromHalf(texel.bits16[channel], HalfFormat::d3dx), variant);
}

int32_t UnpackWords(const Texel& texel, int channel, FloatUnpack)
{
    return static_cast<int16_t>(texel.bits16[channel]);
}

int32_t UnpackUnorm10(const Texel& texel, int channel, FloatUnpack)
{
    const uint32_t w = texel.packed;
    if (channel == 1) {
        return static_cast<int32_t>(w >> 20) * 2 - 2048;
    }
    return SignedField10(channel == 2 ? (w >> 10) & 0x3FFu : w & 0x3FFu) * 8;
}

Texel ReadBinary32(const unsigned char* bytes)
{
    Texel t{};
    std::memcpy(t.f32, bytes, sizeof t.f32);
    return t;
}

Texel ReadWords(const unsigned char* bytes)
{
    Texel t{};
    std::memcpy(t.bits16, bytes, sizeof t.bits16);
    return t;
}

Texel ReadPacked(const unsigned char* bytes)
{
    Texel t{};
    std::memcpy(&t.packed, bytes, sizeof t.packed);
    return t;
}

void WriteBinary32(const Texel& texel, unsigned char* bytes)
{
    std::memcpy(bytes, texel.f32, sizeof texel.f32);
}

void WriteWords(const Texel& texel, unsigned char* bytes)
{
    std::memcpy(bytes, texel.bits16, sizeof texel.bits16);
}

void WritePacked(const Texel& texel, unsigned char* bytes)
{
    std::memcpy(bytes, &texel.packed, sizeof texel.packed);
}

}  // namespace texel_steps

const TexelRule& TexelRuleOf(const TexelLayout* layout)
{
    static const TexelRule* const rules[] = {&binary32Texel, &binary16Texel, &unorm16Texel,
                                             &snorm16Texel, &unorm10Texel};
    for (const TexelRule* rule : rules) {
        if (rule->format == layout->format) return *rule;
    }
    std::abort();  // a layout without a rule: add its rule above
}
