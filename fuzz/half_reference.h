// Conversion between binary32 and binary16 by D3DX's rules, written out in
// full: the fuzz target's independent statement of what the F16 converters'
// tables must hold.
//
// The rules are those of D3DX's half format, which has no infinity and no
// NaN: exponent 31 is an ordinary exponent (0x7C00 is 65536, 0x7FFF is
// 131008). Binary32 to binary16 rounds to nearest, ties to even (subnormals
// included); a value whose rounded magnitude is beyond 131008, an infinity
// and a NaN become 0x7FFF with the input's sign bit. Binary16 to binary32 is
// exact.
#pragma once

#include <cstdint>

void HalvesFromFloats(uint16_t* out, const float* in, uint32_t count);
void FloatsFromHalves(float* out, const uint16_t* in, uint32_t count);
