// Whole-pipeline tests: effect source in, blob or positioned errors out; and
// the project's own effect file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compiler.h"
#include "fx_reader.h"

namespace {

// A minimal effect in the project's shape; tests splice faults into it.
const char* const goodHeader =
    "texture tx;\n"                                                        // 1
    "sampler2D smp : register(s0) = sampler_state { Texture = <tx>; };\n"  // 2
    "float4 k : register(c0) = { 1, 2, 3, 4 };\n";                         // 3

std::string pass(const std::string& states)
{
    // After goodHeader the states start on line 8.
    return "technique T\n{\n    pass p0\n    {\n" + states + "    }\n}\n";
}

const char* const goodShader = "        PixelShader = asm {\n"
                               "            ps_2_0\n"
                               "            dcl t0.xy\n"
                               "            dcl_2d s0\n"
                               "            texld r0, t0, s0\n"
                               "            mul r0, r0, c0\n"
                               "            mov oC0, r0\n"
                               "        };\n";

std::vector<std::string> compileErrors(const std::string& source)
{
    effectc::Diagnostics diags;
    std::vector<uint8_t> blob;
    bool ok = effectc::CompileEffect(source, "t.fx", blob, diags);
    std::vector<std::string> out;
    for (const auto& d : diags.errors) out.push_back(effectc::FormatDiagnostic("t.fx", d));
    EXPECT_EQ(ok, out.empty());
    EXPECT_EQ(blob.empty(), !ok);  // never a blob alongside errors
    return out;
}

bool hasError(const std::vector<std::string>& errors, const std::string& prefix,
              const std::string& part)
{
    for (const auto& e : errors)
        if (e.compare(0, prefix.size(), prefix) == 0 && e.find(part) != std::string::npos)
            return true;
    return false;
}

std::string describe(const std::vector<std::string>& errors)
{
    std::string s;
    for (const auto& e : errors) s += "\n  " + e;
    return s;
}

}  // namespace

TEST(Compiler, MinimalEffectCompilesAndBindsThroughTheConstantTable)
{
    effectc::Diagnostics diags;
    std::vector<uint8_t> blob;
    ASSERT_TRUE(effectc::CompileEffect(std::string(goodHeader) + pass(goodShader), "dir/t.fx", blob,
                                       diags));
    test::FxFile fx;
    std::string error;
    ASSERT_TRUE(test::readFx(blob, fx, error)) << error;
    ASSERT_EQ(fx.resources.size(), 2u);
    std::vector<test::CtabRecord> table;
    std::string creator;
    ASSERT_TRUE(test::readConstantTable(fx.resources[0].data, table, creator, error)) << error;
    EXPECT_NE(creator.find("dir/t.fx"), std::string::npos);  // the blob names its source
    ASSERT_EQ(table.size(), 2u);  // in parameter order: the sampler, then k
    EXPECT_EQ(table[0].name, "smp");
    EXPECT_EQ(table[0].registerSet, 3u);
    EXPECT_EQ(table[1].name, "k");
    EXPECT_EQ(table[1].registerSet, 2u);
    EXPECT_EQ(table[1].registerCount, 1u);
    EXPECT_EQ(fx.parameters[2].value,
              (std::vector<uint32_t>{0x3F800000, 0x40000000, 0x40400000, 0x40800000}));
}

TEST(Compiler, ErrorsCarryLineAndColumn)
{
    // Unknown state (line 8, column 9) and a bad value (line 9) in one pass: both reported.
    auto errors = compileErrors(std::string(goodHeader) +
                                pass("        ZFunk = LESS;\n        ZEnable = maybe;\n"));
    ASSERT_EQ(errors.size(), 2u) << describe(errors);
    EXPECT_EQ(errors[0], "t.fx:8:9: error: unknown pass state 'ZFunk'");
    EXPECT_TRUE(hasError(errors, "t.fx:9:19:", "invalid value for ZEnable")) << describe(errors);

    errors = compileErrors(std::string(goodHeader) + "float4 k;\n" + pass(goodShader));
    EXPECT_TRUE(hasError(errors, "t.fx:4:8:", "duplicate parameter 'k' (first declared at 3:8)"))
        << describe(errors);

    errors = compileErrors(std::string(goodHeader) + pass(goodShader) + pass(goodShader));
    EXPECT_TRUE(hasError(errors, "t.fx:", "duplicate technique 'T'")) << describe(errors);

    errors = compileErrors(std::string(goodHeader) + "int n;\n" + pass(goodShader));
    EXPECT_TRUE(hasError(errors, "t.fx:4:1:", "unsupported type 'int'")) << describe(errors);

    errors = compileErrors(std::string(goodHeader) + "float4 s : COLOR0;\n" + pass(goodShader));
    EXPECT_TRUE(hasError(errors, "t.fx:4:12:", "semantics are not supported")) << describe(errors);

    errors = compileErrors("float4 a = { 1, 2 }\nfloat4 b;\n");
    EXPECT_TRUE(hasError(errors, "t.fx:2:1:", "expected ';'")) << describe(errors);
}

TEST(Compiler, AssemblyErrorsPointIntoTheEffectFile)
{
    std::string shader = goodShader;
    shader.replace(shader.find("mul r0"), 3, "mux");
    auto errors = compileErrors(std::string(goodHeader) + pass(shader));
    ASSERT_EQ(errors.size(), 1u) << describe(errors);
    EXPECT_EQ(errors[0], "t.fx:13:13: error: unknown instruction 'mux'");

    // On the opening line of the block, columns continue after the brace.
    errors = compileErrors(std::string(goodHeader) +
                           pass("        PixelShader = asm { ps_2_0 \n mov oC0, c9 };\n"));
    EXPECT_TRUE(hasError(errors, "t.fx:9:11:", "c9 is neither defined")) << describe(errors);
    errors =
        compileErrors(std::string(goodHeader) + pass("        PixelShader = asm { ps_3_0 };\n"));
    EXPECT_TRUE(hasError(errors, "t.fx:8:29:", "only ps_2_0")) << describe(errors);
}

TEST(Compiler, RegisterBindingsAreChecked)
{
    // def over a register that carries a parameter would silently win.
    std::string shader = goodShader;
    shader.insert(shader.find("            dcl t0"), "            def c0, 0, 0, 0, 0\n");
    auto errors = compileErrors(std::string(goodHeader) + pass(shader));
    EXPECT_TRUE(hasError(errors, "t.fx:10:17:", "bound to parameter 'k'")) << describe(errors);

    errors =
        compileErrors(std::string(goodHeader) + "float4x4 m : register(c0);\n" + pass(goodShader));
    EXPECT_TRUE(hasError(errors, "t.fx:4:23:", "overlaps 'k'")) << describe(errors);

    errors = compileErrors(std::string(goodHeader) + "row_major float4x4 m : register(c29);\n" +
                           pass(goodShader));
    EXPECT_TRUE(hasError(errors, "t.fx:4:33:", "does not fit")) << describe(errors);

    errors =
        compileErrors(std::string(goodHeader) + "float4 v : register(s1);\n" + pass(goodShader));
    EXPECT_TRUE(hasError(errors, "t.fx:4:21:", "needs a c# register")) << describe(errors);

    std::string noSampler = goodShader;
    noSampler.replace(noSampler.find("dcl_2d s0"), 9, "dcl_2d s1");
    noSampler.replace(noSampler.find("t0, s0"), 6, "t0, s1");
    errors = compileErrors(std::string(goodHeader) + pass(noSampler));
    EXPECT_TRUE(hasError(errors, "t.fx:11:20:", "s1 is not bound")) << describe(errors);
}

TEST(Compiler, StatesAndValuesOutsideTheSubset)
{
    auto errors =
        compileErrors(std::string(goodHeader) + pass("        VertexShader = asm { vs_2_0 };\n"));
    EXPECT_TRUE(hasError(errors, "t.fx:8:24:", "vertex shaders are not supported"))
        << describe(errors);

    errors = compileErrors(
        "texture tx;\nsampler2D s = sampler_state { Texture = <nope>; MipFilter = CLAMP; };\n" +
        pass("        ZEnable = true;\n"));
    EXPECT_TRUE(hasError(errors, "t.fx:2:41:", "'nope' is not a texture parameter"))
        << describe(errors);
    EXPECT_TRUE(hasError(errors, "t.fx:2:61:", "invalid value for MipFilter")) << describe(errors);

    errors = compileErrors(std::string(goodHeader) +
                           pass("        ZEnable = false;\n        zenable = true;\n"));
    EXPECT_TRUE(hasError(errors, "t.fx:9:9:", "already set at 8:9")) << describe(errors);

    errors =
        compileErrors(std::string(goodHeader) + "float4 f = { 1, 2, 3 };\n" + pass(goodShader));
    EXPECT_TRUE(hasError(errors, "t.fx:4:12:", "has 3 values; expected 4")) << describe(errors);

    errors = compileErrors("/* never closed\n");
    EXPECT_TRUE(hasError(errors, "t.fx:1:1:", "unterminated block comment")) << describe(errors);
}

TEST(Compiler, ProjectEffectCompiles)
{
    std::ifstream in(COLOR_CORRECTION_FX, std::ios::binary);
    ASSERT_TRUE(in) << COLOR_CORRECTION_FX;
    std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    effectc::Diagnostics diags;
    std::vector<uint8_t> blob;
    bool ok = effectc::CompileEffect(source, "ColorCorrection.fx", blob, diags);
    std::string all;
    for (const auto& d : diags.errors)
        all += "\n" + effectc::FormatDiagnostic("ColorCorrection.fx", d);
    ASSERT_TRUE(ok) << all;

    test::FxFile fx;
    std::string error;
    ASSERT_TRUE(test::readFx(blob, fx, error)) << error;

    // The engine finds these by name; the matrices must report MATRIX_ROWS.
    const char* names[] = {"txSrc",  "samSrc",   "ycOffs",    "ycAmp",    "bgrOffs",
                           "bgrAmp", "bgrGamma", "matYC2BGR", "matBGR2YC"};
    ASSERT_EQ(fx.parameters.size(), 9u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(fx.parameters[i].name, names[i]);
    EXPECT_EQ(fx.parameters[0].type.type, 5u);   // TEXTURE
    EXPECT_EQ(fx.parameters[1].type.type, 12u);  // SAMPLER2D
    for (int i = 2; i < 7; ++i) EXPECT_EQ(fx.parameters[i].type.cls, 1u) << names[i];
    for (int i = 7; i < 9; ++i) {
        EXPECT_EQ(fx.parameters[i].type.cls, 2u) << names[i];
        EXPECT_EQ(fx.parameters[i].value, std::vector<uint32_t>(16, 0));
    }
    // Sampler states in order: Texture, AddressU, AddressV, MinFilter, MagFilter.
    const uint32_t samplerOps[] = {164, 165, 166, 170, 169};
    const uint32_t samplerValues[] = {0, 3, 3, 1, 1};
    ASSERT_EQ(fx.parameters[1].samplerStates.size(), 5u);
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(fx.parameters[1].samplerStates[i].op, samplerOps[i]);
        EXPECT_EQ(fx.parameters[1].samplerStates[i].value, samplerValues[i]);
    }
    EXPECT_EQ(fx.parameters[1].samplerStates[0].op, samplerOps[0]);

    const char* techniques[] = {"ColorCorrection", "ColorCorrectionU16", "ColorCorrectionS16",
                                "ColorCorrectionU10"};
    ASSERT_EQ(fx.techniques.size(), 4u);
    for (int t = 0; t < 4; ++t) {
        const auto& tech = fx.techniques[t];
        EXPECT_EQ(tech.name, techniques[t]);
        ASSERT_EQ(tech.passes.size(), 1u);
        EXPECT_EQ(tech.passes[0].name, "p0");
        ASSERT_EQ(tech.passes[0].states.size(), 3u);
        EXPECT_EQ(tech.passes[0].states[0].op, 146u);  // VertexShader = NULL
        EXPECT_EQ(tech.passes[0].states[0].value, 0u);
        EXPECT_EQ(tech.passes[0].states[1].op, 147u);  // PixelShader
        EXPECT_EQ(tech.passes[0].states[2].op, 0u);    // ZEnable = false
        EXPECT_EQ(tech.passes[0].states[2].value, 0u);
    }

    // Every shader names each parameter it reads, at the documented registers.
    int shaders = 0;
    for (const auto& res : fx.resources) {
        if (res.usage != 0) continue;
        ++shaders;
        std::vector<test::CtabRecord> table;
        std::string creator;
        ASSERT_TRUE(test::readConstantTable(res.data, table, creator, error)) << error;
        EXPECT_NE(creator.find("ColorCorrection.fx"), std::string::npos);
        ASSERT_EQ(table.size(), 8u) << fx.techniques[res.technique].name;
        struct Expected {
            const char* name;
            uint32_t set, index, count, cls;
        } expected[] = {{"samSrc", 3, 0, 1, 4},    {"ycOffs", 2, 0, 1, 1},
                        {"ycAmp", 2, 1, 1, 1},     {"bgrOffs", 2, 2, 1, 1},
                        {"bgrAmp", 2, 3, 1, 1},    {"bgrGamma", 2, 4, 1, 1},
                        {"matYC2BGR", 2, 5, 4, 2}, {"matBGR2YC", 2, 9, 4, 2}};
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(table[i].name, expected[i].name);
            EXPECT_EQ(table[i].registerSet, expected[i].set) << expected[i].name;
            EXPECT_EQ(table[i].registerIndex, expected[i].index) << expected[i].name;
            EXPECT_EQ(table[i].registerCount, expected[i].count) << expected[i].name;
            EXPECT_EQ(table[i].cls, expected[i].cls) << expected[i].name;
        }
    }
    EXPECT_EQ(shaders, 4);
}
