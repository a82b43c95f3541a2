technique T { pass p { PixelShader = asm { ps_2_0 mov oC0, c0 }; } }
