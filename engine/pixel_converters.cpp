// The plain converters and the dispatch. Built for the baseline processor:
// the plug-in has to run where ProbeSse says no.
#include "engine/pixel_converters.h"

#include <cstddef>
#include <cstring>

#include "engine/half_rows.h"

namespace {

// 2^-12: every 16-bit integer times this is exact in binary32.
constexpr float hostToChannel = 1.0f / 4096.0f;

// A surface pitch that is not a multiple of the texel size is rounded down
// to one, as Direct3D addresses rows in whole texels.
ptrdiff_t TexelRowStride(int32_t texelPitch, int32_t texelBytes)
{
    return static_cast<ptrdiff_t>(texelPitch / texelBytes) * texelBytes;
}

unsigned char* TexelRow(void* texels, int32_t texelPitch, int32_t texelBytes, int32_t row)
{
    return static_cast<unsigned char*>(texels) + row * TexelRowStride(texelPitch, texelBytes);
}

const unsigned char* TexelRow(const void* texels, int32_t texelPitch, int32_t texelBytes,
                              int32_t row)
{
    return static_cast<const unsigned char*>(texels) + row * TexelRowStride(texelPitch, texelBytes);
}

const YCPixel* HostRow(const YCPixel* host, int32_t hostPitch, int32_t row)
{
    return host + static_cast<ptrdiff_t>(row) * hostPitch;
}

YCPixel* HostRow(YCPixel* host, int32_t hostPitch, int32_t row)
{
    return host + static_cast<ptrdiff_t>(row) * hostPitch;
}

void PackFloatPixel(float* out, const YCPixel& p)
{
    out[0] = 0.0f;
    out[1] = static_cast<float>(p.y) * hostToChannel;
    out[2] = static_cast<float>(p.cb) * hostToChannel;
    out[3] = static_cast<float>(p.cr) * hostToChannel;
}

// Four pixels per turn, then the last width mod 4.
void PackFloatRow(float* out, const YCPixel* in, int32_t width)
{
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        PackFloatPixel(out + 4 * x, in[x]);
        PackFloatPixel(out + 4 * x + 4, in[x + 1]);
        PackFloatPixel(out + 4 * x + 8, in[x + 2]);
        PackFloatPixel(out + 4 * x + 12, in[x + 3]);
    }
    for (; x < width; ++x) {
        PackFloatPixel(out + 4 * x, in[x]);
    }
}

void UnpackFloatRowTruncated(YCPixel* out, const float* in, int32_t width)
{
    for (int32_t x = 0; x < width; ++x) {
        out[x].y = HostFromChannelTruncated(in[4 * x + 1]);
        out[x].cb = HostFromChannelTruncated(in[4 * x + 2]);
        out[x].cr = HostFromChannelTruncated(in[4 * x + 3]);
    }
}

// 10-bit two's complement.
int32_t SignedField10(uint32_t field)
{
    return static_cast<int32_t>(field ^ 0x200u) - 0x200;
}

}  // namespace

// Works on the bits of the float instead of converting through the FPU: the
// product with 4096 only moves the exponent, so truncation is a shift of the
// significand. On i686 this avoids an x87 control-word switch per value, and
// it does not depend on the x87 precision that Direct3D lowers to 24 bits.
// Written without branches, as frames mix every exponent.
// Saturation instead of keeping the low 16 bits: a channel of 8.0 must come
// back as the brightest value, not as -32768. NaN has neither sign nor size;
// it gives 0 (black luma, neutral chroma), the least visible choice.
int16_t HostFromChannelTruncated(float channel)
{
    uint32_t bits;
    std::memcpy(&bits, &channel, sizeof bits);
    const uint32_t magnitudeBits = bits & 0x7FFFFFFFu;
    const uint32_t negative = bits >> 31;
    // The significand holds the product's integer part after a right shift
    // of 23 minus the product's exponent (biased exponent - 127 + 12). A
    // shift of 8 already yields at least 32768, enough to saturate; from 24
    // on nothing is left (|product| < 1, zero and subnormals included).
    int32_t shift = 138 - static_cast<int32_t>(magnitudeBits >> 23);
    shift = shift < 8 ? 8 : shift;
    shift = shift > 31 ? 31 : shift;
    uint32_t magnitude = ((magnitudeBits & 0x7FFFFFu) | 0x800000u) >> shift;
    const uint32_t limit = 32767u + negative;  // -32768 has no positive twin
    magnitude = magnitude > limit ? limit : magnitude;
    magnitude = magnitudeBits > 0x7F800000u ? 0u : magnitude;
    return static_cast<int16_t>(negative != 0 ? -static_cast<int32_t>(magnitude)
                                              : static_cast<int32_t>(magnitude));
}

void PackF32(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
             int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        float* out = reinterpret_cast<float*>(TexelRow(texels, texelPitch, texelBytesF32, r));
        PackFloatRow(out, HostRow(host, hostPitch, r), width);
    }
}

void PackF16(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
             int32_t width, int32_t height, float* conversionRow)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        PackFloatRow(conversionRow, HostRow(host, hostPitch, r), width);
        uint16_t* out = reinterpret_cast<uint16_t*>(TexelRow(texels, texelPitch, texelBytesF16, r));
        HalvesFromFloats(out, conversionRow, static_cast<uint32_t>(width) * 4u);
    }
}

// The texel as a little-endian 64-bit word is Y << 16 | Cb << 32 | Cr << 48,
// written as two 32-bit halves.
void PackInt16(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
               int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        const YCPixel* in = HostRow(host, hostPitch, r);
        unsigned char* out = TexelRow(texels, texelPitch, texelBytesInt16, r);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t low = static_cast<uint32_t>(static_cast<uint16_t>(in[x].y)) << 16;
            const uint32_t high = static_cast<uint32_t>(static_cast<uint16_t>(in[x].cb)) |
                                  static_cast<uint32_t>(static_cast<uint16_t>(in[x].cr)) << 16;
            std::memcpy(out + 8 * x, &low, 4);
            std::memcpy(out + 8 * x + 4, &high, 4);
        }
    }
}

void UnpackF32(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        const float* in =
            reinterpret_cast<const float*>(TexelRow(texels, texelPitch, texelBytesF32, r));
        UnpackFloatRowTruncated(HostRow(host, hostPitch, r), in, width);
    }
}

void UnpackF16(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height, float* conversionRow)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        const uint16_t* in =
            reinterpret_cast<const uint16_t*>(TexelRow(texels, texelPitch, texelBytesF16, r));
        FloatsFromHalves(conversionRow, in, static_cast<uint32_t>(width) * 4u);
        UnpackFloatRowTruncated(HostRow(host, hostPitch, r), conversionRow, width);
    }
}

void UnpackInt16(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                 int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        const unsigned char* in = TexelRow(texels, texelPitch, texelBytesInt16, r);
        YCPixel* out = HostRow(host, hostPitch, r);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t low;
            uint32_t high;
            std::memcpy(&low, in + 8 * x, 4);
            std::memcpy(&high, in + 8 * x + 4, 4);
            out[x].y = static_cast<int16_t>(low >> 16);
            out[x].cb = static_cast<int16_t>(high & 0xFFFFu);
            out[x].cr = static_cast<int16_t>(high >> 16);
        }
    }
}

void UnpackU10(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        const unsigned char* in = TexelRow(texels, texelPitch, texelBytesU10, r);
        YCPixel* out = HostRow(host, hostPitch, r);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t w;
            std::memcpy(&w, in + 4 * x, 4);
            out[x].y = static_cast<int16_t>(static_cast<int32_t>(w >> 20) * 2 - 2048);
            out[x].cb = static_cast<int16_t>(SignedField10((w >> 10) & 0x3FFu) * 8);
            out[x].cr = static_cast<int16_t>(SignedField10(w & 0x3FFu) * 8);
        }
    }
}

void PackFrame(TextureFormatKind kind, bool sseUsable, const YCPixel* host, int32_t hostPitch,
               void* texels, int32_t texelPitch, int32_t width, int32_t height,
               float* conversionRow)
{
    switch (kind) {
    case kindF32:
        if (sseUsable) {
            PackF32Sse(host, hostPitch, texels, texelPitch, width, height);
        } else {
            PackF32(host, hostPitch, texels, texelPitch, width, height);
        }
        break;
    case kindU16:
    case kindS16:
    case kindU10:
        PackInt16(host, hostPitch, texels, texelPitch, width, height);
        break;
    default:
        if (sseUsable) {
            PackF16Sse(host, hostPitch, texels, texelPitch, width, height, conversionRow);
        } else {
            PackF16(host, hostPitch, texels, texelPitch, width, height, conversionRow);
        }
        break;
    }
}

void UnpackFrame(TextureFormatKind kind, bool sseUsable, YCPixel* host, int32_t hostPitch,
                 const void* texels, int32_t texelPitch, int32_t width, int32_t height,
                 float* conversionRow)
{
    switch (kind) {
    case kindU16:
    case kindS16:
        UnpackInt16(host, hostPitch, texels, texelPitch, width, height);
        break;
    case kindU10:
        UnpackU10(host, hostPitch, texels, texelPitch, width, height);
        break;
    case kindF32:
        if (sseUsable) {
            UnpackF32Sse(host, hostPitch, texels, texelPitch, width, height);
        } else {
            UnpackF32(host, hostPitch, texels, texelPitch, width, height);
        }
        break;
    default:
        if (sseUsable) {
            UnpackF16Sse(host, hostPitch, texels, texelPitch, width, height, conversionRow);
        } else {
            UnpackF16(host, hostPitch, texels, texelPitch, width, height, conversionRow);
        }
        break;
    }
}
