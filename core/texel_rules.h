// How a value is stored in each texture format the kinds use and read back:
// the upload and download converters' rules, the sampler's reading and the
// render target's rounding, one value at a time and written without the
// converters' tricks. The format kinds' rows (core/format_kinds.h) name the
// rule of their source texture and of their render target; the reference
// model, the converter tests and the converter fuzz target all follow these
// rules and keep none of their own.
#pragma once

#include <cstdint>

#include "core/half_float.h"

// The Direct3D 9 texture formats by d3d9.h's numbers, so that the rules
// build natively; engine/format_table.cpp holds them to d3d9.h.
enum TexelFormat : uint32_t {
    texelA32B32G32R32F = 116,
    texelA16B16G16R16F = 113,
    texelA16B16G16R16 = 36,
    texelQ16W16V16U16 = 110,
    texelA2B10G10R10 = 31,
};

// One texel as memory holds it. Which member is meaningful depends on the
// rule: f32 for binary32, bits16 for the 16-bit channels (binary16 patterns
// or words, signed ones in two's complement), packed for the 10/10/10/2
// word (R bits 0-9, G 10-19, B 20-29, A 30-31). Channel 0 carries nothing,
// 1 Y, 2 Cb, 3 Cr.
struct Texel {
    float f32[4];
    uint16_t bits16[4];
    uint32_t packed;
};

// How an A2B10G10R10 render target turns a [0, 1] value into a 10-bit field.
// nearest: round(v * 1023). towardZero: floor(v * 1023). fromUnorm16: the
// 16-bit result round(v * 65535) shifted right by 6 (near truncation at the
// low end, near rounding at the top; n/1023 always gives n back). Alpha
// always rounds v * 3 to nearest.
enum class Unorm10Rule { nearest, towardZero, fromUnorm16 };

// The two download converters of float channels.
// plain: truncate value * 4096 toward zero, saturate to -32768..32767
//        (NaN gives 0).
// sse:   round value * 4096 to nearest even, saturate to -32768..32767
//        (NaN and beyond the 32-bit range give -32768).
enum class FloatUnpack { plain, sse };

// One rounding of a render target: how a binary16 target rounds, how a
// 10-bit field rounds, and how far a normalised target's nearest integer is
// moved (a card may land a little either side of the exact product).
struct TargetRounding {
    HalfRounding half;
    Unorm10Rule unorm10;
    double normBias;
};

// How the effect carries a host value through the texel: scaledValue, the
// value / 4096 itself (float formats); unsignedWord, the host's bit pattern
// as an unsigned normalised word; signedWord, the host value as a signed
// normalised word; packed12_10_10, Y as a 12-bit number over the B field
// and alpha, Cb and Cr as 10-bit two's complement in G and R (times 8).
enum class HostCoding { scaledValue, unsignedWord, signedWord, packed12_10_10 };

// What a texture format is, as data: what the format kinds' rows name and
// the engine reads (the plug-in carries no texel maths).
struct TexelLayout {
    TexelFormat format;
    int32_t bytes;  // one texel in memory
    HostCoding coding;
    // Which rounding choices a render target of the format has: binary16's,
    // the 10-bit fields', and whether it is normalised (a card may store up
    // to GpuErrorBounds::normTargetSteps from the exact product).
    bool halfRoundings;
    bool unorm10Roundings;
    bool normalised;
};

// A format's layout with its maths: how a value is stored and read back.
struct TexelRule : TexelLayout {
    // The upload converter: host values (channel 0 is 0) to the texel;
    // nullptr for a format no frame is packed into.
    Texel (*pack)(const int16_t host[4]);
    // The sampler's reading of a channel; nullptr where pack is.
    double (*sample)(const Texel& texel, int channel);
    // The render target: the shader's four outputs, rounded as asked.
    Texel (*store)(const double value[4], const TargetRounding& rounding);
    // The download converter: channel 1, 2 or 3 as a host value before it
    // is cut to 16 bits (a value outside the 16-bit range wraps there).
    int32_t (*unpack)(const Texel& texel, int channel, FloatUnpack variant);
    // Memory: bytes to the texel and back, little-endian as Direct3D locks.
    Texel (*read)(const unsigned char* bytes);
    void (*write)(const Texel& texel, unsigned char* bytes);
};

// The rule of a layout (one of the five below).
const TexelRule& TexelRuleOf(const TexelLayout* layout);

// value * 4096 as a download converter turns it into a host value (see
// FloatUnpack), before the cut to 16 bits (it saturates, so that is exact).
int32_t HostFromChannel(double value, FloatUnpack variant);

// Round half to even without depending on the floating-point environment.
double RoundHalfToEven(double value);

// The steps the rules below are made of.
namespace texel_steps {
Texel PackBinary32(const int16_t host[4]);
Texel PackBinary16(const int16_t host[4]);
Texel PackWords(const int16_t host[4]);
double SampleBinary32(const Texel& texel, int channel);
double SampleBinary16(const Texel& texel, int channel);
double SampleUnorm16(const Texel& texel, int channel);
double SampleSnorm16(const Texel& texel, int channel);
Texel StoreBinary32(const double value[4], const TargetRounding& rounding);
Texel StoreBinary16(const double value[4], const TargetRounding& rounding);
Texel StoreUnorm16(const double value[4], const TargetRounding& rounding);
Texel StoreSnorm16(const double value[4], const TargetRounding& rounding);
Texel StoreUnorm10(const double value[4], const TargetRounding& rounding);
int32_t UnpackBinary32(const Texel& texel, int channel, FloatUnpack variant);
int32_t UnpackBinary16(const Texel& texel, int channel, FloatUnpack variant);
int32_t UnpackWords(const Texel& texel, int channel, FloatUnpack variant);
int32_t UnpackUnorm10(const Texel& texel, int channel, FloatUnpack variant);
Texel ReadBinary32(const unsigned char* bytes);
Texel ReadWords(const unsigned char* bytes);
Texel ReadPacked(const unsigned char* bytes);
void WriteBinary32(const Texel& texel, unsigned char* bytes);
void WriteWords(const Texel& texel, unsigned char* bytes);
void WritePacked(const Texel& texel, unsigned char* bytes);
}  // namespace texel_steps

// Layout columns: format, bytes, coding; the rounding choices (half, 10-bit,
// normalised). Rule columns: the layout; pack, sample, store, unpack, read,
// write.
// clang-format off

// binary32: value / 4096 exactly; the download truncates or rounds.
constexpr TexelLayout binary32Layout = {
    texelA32B32G32R32F, 16, HostCoding::scaledValue,
    false, false, false};
constexpr TexelRule binary32Texel = {
    binary32Layout,
    texel_steps::PackBinary32, texel_steps::SampleBinary32,
    texel_steps::StoreBinary32, texel_steps::UnpackBinary32,
    texel_steps::ReadBinary32, texel_steps::WriteBinary32};

// binary16: packed by D3DX's half of value / 4096 (nearest even; exponent
// 31 an ordinary exponent), read back by the download in the same reading;
// the sampler and the render target read and write IEEE halves, the target
// rounding as the card does.
constexpr TexelLayout binary16Layout = {
    texelA16B16G16R16F, 8, HostCoding::scaledValue,
    true, false, false};
constexpr TexelRule binary16Texel = {
    binary16Layout,
    texel_steps::PackBinary16, texel_steps::SampleBinary16,
    texel_steps::StoreBinary16, texel_steps::UnpackBinary16,
    texel_steps::ReadWords, texel_steps::WriteWords};

// Unsigned normalised 16-bit words: the host's bit pattern, read as n/65535.
constexpr TexelLayout unorm16Layout = {
    texelA16B16G16R16, 8, HostCoding::unsignedWord,
    false, false, true};
constexpr TexelRule unorm16Texel = {
    unorm16Layout,
    texel_steps::PackWords, texel_steps::SampleUnorm16,
    texel_steps::StoreUnorm16, texel_steps::UnpackWords,
    texel_steps::ReadWords, texel_steps::WriteWords};

// Signed normalised 16-bit words: the host value, read as max(v/32767, -1);
// the target clamps to [-1, 1] first, so -32768 is never stored.
constexpr TexelLayout snorm16Layout = {
    texelQ16W16V16U16, 8, HostCoding::signedWord,
    false, false, true};
constexpr TexelRule snorm16Texel = {
    snorm16Layout,
    texel_steps::PackWords, texel_steps::SampleSnorm16,
    texel_steps::StoreSnorm16, texel_steps::UnpackWords,
    texel_steps::ReadWords, texel_steps::WriteWords};

// 10/10/10/2 fields, a render target only: Y = (B | A << 10) * 2 - 2048,
// Cb and Cr the G and R fields as 10-bit two's complement times 8.
constexpr TexelLayout unorm10Layout = {
    texelA2B10G10R10, 4, HostCoding::packed12_10_10,
    false, true, true};
constexpr TexelRule unorm10Texel = {
    unorm10Layout,
    nullptr, nullptr,
    texel_steps::StoreUnorm10, texel_steps::UnpackUnorm10,
    texel_steps::ReadPacked, texel_steps::WritePacked};
// clang-format on
