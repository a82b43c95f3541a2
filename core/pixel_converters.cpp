// The plain converters and the dispatch. Built for the baseline processor:
// the plug-in has to run where ProbeSse says no.
//
// Frames are large (a 1920x1080 F32 texture is 33 MB), so every converter
// is written to keep up with memory: the per-value work is a table lookup,
// a few integer operations or one x87 conversion, and the 16-bit converters
// move two pixels (12 bytes, three 32-bit words) per turn instead of one
// value at a time.
#include "core/pixel_converters.h"

#include <cstddef>
#include <cstring>

#include "core/conversion_tables.h"

namespace {

unsigned char* TexelRow(void* texels, int32_t texelPitch, int32_t texelBytes, int32_t row)
{
    return static_cast<unsigned char*>(texels) + row * TexelRowStride(texelPitch, texelBytes);
}

const unsigned char* TexelRow(const void* texels, int32_t texelPitch, int32_t texelBytes,
                              int32_t row)
{
    return static_cast<const unsigned char*>(texels) + row * TexelRowStride(texelPitch, texelBytes);
}

const unsigned char* HostRow(const YCPixel* host, int32_t hostPitch, int32_t row)
{
    return reinterpret_cast<const unsigned char*>(host + static_cast<ptrdiff_t>(row) * hostPitch);
}

unsigned char* HostRow(YCPixel* host, int32_t hostPitch, int32_t row)
{
    return reinterpret_cast<unsigned char*>(host + static_cast<ptrdiff_t>(row) * hostPitch);
}

// Unaligned 32-bit accesses: host rows are 6-byte pixels, and x86 reads and
// writes words at any address at full speed.
inline uint32_t Load32(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Store32(unsigned char* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

inline uint16_t Load16(const unsigned char* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void Store16(unsigned char* p, uint16_t v)
{
    std::memcpy(p, &v, 2);
}

// ---- Host -> texture.

// value / 4096 as binary32 on the x87 unit: load the 16-bit integer, scale,
// store single. Exact in every precision and rounding mode. The load takes
// a stack slot for the moment; the st(7) clobber keeps one free.
const float packScale = 1.0f / 4096.0f;

inline void StoreScaled(unsigned char* out, const unsigned char* value)
{
    __asm__ __volatile__("filds %1\n\tfmuls %2\n\tfstps %0"
                         : "=m"(*reinterpret_cast<float*>(out))
                         : "m"(*reinterpret_cast<const int16_t*>(value)), "m"(packScale)
                         : "st(7)");
}

// (0, Y, Cb, Cr) / 4096 as binary32. Y is looked up and Cb and Cr converted:
// with all three looked up, random frames spread the lookups over 24 KB of
// the table and most of them miss the first-level cache next to the frame's
// own traffic; with all three on the x87 unit, its conversions are the
// limit. Shared out like this, each takes its part at its own pace.
inline void PackFloatTexel(unsigned char* texel, const unsigned char* pixel)
{
    Store32(texel, 0);
    Store32(texel + 4, conversionTables.floatOfHost[Load16(pixel)]);
    StoreScaled(texel + 8, pixel + 2);
    StoreScaled(texel + 12, pixel + 4);
}

// Four pixels per turn, then the last width mod 4.
void PackFloatRow(unsigned char* out, const unsigned char* in, int32_t width)
{
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        PackFloatTexel(out + 16 * x, in + 6 * x);
        PackFloatTexel(out + 16 * x + 16, in + 6 * x + 6);
        PackFloatTexel(out + 16 * x + 32, in + 6 * x + 12);
        PackFloatTexel(out + 16 * x + 48, in + 6 * x + 18);
    }
    for (; x < width; ++x) {
        PackFloatTexel(out + 16 * x, in + 6 * x);
    }
}

// Two pixels are three words: d0 = Y0 | Cb0 << 16, d1 = Cr0 | Y1 << 16,
// d2 = Cb1 | Cr1 << 16. Each 8-byte texel is (0, Y, Cb, Cr) as 16-bit
// words, each word passed through map (identity for the integer kinds, the
// half table for F16).
template <typename Map>
void PackWordRow(unsigned char* out, const unsigned char* in, int32_t width, Map map)
{
    int32_t x = 0;
    for (; x + 2 <= width; x += 2) {
        const uint32_t d0 = Load32(in + 6 * x);
        const uint32_t d1 = Load32(in + 6 * x + 4);
        const uint32_t d2 = Load32(in + 6 * x + 8);
        unsigned char* texel = out + 8 * x;
        Store32(texel, map(d0 & 0xFFFFu) << 16);
        Store32(texel + 4, map(d0 >> 16) | map(d1 & 0xFFFFu) << 16);
        Store32(texel + 8, map(d1 >> 16) << 16);
        Store32(texel + 12, map(d2 & 0xFFFFu) | map(d2 >> 16) << 16);
    }
    if (x < width) {
        const unsigned char* pixel = in + 6 * x;
        unsigned char* texel = out + 8 * x;
        Store32(texel, map(Load16(pixel)) << 16);
        Store32(texel + 4, map(Load16(pixel + 2)) | map(Load16(pixel + 4)) << 16);
    }
}

// The maps are types, not function pointers, so that each row function is
// compiled with its map inlined.
struct SameWord {
    uint32_t operator()(uint32_t word) const { return word; }
};

struct HalfWord {
    uint32_t operator()(uint32_t word) const { return conversionTables.halfOfHost[word]; }
};

// ---- Texture -> host.

// Channels 1..3 of each 8-byte texel, through map, two pixels per turn
// written as three words.
template <typename Map>
void UnpackWordRow(unsigned char* out, const unsigned char* in, int32_t width, Map map)
{
    int32_t x = 0;
    for (; x + 2 <= width; x += 2) {
        const unsigned char* texel = in + 8 * x;
        const uint32_t y0 = map(Load32(texel) >> 16);
        const uint32_t cbCr0 = Load32(texel + 4);
        const uint32_t y1 = map(Load32(texel + 8) >> 16);
        const uint32_t cbCr1 = Load32(texel + 12);
        unsigned char* pixel = out + 6 * x;
        Store32(pixel, y0 | map(cbCr0 & 0xFFFFu) << 16);
        Store32(pixel + 4, map(cbCr0 >> 16) | y1 << 16);
        Store32(pixel + 8, map(cbCr1 & 0xFFFFu) | map(cbCr1 >> 16) << 16);
    }
    if (x < width) {
        const unsigned char* texel = in + 8 * x;
        unsigned char* pixel = out + 6 * x;
        Store16(pixel, static_cast<uint16_t>(map(Load16(texel + 2))));
        Store16(pixel + 2, static_cast<uint16_t>(map(Load16(texel + 4))));
        Store16(pixel + 4, static_cast<uint16_t>(map(Load16(texel + 6))));
    }
}

struct HostOfHalf {
    const int16_t* table;
    uint32_t operator()(uint32_t half) const { return static_cast<uint16_t>(table[half]); }
};

// The three 16-bit host words of one U10 result word w, as the low 16 bits
// of each: Y = (w >> 20) * 2 - 2048, Cb and Cr the 10-bit two's-complement
// fields times 8. The arithmetic shifts sign-extend a field moved to the
// top; clearing the low bits afterwards multiplies by 8.
inline uint32_t U10Y(uint32_t w)
{
    return ((w >> 19) & ~1u) - 2048u;
}

inline uint32_t U10Cb(uint32_t w)
{
    return static_cast<uint32_t>(static_cast<int32_t>(w << 12) >> 19) & ~7u;
}

inline uint32_t U10Cr(uint32_t w)
{
    return static_cast<uint32_t>(static_cast<int32_t>(w << 22) >> 19) & ~7u;
}

// One 16-bit store per value: fewer operations than merging the values into
// words, and stores are not what limits this loop.
void UnpackU10Row(unsigned char* out, const unsigned char* in, int32_t width)
{
    for (int32_t x = 0; x < width; ++x) {
        const uint32_t w = Load32(in + 4 * x);
        unsigned char* pixel = out + 6 * x;
        Store16(pixel, static_cast<uint16_t>(U10Y(w)));
        Store16(pixel + 2, static_cast<uint16_t>(U10Cb(w)));
        Store16(pixel + 4, static_cast<uint16_t>(U10Cr(w)));
    }
}

// Works on the bits of the float instead of converting through the FPU: the
// product with 4096 only moves the exponent, so truncation is a shift of the
// significand. It does not depend on the x87 precision that Direct3D lowers
// to 24 bits. Written without branches, as frames mix every exponent.
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

}  // namespace

void PackF32(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
             int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        PackFloatRow(TexelRow(texels, texelPitch, texelBytesF32, r), HostRow(host, hostPitch, r),
                     width);
    }
}

void PackF16(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
             int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        PackWordRow(TexelRow(texels, texelPitch, texelBytesF16, r), HostRow(host, hostPitch, r),
                    width, HalfWord{});
    }
}

// The texel as a little-endian 64-bit word is Y << 16 | Cb << 32 | Cr << 48.
void PackInt16(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
               int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        PackWordRow(TexelRow(texels, texelPitch, texelBytesInt16, r), HostRow(host, hostPitch, r),
                    width, SameWord{});
    }
}

// The x87 unit truncates when its rounding control says so, and converts a
// whole value in three instructions (load, scale, store as a 16-bit
// integer), where the bits take twenty. The control word is set once per
// call and the caller's environment (control word, exception flags) put
// back at the end; every exception is masked meanwhile, so a NaN or a
// product beyond the 16-bit range stores the "integer indefinite" -32768
// instead of trapping, and raises the invalid flag. Each row is converted
// without a look at what was stored; only a row that raised the flag is
// gone over again, and there the -32768s are worked out on the bits, which
// tell a true -32768 from saturation and NaN.
namespace {

struct X87Environment {
    unsigned char bytes[28];  // FNSTENV's protected-mode image
};

const float hostScale = 4096.0f;

void BeginTruncation(X87Environment* saved)
{
    uint16_t control;
    __asm__ __volatile__("fnstenv %0\n\tfnstcw %1" : "=m"(*saved), "=m"(control));
    control = static_cast<uint16_t>(control | 0x0C3Fu);  // round toward zero, all masked
    __asm__ __volatile__("fldcw %0" : : "m"(control));
}

void EndTruncation(const X87Environment* saved)
{
    __asm__ __volatile__("fldenv %0" : : "m"(*saved));
}

inline void StoreTruncated(int16_t* out, const float* channel)
{
    __asm__ __volatile__("fmuls %2\n\tfistps %0"
                         : "=m"(*out)
                         : "t"(*channel), "m"(hostScale)
                         : "st");
}

void ClearX87Flags()
{
    __asm__ __volatile__("fnclex");
}

bool X87InvalidRaised()
{
    uint16_t status;
    __asm__ __volatile__("fnstsw %0" : "=m"(status));
    return (status & 1u) != 0;
}

void TruncateRow(YCPixel* out, const float* in, int32_t width)
{
    for (int32_t x = 0; x < width; ++x) {
        StoreTruncated(&out[x].y, in + 4 * x + 1);
        StoreTruncated(&out[x].cb, in + 4 * x + 2);
        StoreTruncated(&out[x].cr, in + 4 * x + 3);
    }
}

void RedoIndefinites(YCPixel* out, const float* in, int32_t width)
{
    for (int32_t x = 0; x < width; ++x) {
        int16_t* values[3] = {&out[x].y, &out[x].cb, &out[x].cr};
        for (int c = 0; c < 3; ++c) {
            if (*values[c] == -32768) {
                *values[c] = HostFromChannelTruncated(in[4 * x + 1 + c]);
            }
        }
    }
}

}  // namespace

void UnpackF32(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    X87Environment saved;
    BeginTruncation(&saved);
    for (int32_t r = 0; r < height; ++r) {
        const float* in =
            reinterpret_cast<const float*>(TexelRow(texels, texelPitch, texelBytesF32, r));
        YCPixel* out = host + static_cast<ptrdiff_t>(r) * hostPitch;
        ClearX87Flags();
        TruncateRow(out, in, width);
        if (X87InvalidRaised()) {
            RedoIndefinites(out, in, width);
        }
    }
    EndTruncation(&saved);
}

void UnpackHalfFrame(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                     int32_t width, int32_t height, const int16_t* hostOfHalf)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        UnpackWordRow(HostRow(host, hostPitch, r), TexelRow(texels, texelPitch, texelBytesF16, r),
                      width, HostOfHalf{hostOfHalf});
    }
}

void UnpackF16(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height)
{
    UnpackHalfFrame(host, hostPitch, texels, texelPitch, width, height,
                    conversionTables.hostOfHalfTruncated);
}

void UnpackInt16(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                 int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        UnpackWordRow(HostRow(host, hostPitch, r), TexelRow(texels, texelPitch, texelBytesInt16, r),
                      width, SameWord{});
    }
}

void UnpackU10(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    for (int32_t r = 0; r < height; ++r) {
        UnpackU10Row(HostRow(host, hostPitch, r), TexelRow(texels, texelPitch, texelBytesU10, r),
                     width);
    }
}
