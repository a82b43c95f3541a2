// The effect constants that the colour tracks turn into, and the two fixed
// colour matrices, as the CPU reference model reads them. One pure function
// builds them from the track table (core/correction_tracks.h), so the engine
// that sends the table's parameters to the effect and the model that checks
// the effect's output start from the same numbers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/correction_tracks.h"

// One field per parameter row, in the rows' order. Every vector has the
// components x, y, z, w, lined up with the texture channels R, G, B, A. x is
// a spare channel that carries no colour; in the YC vectors y, z, w are Y,
// Cb, Cr, in the BGR vectors B, G, R. The effect's unit is the full Y range:
// 1.0 stands for 4096 host units.
struct CorrectionConstants {
    float ycOffs[4];    // (0, Y, Cb, Cr offsets)
    float ycAmp[4];     // (0, Y, Cb, Cr gains)
    float bgrOffs[4];   // (0, B, G, R offsets)
    float bgrAmp[4];    // (0, B, G, R gains)
    float bgrGamma[4];  // (1, B, G, R gammas)
    // Row by row, row 0 first: out_i = sum_j m[4 * i + j] * in_j. Each is
    // handed to the effect as one 64-byte block.
    float matYC2BGR[16];  // (x, Y, Cb, Cr) -> (x, B, G, R)
    float matBGR2YC[16];  // (x, B, G, R) -> (x, Y, Cb, Cr)
};

// Where parameter row `row` starts in the record, in floats.
constexpr size_t ParameterOffset(int row)
{
    size_t offset = 0;
    for (int p = 0; p < row; ++p) offset += ComponentCount(correctionParameters[p].shape);
    return offset;
}
static_assert(
    offsetof(CorrectionConstants, ycAmp) == 4 * ParameterOffset(parameterYcAmp) &&
        offsetof(CorrectionConstants, bgrOffs) == 4 * ParameterOffset(parameterBgrOffs) &&
        offsetof(CorrectionConstants, bgrAmp) == 4 * ParameterOffset(parameterBgrAmp) &&
        offsetof(CorrectionConstants, bgrGamma) == 4 * ParameterOffset(parameterBgrGamma) &&
        offsetof(CorrectionConstants, matYC2BGR) == 4 * ParameterOffset(parameterMatYC2BGR) &&
        offsetof(CorrectionConstants, matBGR2YC) == 4 * ParameterOffset(parameterMatBGR2YC) &&
        sizeof(CorrectionConstants) == 4 * ParameterOffset(correctionParameterCount),
    "the fields follow the parameter rows");

// Maps the host tracks to the constants. The colour tracks are nominally
// -256..256 (any value is mapped by the same formulas); the Format track is
// not read.
CorrectionConstants ComputeCorrectionConstants(const int32_t tracks[trackCount]);
