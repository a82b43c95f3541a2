// ps_2_0 assembler: text of an asm block -> Direct3D 9 shader tokens.
//
// It accepts one instruction per line, comments '//', '/* */' and ';', and
// checks the rules the runtime's shader validator applies to ps_2_0 (register
// ranges, read ports, swizzles, texld operands, output writes, slot limits),
// because Wine runs invalid shaders without complaint and the problem would
// only show on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics.h"

namespace effectc {

// D3DSHADER_PARAM_REGISTER_TYPE values used by ps_2_0.
enum RegisterType : uint32_t {
    regTemp = 0,
    regInput = 1,
    regConst = 2,
    regTexture = 3,
    regColorOut = 8,
    regDepthOut = 9,
    regSampler = 10,
};

// D3DSAMPLER_TEXTURE_TYPE, as stored in bits 27-30 of a sampler dcl.
enum SamplerTextureType : uint32_t {
    texture2D = 2,
    textureCube = 3,
    textureVolume = 4,
};

struct RegisterUse {
    int index = 0;
    SourceLocation at;
};

struct SamplerDecl {
    int index = 0;
    SamplerTextureType type = texture2D;
    SourceLocation at;
};

struct AssembledShader {
    std::vector<uint32_t> tokens;               // version token ... end token; no comments yet
    std::vector<RegisterUse> constantsRead;     // c# read by instructions, first use each
    std::vector<RegisterUse> constantsDefined;  // c# written by def
    std::vector<SamplerDecl> samplers;          // s# declared by dcl_*
    int arithmeticSlots = 0;
    int textureSlots = 0;
};

constexpr uint32_t ps20VersionToken = 0xFFFF0200u;
constexpr uint32_t shaderEndToken = 0x0000FFFFu;
constexpr int ps20MaxArithmeticSlots = 64;
constexpr int ps20MaxTextureSlots = 32;

// origin is where the text starts in the effect file, so that errors point
// into the file rather than into the block.
AssembledShader AssemblePixelShader(const std::string& text, SourceLocation origin,
                                    Diagnostics& diags);

}  // namespace effectc
