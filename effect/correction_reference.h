// CPU reference model of one pixel's journey: packed into the source texel,
// sampled, corrected by the effect's steps 1-6, quantised by the render
// target and unpacked back into host units. The arithmetic is double
// precision throughout, with the effect's own single-precision constants.
// Every stage is exposed on its own so a test can check one of them, and the
// whole path reports the range of host values a correct GPU may return.
//
// Not part of the plug-in: tests and the development host link it.
//
// On a 32-bit x87 build, Direct3D device creation drops the thread's x87
// precision to 24 bits; effect/reference.cmake builds this library with SSE2
// arithmetic so its doubles stay doubles after that (std::pow of the C
// runtime may still use x87, so run the model before device creation or
// restore the control word when exact agreement matters).
#pragma once

#include <cstdint>

#include "core/correction_constants.h"
#include "effect/gpu_tolerance.h"
#include "core/half_float.h"
#include "core/texel_rules.h"
#include "host_interface/texture_format_kind.h"

// A host pixel: signed 16-bit Y, Cb, Cr, 4096 steps per unit, the layout of
// the host's own pixel record.
struct YCTriple {
    int16_t y;
    int16_t cb;
    int16_t cr;
};

// Four components x, y, z, w (texture channels R, G, B, A).
struct Vec4d {
    double c[4];
};

// The point value follows one rounding of each target and one download
// converter: by default those of the renderer the Windows-side tests run on
// (Wine's Direct3D 9 on Mesa's software OpenGL). The accepted range covers
// every rounding gpu_tolerance.h allows for the target, whatever the point
// value follows, and widens each shader step by `errors`.
struct ReferenceRules {
    HalfRounding halfTarget = HalfRounding::towardZero;
    Unorm10Rule unorm10Target = Unorm10Rule::fromUnorm16;
    FloatUnpack floatUnpack = FloatUnpack::plain;
    GpuErrorBounds errors = conformantErrors;
};

// The effect's state after each step for one pixel, components x, y, z, w.
struct ShaderTrace {
    Vec4d yc;        // step 1: decoded, YC gain and offset applied
    Vec4d bgr;       // step 2: matYC2BGR * yc
    Vec4d gamma;     // step 3: power applied inside [0, 1]
    Vec4d adjusted;  // step 4: BGR gain and offset
    Vec4d ycOut;     // step 5: matBGR2YC * adjusted, on the common scale
    Vec4d output;    // step 6: encoded for the render target, before it quantises
};

// Accepted host values per channel (0 Y, 1 Cb, 2 Cr) as integer ranges; a
// value v is accepted when some k in [lo, hi] has the low 16 bits of v (the
// comparison runs on the 16-bit ring, so a range may also be given across
// the wrap of a two's-complement encoding).
struct HostRange {
    int32_t lo[3];
    int32_t hi[3];
};

struct ReferenceResult {
    Texel source;   // the uploaded texel
    Vec4d sampled;  // what the sampler returns
    ShaderTrace shader;
    Texel target;        // the texel the render target stores
    YCTriple host;       // the pixel the download writes back
    HostRange accepted;  // what a correct GPU may give, under the rules
};

// Each stage follows the texel rule (core/texel_rules.h) of the kind's
// source or target in the kinds' table (core/format_kinds.h); a kind without
// a row there (kindNone, any other value) is refused: the process ends with
// a message.

// Stage 1, upload: the source rule's pack of (0, Y, Cb, Cr).
Texel PackSourceTexel(YCTriple pixel, TextureFormatKind kind);

// Stage 2, sampling: the source rule's reading.
Vec4d SampleSourceTexel(const Texel& texel, TextureFormatKind kind);

// Stage 3, the effect: steps 1-6 of the technique of the kind.
ShaderTrace ShadeTexel(const Vec4d& sampled, const CorrectionConstants& constants,
                       TextureFormatKind kind);

// Step 6 alone: the encoding of a step-5 result (x, Y, Cb, Cr on the common
// scale) for the kind's render target.
Vec4d EncodeForTarget(const Vec4d& ycOut, TextureFormatKind kind);

// Stage 4, the render target's quantisation of the shader output.
Texel StoreTargetTexel(const Vec4d& output, TextureFormatKind kind, const ReferenceRules& rules);

// Stage 5, the download into host units.
YCTriple UnpackTargetTexel(const Texel& texel, TextureFormatKind kind, const ReferenceRules& rules);

// All stages, plus the range of host values that a correct GPU may return:
// any conformant rounding of the target, each step within rules.errors.
ReferenceResult RunReference(YCTriple pixel, const CorrectionConstants& constants,
                             TextureFormatKind kind, const ReferenceRules& rules);

// The correction without any format's quantisation: the host pixel scaled
// exactly to the common scale (value / 4096), steps 1-5 in double precision
// with the effect's constants, and the step-5 result back in host units
// (x 4096), neither rounded nor saturated. The yardstick of the formats'
// precision.
struct ExactHostPixel {
    double c[3];  // 0 Y, 1 Cb, 2 Cr
};
ExactHostPixel ExactHostValue(YCTriple pixel, const CorrectionConstants& constants);

// Whether a returned host pixel lies within result.accepted on all three
// channels.
bool HostPixelAccepted(const ReferenceResult& result, YCTriple actual);

// ---- A less exact card ----------------------------------------------------------
//
// The model above follows the tests' renderer (Wine on Mesa's software
// OpenGL), whose sampler and arithmetic are exact on integer texels. A card is only required to be
// close, and the integer techniques make yes/no decisions (which word was a
// negative value, which result wraps, where Y12 splits) that a small error
// could turn the other way. This runs a technique as such a card would:
// the sampler's result moved by whole float32 steps, and optionally ps_2_0's
// least precision, 24-bit floats (1 sign, 7 exponent and 16 mantissa bits)
// for the sample, every constant and every operation's result. Not a model
// of any one card, and not used by the accepted ranges. With the defaults it
// is ShadeTexel.
struct LooseCard {
    int samplerSteps = 0;  // float32 steps from the exact sample: + up, - down
    bool float24 = false;
};
ShaderTrace ShadeTexelOnLooseCard(const Vec4d& sampled, const CorrectionConstants& constants,
                                  TextureFormatKind kind, const LooseCard& card);

// The nearest 24-bit float, ties to even; beyond the exponent's range zero
// or infinity.
double Float24(double value);
