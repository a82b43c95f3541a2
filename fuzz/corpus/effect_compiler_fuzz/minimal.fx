texture tx;
sampler2D smp : register(s0) = sampler_state { Texture = <tx>; MinFilter = POINT; AddressU = CLAMP; };
float4 k : register(c0) = { 1, 2, 3, 4 };
technique T
{
    pass p0
    {
        ZEnable = FALSE;
        CullMode = NONE;
        VertexShader = NULL;
        PixelShader = asm {
            ps_2_0
            dcl t0.xy
            dcl_2d s0
            texld r0, t0, s0
            mul r0, r0, c0
            mov oC0, r0
        };
    }
}
