// Checking the plug-in's output against the CPU reference model of the
// correction. Each pixel's expected value comes from RunReference with the
// constants of the tracks the frame was processed with, in the format kind
// the plug-in reported. A pixel counts as right when it lies in the model's
// accepted range, which covers every rounding of the render target and every
// arithmetic error a correct card may have (effect/gpu_tolerance.h), under
// either download converter (plain or SSE) a plug-in may unpack float
// results with. Its error is the distance to the nearest of four point
// values: the two converters with half-float targets truncated or rounded.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "effect/correction_reference.h"
#include "core/correction_tracks.h"
#include "pictures/yc_frame.h"

struct VerifyTotals {
    int64_t frames = 0;
    int64_t pixels = 0;
    int64_t outside = 0;           // pixels outside every accepted range
    int32_t largestError[3] = {};  // Y, Cb, Cr in host units
    // The first pixel outside, for the report.
    bool hasExample = false;
    int64_t exampleFrame = 0;
    int exampleX = 0;
    int exampleY = 0;
    YCPixel exampleInput = {};
    YCPixel exampleExpected = {};
    YCPixel exampleActual = {};
};

constexpr int ruleSetCount = 4;

struct PixelExpectation {
    YCTriple host[ruleSetCount];  // point values per rule set
    HostRange accepted[ruleSetCount];
};

// Remembers the expectations of pixel values seen with the same tracks and
// kind; pictures repeat values a lot and the model is not cheap.
struct Verifier {
    int32_t tracks[trackCount] = {};
    TextureFormatKind kind = kindNone;
    bool primed = false;
    CorrectionConstants constants = {};
    std::unordered_map<uint64_t, PixelExpectation> cache;
};

PixelExpectation ExpectPixel(const CorrectionConstants& constants, TextureFormatKind kind,
                             YCPixel input);

// How far apart two host values are, in host units, whatever the texture
// format carried them as: -1 and 0 are 1 apart, the two ends of the range
// 65535. (U16 and U10 carry a negative value as its unsigned word, 0xFFFF
// for -1, but the host and its user see the signed value.)
int32_t HostUnitDistance(int16_t a, int16_t b);

// Compares the first `width` pixels of every row of `output` with what the
// model makes of `input` (both frames of the same size).
void VerifyFrame(Verifier* verifier, const int32_t tracks[trackCount], TextureFormatKind kind,
                 const YCFrame& input, const YCFrame& output, VerifyTotals* totals);
