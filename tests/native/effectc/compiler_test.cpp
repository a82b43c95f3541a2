// Whole-pipeline tests: effect source in, blob or positioned errors out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "compiler.h"
#include "fx_reader.h"

namespace {

// A minimal effect in the project's shape; tests splice faults into it.
const std::string goodHeader =
    "texture tx;\n"                                                        // 1
    "sampler2D smp : register(s0) = sampler_state { Texture = <tx>; };\n"  // 2
    "float4 k : register(c0) = { 1, 2, 3, 4 };\n";                         // 3

std::string pass(const std::string& states)
{
    // After goodHeader the states start on line 8.
    return "technique T\n{\n    pass p0\n    {\n" + states + "    }\n}\n";
}

const std::string goodShader = "        PixelShader = asm {\n"
                               "            ps_2_0\n"
                               "            dcl t0.xy\n"
                               "            dcl_2d s0\n"
                               "            texld r0, t0, s0\n"
                               "            mul r0, r0, c0\n"
                               "            mov oC0, r0\n"
                               "        };\n";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    return text.replace(text.find(from), from.size(), to);
}

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

}  // namespace

TEST(Compiler, MinimalEffectReadsBackAndNamesItsSource)
{
    effectc::Diagnostics diags;
    std::vector<uint8_t> blob;
    ASSERT_TRUE(effectc::CompileEffect(goodHeader + pass(goodShader), "dir/t.fx", blob, diags));
    effectc::FxEffect fx;
    std::string error;
    ASSERT_TRUE(test::ReadFx20(blob, fx, error)) << error;
    // The shader's constant table names the source in its creator string.
    const std::vector<uint32_t>& shader = fx.techniques.at(0).passes.at(0).states.at(0).shader;
    const char* bytes = reinterpret_cast<const char*>(shader.data());
    EXPECT_NE(std::string(bytes, shader.size() * 4).find("dir/t.fx"), std::string::npos);
}

// Each case: the source, where its error starts (file:line:column:, or the
// whole line) and a part of the message.
TEST(Compiler, ErrorsCarryLineAndColumn)
{
    const std::string& h = goodHeader;
    const std::string twoBadStates = h + pass("        ZFunk = LESS;\n        ZEnable = maybe;\n");
    const std::string badSampler =
        "texture tx;\nsampler2D s = sampler_state { Texture = <nope>; MipFilter = CLAMP; };\n" +
        pass("        ZEnable = true;\n");
    const struct {
        std::string source;
        const char* at;
        const char* what;
    } cases[] = {
        // Every error of a pass is reported, each at its place.
        {twoBadStates, "t.fx:8:9: error: unknown pass state 'ZFunk'", ""},
        {twoBadStates, "t.fx:9:19:", "invalid value for ZEnable"},
        {h + "float4 k;\n" + pass(goodShader),
         "t.fx:4:8:", "duplicate parameter 'k' (first declared at 3:8)"},
        {h + pass(goodShader) + pass(goodShader), "t.fx:", "duplicate technique 'T'"},
        {h + "int n;\n" + pass(goodShader), "t.fx:4:1:", "unsupported type 'int'"},
        {h + "float4 s : COLOR0;\n" + pass(goodShader),
         "t.fx:4:12:", "semantics are not supported"},
        {"float4 a = { 1, 2 }\nfloat4 b;\n", "t.fx:2:1:", "expected ';'"},
        {"/* never closed\n", "t.fx:1:1:", "unterminated block comment"},
        // Assembly errors point into the effect file; on the block's opening
        // line, columns continue after the brace.
        {h + pass(replaced(goodShader, "mul r0", "mux r0")),
         "t.fx:13:13: error: unknown instruction 'mux'", ""},
        {h + pass("        PixelShader = asm { ps_2_0 \n mov oC0, c9 };\n"),
         "t.fx:9:11:", "c9 is neither defined"},
        {h + pass("        PixelShader = asm { ps_3_0 };\n"), "t.fx:8:29:", "only ps_2_0"},
        // Register bindings; a def over a parameter's register would silently win.
        {h + pass(replaced(goodShader, "dcl t0", "def c0, 0, 0, 0, 0\ndcl t0")),
         "t.fx:10:17:", "bound to parameter 'k'"},
        {h + "float4x4 m : register(c0);\n" + pass(goodShader), "t.fx:4:23:", "overlaps 'k'"},
        {h + "row_major float4x4 m : register(c29);\n" + pass(goodShader),
         "t.fx:4:33:", "does not fit"},
        {h + "float4 v : register(s1);\n" + pass(goodShader), "t.fx:4:21:", "needs a c# register"},
        {h + pass(replaced(replaced(goodShader, "dcl_2d s0", "dcl_2d s1"), "t0, s0", "t0, s1")),
         "t.fx:11:20:", "s1 is not bound"},
        // States and values outside the subset.
        {h + pass("        VertexShader = asm { vs_2_0 };\n"),
         "t.fx:8:24:", "vertex shaders are not supported"},
        {badSampler, "t.fx:2:41:", "'nope' is not a texture parameter"},
        {badSampler, "t.fx:2:61:", "invalid value for MipFilter"},
        {h + pass("        ZEnable = false;\n        zenable = true;\n"),
         "t.fx:9:9:", "already set at 8:9"},
        {h + "float4 f = { 1, 2, 3 };\n" + pass(goodShader),
         "t.fx:4:12:", "has 3 values; expected 4"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> errors = compileErrors(c.source);
        std::string all;
        for (const std::string& e : errors) all += "\n  " + e;
        // A source gives exactly the errors its rows list: no cascade after them.
        const auto listed = std::count_if(std::begin(cases), std::end(cases),
                                          [&](const auto& other) { return other.source == c.source; });
        EXPECT_EQ(errors.size(), static_cast<size_t>(listed)) << c.at << all;
        EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                                [&](const std::string& e) {
                                    return e.compare(0, std::strlen(c.at), c.at) == 0 &&
                                           e.find(c.what) != std::string::npos;
                                }))
            << "expected " << c.at << " " << c.what << ", got:" << all;
    }
}
