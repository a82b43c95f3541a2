// binary16 one value at a time, both ways, in integer arithmetic on the
// bits: the statement of half floats that the reference model, the
// converter tests and the converter fuzz target share.
//
// Two readings of the 31st exponent:
//   ieee: Direct3D's A16B16G16R16F targets and samplers. Exponent 31 holds
//         the infinities and NaNs; the largest finite half is 65504.
//   d3dx: D3DX's half, which the F16 converters follow. Exponent 31 is an
//         ordinary exponent (0x7C00 is 65536, 0x7FFF is 131008); a value
//         whose rounded magnitude is beyond 131008, an infinity and a NaN
//         become 0x7FFF with the input's sign bit.
// Subnormals are kept in both, and a half is exact in a double either way.
// The result does not depend on the floating-point environment.
#pragma once

#include <cstdint>

// How a value becomes a half: what an A16B16G16R16F render target does with
// the shader's float, and what a caller of HalfFromDouble asks for.
enum class HalfRounding { towardZero, nearestEven };

enum class HalfFormat { ieee, d3dx };

// The half of value, rounded as asked. ieee beyond the largest finite half:
// infinity when rounding to nearest (from 65520 up, the midpoint to 2^16),
// 65504 when rounding toward zero; a NaN gives 0x7E00.
uint16_t HalfFromDouble(double value, HalfRounding rounding, HalfFormat format = HalfFormat::ieee);

// The value of a half, exact.
double DoubleFromHalf(uint16_t bits, HalfFormat format = HalfFormat::ieee);
