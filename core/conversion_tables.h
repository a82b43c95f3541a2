// Conversions of single host values and texel channels as tables over every
// input they can meet: a host value is one of 65 536 words, and so is a
// binary16 channel. A lookup replaces per-value arithmetic that would
// otherwise dominate the converters (without SSE an integer-to-float or a
// half conversion costs tens of instructions).
//
// The half tables follow the rules of D3DX's half conversion bit for bit
// (the F16 textures must not change with the way they are made): binary32
// to binary16 rounds to nearest, ties to even; exponent 31 is an ordinary
// exponent (0x7C00 is 65536, 0x7FFF is 131008), there is no infinity and no
// NaN.
//
// The tables are constants computed by the compiler: no code runs to fill
// them and they hold no state.
#pragma once

#include <cstdint>

struct ConversionTables {
    // Index: a host value's 16-bit word. The binary32 bits of value / 4096
    // (exact).
    uint32_t floatOfHost[65536];
    // Index: a host value's 16-bit word. The binary16 word of value / 4096;
    // every one is zero or a normal half within +-8.
    uint16_t halfOfHost[65536];
    // Index: a binary16 word. The host value of half * 4096, truncated
    // toward zero and saturated to -32768..32767: the plain unpack's rule.
    int16_t hostOfHalfTruncated[65536];
    // The same product rounded to nearest, ties to even, and saturated: the
    // SSE unpack's rule in the default rounding mode.
    int16_t hostOfHalfNearest[65536];
};

extern const ConversionTables conversionTables;
