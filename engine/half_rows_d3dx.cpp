// The half-row service of the plug-in: D3DX's own conversion.
#include "engine/half_rows.h"

#include <d3dx9math.h>

static_assert(sizeof(D3DXFLOAT16) == sizeof(uint16_t), "D3DXFLOAT16 is one 16-bit word");

void HalvesFromFloats(uint16_t* out, const float* in, uint32_t count)
{
    D3DXFloat32To16Array(reinterpret_cast<D3DXFLOAT16*>(out), in, count);
}

void FloatsFromHalves(float* out, const uint16_t* in, uint32_t count)
{
    D3DXFloat16To32Array(out, reinterpret_cast<const D3DXFLOAT16*>(in), count);
}
