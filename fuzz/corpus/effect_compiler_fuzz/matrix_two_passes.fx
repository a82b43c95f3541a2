// Two techniques, a matrix and constants defined in the shader.
row_major float4x4 m : register(c1) = { { 1, 0, 0, 0 }, { 0, 1, 0, 0 }, { 0, 0, 1, 0 }, { 0, 0, 0, 1 } };
float4 g : register(c0) = { 0.5, -1, 2.25e1, 0 };
technique A
{
    pass one
    {
        PixelShader = asm {
            ps_2_0
            def c8, 0, 1, 0.5, -2
            dcl t0
            dp4 r0.x, t0, c1
            dp4 r0.y, t0, c2
            dp4 r0.z, t0, c3
            mad_sat r0.w, t0, c8.z, c8.y
            rcp r1.x, c0.x
            pow r2, r0.x, c8.z
            cmp r0, -r0, c8.x, r0
            mov oC0, r0
        };
    }
    pass two { ZWriteEnable = TRUE; AlphaBlendEnable = FALSE; }
}
technique B { pass p { PixelShader = NULL; } }
