// The pixel converters between the host's YCPixel rows and the texel rows of
// a locked Direct3D 9 surface, on plain memory.
//
// Every converter takes the host rows with their pitch in pixels, the texel
// rows with their pitch in bytes, the width and the height. Texel row r
// starts r * TexelRowStride(texelPitch, texel bytes) after the first texel,
// host row r starts r * hostPitch pixels after the first pixel. Only the first
// width pixels and texels of a row are read or written; a width or height of
// 0 or less does nothing.
//
// Texel layout, channels in memory order: channel 0 carries nothing, 1 Y,
// 2 Cb, 3 Cr. Float kinds hold value / 4096, the 16-bit kinds the host's bit
// pattern. The U10 result is one 32-bit word: Y as the 12 bits 20..31
// ((w >> 20) * 2 - 2048), Cb in bits 10..19 and Cr in bits 0..9 as 10-bit
// two's complement times 8.
//
// The *Sse variants use MMX and SSE instructions only (no SSE2), so they may
// run wherever ProbeSse says yes; they realign the stack on entry because
// the host may call with 4-byte alignment. UnpackF32Sse reads each texel
// with an aligned 16-byte load: its texel rows must start at 16-byte
// aligned addresses, as a locked F32 surface does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host_interface/yc_pixel.h"

// Texel sizes in bytes.
constexpr int32_t texelBytesF32 = 16;
constexpr int32_t texelBytesF16 = 8;
constexpr int32_t texelBytesInt16 = 8;
constexpr int32_t texelBytesU10 = 4;

// Bytes between texel rows as the converters step: a surface pitch that is
// not a multiple of the texel size is rounded toward zero to one, as
// Direct3D addresses rows in whole texels.
constexpr ptrdiff_t TexelRowStride(int32_t texelPitch, int32_t texelBytes)
{
    return static_cast<ptrdiff_t>(texelPitch / texelBytes) * texelBytes;
}

// Host -> texture. F32: (0, Y, Cb, Cr) / 4096 as binary32; F16: the same as
// binary16 (conversion_tables.h), one lookup per value and so no SSE
// variant; Int16 (U16, S16 and the U10
// source): (0, Y, Cb, Cr) as 16-bit words, unscaled.
void PackF32(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
             int32_t width, int32_t height);
void PackF32Sse(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
                int32_t width, int32_t height);
void PackF16(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
             int32_t width, int32_t height);
void PackInt16(const YCPixel* host, int32_t hostPitch, void* texels, int32_t texelPitch,
               int32_t width, int32_t height);

// Texture -> host. Float kinds turn channel * 4096 into a host value:
//   plain: truncated toward zero, saturated to -32768..32767; NaN gives 0.
//   SSE:   rounded under the current SSE rounding mode (nearest even by
//          default), saturated; NaN and products beyond the 32-bit range
//          give -32768. A half channel is always rounded to nearest even
//          (it is looked up, not converted).
// Int16 copies the words of channels 1..3; U10 decodes the packed word.
void UnpackF32(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height);
void UnpackF32Sse(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                  int32_t width, int32_t height);
void UnpackF16(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height);
void UnpackF16Sse(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                  int32_t width, int32_t height);
void UnpackInt16(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                 int32_t width, int32_t height);
void UnpackU10(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
               int32_t width, int32_t height);

// The F16 unpack of both variants, which differ only in their rounding:
// each half channel's host value from hostOfHalf, one of the two tables of
// conversion_tables.h. Lookups leave nothing for SIMD instructions to do.
void UnpackHalfFrame(YCPixel* host, int32_t hostPitch, const void* texels, int32_t texelPitch,
                     int32_t width, int32_t height, const int16_t* hostOfHalf);

// The converters as values: every one of them has one of these signatures.
using PackRowsFunction = void (*)(const YCPixel*, int32_t, void*, int32_t, int32_t, int32_t);
using UnpackRowsFunction = void (*)(YCPixel*, int32_t, const void*, int32_t, int32_t, int32_t);
