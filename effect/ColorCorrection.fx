// Colour correction of one texel: YC gain/offset, BT.601 to BGR, gamma inside
// 0..1, BGR gain/offset, back to YC. One technique per family of working
// texture formats; they differ only in how the texel is decoded and how the
// result is encoded for the render target.
//
// Texels carry (spare, Y, Cb, Cr) in x, y, z, w; BGR vectors carry
// (spare, B, G, R). Inside the shaders 1.0 stands for 4096 host units.
//
// The shaders are hand-written ps_2_0 assembly. Parameters reach them only
// through each shader's constant table, which effectc builds from the
// register() bindings below, so the bindings are the contract between the
// parameter list and the assembly:
//   c0 ycOffs   c1 ycAmp   c2 bgrOffs   c3 bgrAmp   c4 bgrGamma
//   c5-c8 matYC2BGR (rows)   c9-c12 matBGR2YC (rows)   s0 samSrc
// Literal constants live in c16 and up, away from the bound range.

texture txSrc;

// Point sampling with clamping: each pixel reads exactly the texel under it.
sampler2D samSrc : register(s0) = sampler_state
{
    Texture = <txSrc>;
    AddressU = CLAMP;
    AddressV = CLAMP;
    MinFilter = POINT;
    MagFilter = POINT;
};

float4 ycOffs : register(c0) = { 0, 0, 0, 0 };
float4 ycAmp : register(c1) = { 0, 0, 0, 0 };
float4 bgrOffs : register(c2) = { 0, 0, 0, 0 };
float4 bgrAmp : register(c3) = { 0, 0, 0, 0 };
float4 bgrGamma : register(c4) = { 0, 0, 0, 0 };

// row_major puts one matrix row in each register, so out_i = dp4(row i, in)
// computes M * v with the matrix on the left, as the values are laid out.
row_major float4x4 matYC2BGR : register(c5) = { { 0, 0, 0, 0 }, { 0, 0, 0, 0 }, { 0, 0, 0, 0 }, { 0, 0, 0, 0 } };
row_major float4x4 matBGR2YC : register(c9) = { { 0, 0, 0, 0 }, { 0, 0, 0, 0 }, { 0, 0, 0, 0 }, { 0, 0, 0, 0 } };

// The middle of every shader (BGR conversion, gamma, BGR gain, back to YC)
// is the same instruction sequence, written out in each technique because
// effect asm blocks cannot share code. It is commented once, in
// ColorCorrection. In: r0 = yc. Out: r0 = yc. Clobbers r1-r4.

technique ColorCorrection
{
    pass p0
    {
        VertexShader = NULL;
        PixelShader = asm
        {
            ps_2_0
            // F32 and F16: the texel already holds values on the 1.0 = 4096 scale.
            dcl t0.xy
            dcl_2d s0

            texld r0, t0, s0
            mad r0, r0, c1, c0

            // Registers hold matrix rows, so each output lane is one dp4.
            // Row 0 is zero: the spare lane comes out 0.
            dp4 r1.x, c5, r0
            dp4 r1.y, c6, r0
            dp4 r1.z, c7, r0
            dp4 r1.w, c8, r0
            // Gamma only inside 0..1: raise the clamped value and add back
            // what the clamp removed, so values outside pass unchanged.
            mov_sat r2, r1
            // log and exp are scalar in ps_2_0 (replicate swizzle in, one lane
            // out). exp2(g * log2 q) keeps 0 and 1 fixed for any g > 0; the
            // spare lane goes through log(0) = -inf and comes back 0.
            log r3.x, r2.x
            log r3.y, r2.y
            log r3.z, r2.z
            log r3.w, r2.w
            mul r3, r3, c4
            exp r4.x, r3.x
            exp r4.y, r3.y
            exp r4.z, r3.z
            exp r4.w, r3.w
            sub r1, r1, r2
            add r1, r1, r4
            mad r1, r1, c3, c2          // gain applies after the gamma
            dp4 r0.x, c9, r1
            dp4 r0.y, c10, r1
            dp4 r0.z, c11, r1
            dp4 r0.w, c12, r1

            // Float targets take the result as it is, out-of-range values included.
            mov oC0, r0
        };
        ZEnable = false;
    }
}

technique ColorCorrectionU16
{
    pass p0
    {
        VertexShader = NULL;
        PixelShader = asm
        {
            ps_2_0
            // The texture holds the host's signed 16-bit values as raw bits,
            // sampled as unsigned n/65535. Undo that, then wrap the upper half
            // back to negatives. cmp is the only per-component select in
            // ps_2_0 (no slt/sge); the unused branch adds -0 so 0 stays 0.
            // Every decision falls half a step between two valid values, so
            // a card whose sampler or arithmetic is a little off still takes
            // the same branch: an edge on a valid value would turn -32768
            // into +32767 on a card that samples the word 32768 a hair low.
            def c16, 65535, -32767.5, -65536, 0.000244140625
            def c17, 4096, 32767, 1.5259021893143654e-05, -0.0
            def c18, -32768, 0.5, 0, 0
            dcl t0.xy
            dcl_2d s0

            texld r0, t0, s0
            mul r0, r0, c16.x           // n: the unsigned bit pattern
            add r1, r0, c16.y
            cmp r1, r1, c16.z, c17.w    // n >= 32767.5: words from 32768 up were negative
            add r0, r0, r1
            mul r0, r0, c1              // gain in host units, then to the 4096 scale
            mad r0, r0, c16.w, c0

            dp4 r1.x, c5, r0
            dp4 r1.y, c6, r0
            dp4 r1.z, c7, r0
            dp4 r1.w, c8, r0
            mov_sat r2, r1
            log r3.x, r2.x
            log r3.y, r2.y
            log r3.z, r2.z
            log r3.w, r2.w
            mul r3, r3, c4
            exp r4.x, r3.x
            exp r4.y, r3.y
            exp r4.z, r3.z
            exp r4.w, r3.w
            sub r1, r1, r2
            add r1, r1, r4
            mad r1, r1, c3, c2
            dp4 r0.x, c9, r1
            dp4 r0.y, c10, r1
            dp4 r0.z, c11, r1
            dp4 r0.w, c12, r1

            // The unsigned target stores round(v * 65535): clamp to the signed
            // 16-bit range in host units and wrap negatives by 65536 so the
            // stored bits are the two's-complement host value. Only results
            // below -0.5 wrap: one in (-0.5, 0) goes out negative, which the
            // target stores as 0, its nearest host value.
            mul r0, r0, c17.x
            max r0, r0, c18.x
            min r0, r0, c17.y
            add r1, r0, c18.y
            cmp r1, r1, c17.w, c16.z
            sub r0, r0, r1
            mul r0, r0, c17.z
            mov oC0, r0
        };
        ZEnable = false;
    }
}

technique ColorCorrectionS16
{
    pass p0
    {
        VertexShader = NULL;
        PixelShader = asm
        {
            ps_2_0
            // Signed normalised texels arrive as v/32767; 32767/4096 brings them
            // to the 4096 scale, 4096/32767 takes them back. The target clamps
            // to [-1, 1] itself, so the shader does not.
            def c16, 7.999755859375, 0.12500381469726562, 0, 0
            dcl t0.xy
            dcl_2d s0

            texld r0, t0, s0
            mul r0, r0, c1
            mad r0, r0, c16.x, c0

            dp4 r1.x, c5, r0
            dp4 r1.y, c6, r0
            dp4 r1.z, c7, r0
            dp4 r1.w, c8, r0
            mov_sat r2, r1
            log r3.x, r2.x
            log r3.y, r2.y
            log r3.z, r2.z
            log r3.w, r2.w
            mul r3, r3, c4
            exp r4.x, r3.x
            exp r4.y, r3.y
            exp r4.z, r3.z
            exp r4.w, r3.w
            sub r1, r1, r2
            add r1, r1, r4
            mad r1, r1, c3, c2
            dp4 r0.x, c9, r1
            dp4 r0.y, c10, r1
            dp4 r0.z, c11, r1
            dp4 r0.w, c12, r1

            mul r0, r0, c16.y
            mov oC0, r0
        };
        ZEnable = false;
    }
}

technique ColorCorrectionU10
{
    pass p0
    {
        VertexShader = NULL;
        PixelShader = asm
        {
            ps_2_0
            // Decoding as in ColorCorrectionU16. The result is packed for an
            // A2B10G10R10 target: R = Cr/8 and G = Cb/8 as 10-bit two's
            // complement, B and A the low ten and high two bits of
            // Y12 = (Y + 2048)/2. The target stores round(v * 1023) and
            // round(v * 3), so each field is pre-divided by its maximum.
            // As there, every decision falls half a step between two codes:
            // chroma wraps below -0.5 (in (-0.5, 0) it stores 0, the nearest
            // code), and Y12 + 0.5 is split, so a Y12 from 1023.5 up carries
            // into hi instead of saturating the low field at 1023.
            def c16, 65535, -32767.5, -65536, 0.000244140625
            def c17, -0.0, 1024, 0.0009765625, 0.5
            def c18, 0, 2048, 512, 512          // to Y12, Cb10, Cr10 (lane order x, Y, Cb, Cr)
            def c19, 0, 1024, 0, 0
            def c20, 0, 0, -512, -512           // field ranges
            def c21, 0, 4095, 511, 511
            def c22, 0.0009775171056389809, 1.0009775161743164, 0.3333333432674408, -0.0004887585528194904
            dcl t0.xy
            dcl_2d s0

            texld r0, t0, s0
            mul r0, r0, c16.x
            add r1, r0, c16.y
            cmp r1, r1, c16.z, c17.x
            add r0, r0, r1
            mul r0, r0, c1
            mad r0, r0, c16.w, c0

            dp4 r1.x, c5, r0
            dp4 r1.y, c6, r0
            dp4 r1.z, c7, r0
            dp4 r1.w, c8, r0
            mov_sat r2, r1
            log r3.x, r2.x
            log r3.y, r2.y
            log r3.z, r2.z
            log r3.w, r2.w
            mul r3, r3, c4
            exp r4.x, r3.x
            exp r4.y, r3.y
            exp r4.z, r3.z
            exp r4.w, r3.w
            sub r1, r1, r2
            add r1, r1, r4
            mad r1, r1, c3, c2
            dp4 r0.x, c9, r1
            dp4 r0.y, c10, r1
            dp4 r0.z, c11, r1
            dp4 r0.w, c12, r1

            mad r1, r0, c18, c19
            max r1, r1, c20
            min r1, r1, c21
            add r5, r1, c17.w           // + 0.5: the decisions fall between two codes
            cmp r2, r5, c17.x, c17.y    // chroma below -0.5: +1024, two's complement
            add r1, r1, r2
            mul r2.y, r5.y, c17.z       // (Y12 + 0.5)/1024
            frc r3.y, r2.y              // lo: (the low ten bits + 0.5)/1024
            sub r2.y, r2.y, r3.y        // hi: floor, since ps_2_0 has no floor
            mul r4.xy, r1.wzyx, c22.x   // R = Cr10, G = Cb10: .wzyx is one of ps_2_0's few swizzles
            mad r4.z, r3.y, c22.y, c22.w  // (lo * 1024 - 0.5)/1023: -0.5..1023.5 saturates, never wraps
            mul r4.w, r2.y, c22.z
            mov oC0, r4
        };
        ZEnable = false;
    }
}
