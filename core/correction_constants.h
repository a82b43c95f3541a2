// The effect constants that the colour tracks turn into, and the two fixed
// colour matrices. One pure function builds them, so the engine that sends
// them to the effect and the CPU reference model that checks the effect's
// output start from the same numbers.
#pragma once

#include <cstdint>

#include "host_interface/tracks.h"

// Every vector has the components x, y, z, w, lined up with the texture
// channels R, G, B, A. x is a spare channel that carries no colour; in the
// YC vectors y, z, w are Y, Cb, Cr, in the BGR vectors B, G, R.
// The effect's unit is the full Y range: 1.0 stands for 4096 host units.
struct CorrectionConstants {
    float ycOffs[4];    // (0, t0, t2, t4) / 256
    float ycAmp[4];     // (0, t1 + 256, t3 + 256, t5 + 256) / 256
    float bgrOffs[4];   // (0, t12, t9, t6) / 256
    float bgrAmp[4];    // (0, t13 + 256, t10 + 256, t7 + 256) / 256
    float bgrGamma[4];  // (1, 8^(t14/256), 8^(t11/256), 8^(t8/256))
    // Row by row, row 0 first: out_i = sum_j m[4 * i + j] * in_j. Each is
    // handed to the effect as one 64-byte block.
    float matYC2BGR[16];  // (x, Y, Cb, Cr) -> (x, B, G, R)
    float matBGR2YC[16];  // (x, B, G, R) -> (x, Y, Cb, Cr)
};

// Maps the sixteen host tracks to the constants. The colour tracks are
// nominally -256..256 (any value is mapped by the same formulas); the Format
// track is not read.
CorrectionConstants ComputeCorrectionConstants(const int32_t tracks[trackCount]);
