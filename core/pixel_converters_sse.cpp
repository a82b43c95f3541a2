// The SSE converters. This file alone is compiled with -msse -mmmx; it uses
// MMX and SSE instructions only, never SSE2, because that is all ProbeSse
// vouches for. It includes no C++ library templates, so no inline function
// compiled here with SSE can be picked by the linker for the plain code.
//
// The F32 pack writes the texture with streaming stores: the texels are not
// read again by the processor, and on a graphics card the locked memory of
// a dynamic texture is write-combined, where whole lines written once are
// the fast way in. It ends with SFENCE, so the texels are visible before
// the texture is unlocked.
#include "core/pixel_converters.h"

#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>

#include "core/conversion_tables.h"

// The host may call with only 4-byte stack alignment; the entry points
// realign so that spilled 16-byte values stay aligned.
#if defined(__i386__)
#define KELVO_SSE_ENTRY __attribute__((force_align_arg_pointer))
#else
#define KELVO_SSE_ENTRY
#endif

namespace {

// Every lane is scaled alike: lane 0 converts the integer 0, which stays
// +0.0.
inline __m128 PackScale()
{
    return _mm_set1_ps(1.0f / 4096.0f);
}

inline __m128 UnpackScale()
{
    return _mm_set_ps(4096.0f, 4096.0f, 4096.0f, 0.0f);
}

// (0, Y, Cb, Cr) sign-extended to 32 bits, converted and scaled. The products
// are exact, so this gives the same bits as the plain variant.
inline __m128 TexelFromPixel(const YCPixel* p, __m128 scale)
{
    const __m64 low = _mm_set_pi32(p->y, 0);
    const __m64 high = _mm_set_pi32(p->cr, p->cb);
    return _mm_mul_ps(_mm_cvtpi32x2_ps(low, high), scale);
}

// Two pixels at once, the same values. PMADDWD multiplies four signed words
// by four others and adds them in pairs into two 32-bit lanes; with factors
// of 0 and 1 it picks and sign-extends two of the words in one instruction.
// The 8 bytes at a pixel are (Y, Cb, Cr, next Y), so the pair's first 8
// bytes give (Y0, Y1) and (Cb0, Cr0), and the 8 bytes at the second pixel
// give (Cb1, Cr1): three conversions for six values. The second read ends
// with the Y of the pixel after the pair, which has to exist.
struct TexelPair {
    __m128 first;
    __m128 second;
};

inline TexelPair TexelsFromPixelPair(const YCPixel* p, __m128 scale)
{
    const __m64 pickFirstAndLast = _mm_set_pi16(1, 0, 0, 1);
    const __m64 pickMiddle = _mm_set_pi16(0, 1, 1, 0);
    const __m64 words0 = *reinterpret_cast<const __m64_u*>(p);
    const __m64 words1 = *reinterpret_cast<const __m64_u*>(p + 1);
    const __m128 zero = _mm_setzero_ps();
    const __m128 ys = _mm_unpacklo_ps(
        zero, _mm_cvtpi32_ps(zero, _mm_madd_pi16(words0, pickFirstAndLast)));  // 0 Y0 0 Y1
    const __m128 chroma0 = _mm_cvtpi32_ps(zero, _mm_madd_pi16(words0, pickMiddle));
    const __m128 chroma1 = _mm_cvtpi32_ps(zero, _mm_madd_pi16(words1, pickMiddle));
    return {_mm_mul_ps(_mm_movelh_ps(ys, chroma0), scale),
            _mm_mul_ps(_mm_shuffle_ps(ys, chroma1, _MM_SHUFFLE(1, 0, 3, 2)), scale)};
}

// Scaled, rounded under the current rounding mode (NaN and values beyond the
// 32-bit range become -2^31) and packed with signed saturation; the result
// is (Y, Cb, Cr, 0) as 16-bit lanes.
inline __m64 PixelFromTexel(__m128 texel, __m128 scale)
{
    const __m128 product = _mm_mul_ps(texel, scale);
    const __m64 lanes01 = _mm_cvtps_pi32(product);
    const __m64 lanes23 = _mm_cvtps_pi32(_mm_movehl_ps(product, product));
    return _mm_srli_si64(_mm_packs_pi32(lanes01, lanes23), 16);
}

// Every pixel but the last is stored as 8 bytes, whose last two land on the
// next pixel's Y and are overwritten by it; the last pixel of the row is
// stored as 4 + 2 bytes so that nothing past the width is touched.
inline void StorePixel(YCPixel* out, __m64 ycc)
{
    *reinterpret_cast<__m64_u*>(out) = ycc;
}

inline void StoreLastPixel(YCPixel* out, __m64 ycc)
{
    const int yCb = _mm_cvtsi64_si32(ycc);
    out->y = static_cast<int16_t>(yCb);
    out->cb = static_cast<int16_t>(yCb >> 16);
    out->cr = static_cast<int16_t>(_mm_extract_pi16(ycc, 2));
}

// A streaming store needs a 16-byte aligned texel; a surface whose rows are
// not aligned (none seen so far) takes plain stores.
template <bool streaming>
inline void StoreTexel(float* out, __m128 texel)
{
    if (streaming) {
        _mm_stream_ps(out, texel);
    } else {
        _mm_storeu_ps(out, texel);
    }
}

// Two pairs per turn while a pixel follows them, then the last pixels one
// by one.
template <bool streaming>
void PackF32Row(float* out, const YCPixel* in, int32_t width, __m128 scale)
{
    int32_t x = 0;
    for (; x + 4 < width; x += 4) {
        const TexelPair a = TexelsFromPixelPair(in + x, scale);
        const TexelPair b = TexelsFromPixelPair(in + x + 2, scale);
        StoreTexel<streaming>(out + 4 * x, a.first);
        StoreTexel<streaming>(out + 4 * x + 4, a.second);
        StoreTexel<streaming>(out + 4 * x + 8, b.first);
        StoreTexel<streaming>(out + 4 * x + 12, b.second);
    }
    for (; x < width; ++x) {
        StoreTexel<streaming>(out + 4 * x, TexelFromPixel(in + x, scale));
    }
}

}  // namespace

KELVO_SSE_ENTRY
void PackF32Sse(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
                int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    const __m128 scale = PackScale();
    const ptrdiff_t stride = TexelRowStride(texelPitch, texelBytesF32);
    for (int32_t r = 0; r < height; ++r) {
        const YCPixel* in = host + static_cast<ptrdiff_t>(r) * hostPitch;
        float* out = reinterpret_cast<float*>(static_cast<unsigned char*>(texels) + r * stride);
        if ((reinterpret_cast<uintptr_t>(out) & 15) == 0) {
            PackF32Row<true>(out, in, width, scale);
        } else {
            PackF32Row<false>(out, in, width, scale);
        }
    }
    _mm_sfence();
    _mm_empty();
}

KELVO_SSE_ENTRY
void UnpackF32Sse(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                  int32_t width, int32_t height)
{
    if (width <= 0) {
        return;
    }
    const __m128 scale = UnpackScale();
    const ptrdiff_t stride = TexelRowStride(texelPitch, texelBytesF32);
    for (int32_t r = 0; r < height; ++r) {
        const float* in =
            reinterpret_cast<const float*>(static_cast<const unsigned char*>(texels) + r * stride);
        YCPixel* out = host + static_cast<ptrdiff_t>(r) * hostPitch;
        int32_t x = 0;
        for (; x + 1 < width; ++x) {
            StorePixel(out + x, PixelFromTexel(_mm_load_ps(in + 4 * x), scale));
        }
        StoreLastPixel(out + x, PixelFromTexel(_mm_load_ps(in + 4 * x), scale));
    }
    _mm_empty();
}

// The nearest-even table gives what converting the exact half and rounding
// it would give in the default rounding mode.
void UnpackF16Sse(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                  int32_t width, int32_t height)
{
    UnpackHalfFrame(host, hostPitch, texels, texelPitch, width, height,
                    conversionTables.hostOfHalfNearest);
}
