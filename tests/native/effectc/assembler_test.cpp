// ps_2_0 assembler: token encodings checked against values worked out from
// the token layouts (instruction, destination and source parameter tokens),
// and the validator rules with the positions they report.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ps_assembler.h"

using effectc::AssemblePixelShader;
using effectc::Diagnostics;
using effectc::SourceLocation;

namespace {

using Tokens = std::vector<uint32_t>;

// Assembles `body` between a prologue that initialises r0 and the colour
// write, and returns the tokens of `body` alone.
Tokens encode(const std::string& declarations, const std::string& body)
{
    const Tokens prologueMov = {0x02000001, 0x800F0000, 0xA0E40000};  // mov r0, c0
    std::string text = "ps_2_0\n" + declarations + "mov r0, c0\n" + body + "\nmov oC0, r0\n";
    Diagnostics diags;
    effectc::AssembledShader shader = AssemblePixelShader(text, SourceLocation{}, diags);
    for (const auto& e : diags.errors)
        ADD_FAILURE() << e.at.line << ":" << e.at.column << ": " << e.message;
    auto at = std::search(shader.tokens.begin(), shader.tokens.end(), prologueMov.begin(),
                          prologueMov.end());
    if (at == shader.tokens.end() || shader.tokens.end() - at < 7) return {};
    return Tokens(at + 3, shader.tokens.end() - 4);  // drop "mov oC0, r0" and the end token
}

std::vector<std::string> errorsOf(const std::string& text, SourceLocation origin = SourceLocation{})
{
    Diagnostics diags;
    AssemblePixelShader(text, origin, diags);
    std::vector<std::string> out;
    for (const auto& e : diags.errors)
        out.push_back(std::to_string(e.at.line) + ":" + std::to_string(e.at.column) + " " +
                      e.message);
    return out;
}

// True when exactly one error was reported, at line:column, containing `part`.
::testing::AssertionResult oneError(const std::vector<std::string>& errors,
                                    const std::string& position, const std::string& part)
{
    if (errors.size() != 1) {
        std::string all;
        for (const auto& e : errors) all += "\n  " + e;
        return ::testing::AssertionFailure() << errors.size() << " errors:" << all;
    }
    const std::string& e = errors[0];
    if (e.compare(0, position.size() + 1, position + " ") != 0 || e.find(part) == std::string::npos)
        return ::testing::AssertionFailure() << "got: " << e;
    return ::testing::AssertionSuccess();
}

}  // namespace

// ----------------------------------------------------------------- encodings

TEST(AssemblerEncoding, WholeShaderMatchesHandEncodedTokens)
{
    // texld/mul/mov sampling shader. Instruction token = opcode | length << 24;
    // register type bits 0-2 at 28-30 and 3-4 at 11-12; identity swizzle 0xE4.
    Diagnostics diags;
    auto shader = AssemblePixelShader("ps_2_0\n"
                                      "dcl t0.xy\n"
                                      "dcl_2d s0\n"
                                      "texld r0, t0, s0\n"
                                      "mul r0, r0, c0\n"
                                      "mov oC0, r0\n",
                                      SourceLocation{}, diags);
    ASSERT_TRUE(diags.errors.empty());
    Tokens expected = {
        0xFFFF0200, 0x0200001F, 0x80000000, 0xB0030000,  // dcl: usage token, t0 mask xy
        0x0200001F, 0x90000000, 0xA00F0800,              // dcl_2d: texture type 2 at bit 27
        0x03000042, 0x800F0000, 0xB0E40000, 0xA0E40800,  // texld r0, t0, s0
        0x03000005, 0x800F0000, 0x80E40000, 0xA0E40000,  // mul r0, r0, c0
        0x02000001, 0x800F0800, 0x80E40000,              // mov oC0, r0
        0x0000FFFF};
    EXPECT_EQ(shader.tokens, expected);
    EXPECT_EQ(shader.arithmeticSlots, 2);
    EXPECT_EQ(shader.textureSlots, 1);
}

TEST(AssemblerEncoding, WriteMasksAndReplicateSwizzles)
{
    // r1.x: mask 1 at bit 16. r2.y: .yyyy = 01010101b = 0x55. c3.w = 0xFF.
    EXPECT_EQ(encode("", "add r1.x, r0.y, c3.w"),
              (Tokens{0x03000002, 0x80010001, 0x80550000, 0xA0FF0003}));
    // r1.yw: mask 1010b; .z replicate 0xAA; .x replicate 0x00.
    EXPECT_EQ(encode("", "mul r1.yw, r0.z, c2.x"),
              (Tokens{0x03000005, 0x800A0001, 0x80AA0000, 0xA0000002}));
    // rgba letters name the same components as xyzw.
    EXPECT_EQ(encode("", "mov r1.ga, r0.b"), (Tokens{0x02000001, 0x800A0001, 0x80AA0000}));
}

TEST(AssemblerEncoding, Ps20RotationSwizzles)
{
    // .yzxw = 1,2,0,3 -> 11 00 10 01b = 0xC9; .zxyw = 2,0,1,3 -> 0xD2; .wzyx = 3,2,1,0 -> 0x1B.
    EXPECT_EQ(encode("", "mov r1, r0.yzxw"), (Tokens{0x02000001, 0x800F0001, 0x80C90000}));
    EXPECT_EQ(encode("", "mov r1, r0.zxyw"), (Tokens{0x02000001, 0x800F0001, 0x80D20000}));
    EXPECT_EQ(encode("", "mov r1, r0.wzyx"), (Tokens{0x02000001, 0x800F0001, 0x801B0000}));
}

TEST(AssemblerEncoding, ModifiersAndNegation)
{
    // _sat is result modifier 1 (bit 20), _pp 2 (bit 21); negate is source modifier 1 (bit 24).
    EXPECT_EQ(encode("", "mov_sat r1, -r0"), (Tokens{0x02000001, 0x801F0001, 0x81E40000}));
    EXPECT_EQ(encode("", "mul_pp r1, r0, -c5.y"),
              (Tokens{0x03000005, 0x802F0001, 0x80E40000, 0xA1550005}));
    EXPECT_EQ(encode("", "mad_sat_pp r11, r0, c31, -r0.x"),
              (Tokens{0x04000004, 0x803F000B, 0x80E40000, 0xA0E4001F, 0x81000000}));
}

TEST(AssemblerEncoding, OpcodesAndLengths)
{
    // Length in bits 24-27 counts the parameter tokens that follow.
    EXPECT_EQ(encode("", "dp4 r1.w, c8, r0"),
              (Tokens{0x03000009, 0x80080001, 0xA0E40008, 0x80E40000}));
    EXPECT_EQ(encode("", "dp3 r1.x, c8, r0"),
              (Tokens{0x03000008, 0x80010001, 0xA0E40008, 0x80E40000}));
    EXPECT_EQ(encode("", "exp r1.x, r0.z"), (Tokens{0x0200000E, 0x80010001, 0x80AA0000}));
    EXPECT_EQ(encode("", "log r1.y, r0.w"), (Tokens{0x0200000F, 0x80020001, 0x80FF0000}));
    EXPECT_EQ(encode("", "rcp r1, c1.x"), (Tokens{0x02000006, 0x800F0001, 0xA0000001}));
    EXPECT_EQ(encode("", "cmp r1, r0, c1, c2"),
              (Tokens{0x04000058, 0x800F0001, 0x80E40000, 0xA0E40001, 0xA0E40002}));
    EXPECT_EQ(encode("", "lrp r1, r0, c1, c2"),
              (Tokens{0x04000012, 0x800F0001, 0x80E40000, 0xA0E40001, 0xA0E40002}));
    EXPECT_EQ(encode("", "frc r1, r0"), (Tokens{0x02000013, 0x800F0001, 0x80E40000}));
    EXPECT_EQ(encode("", "abs r1, -r0"), (Tokens{0x02000023, 0x800F0001, 0x81E40000}));
    EXPECT_EQ(encode("", "sub r1, r0, c1"),
              (Tokens{0x03000003, 0x800F0001, 0x80E40000, 0xA0E40001}));
    EXPECT_EQ(encode("", "min r1, r0, c1"),
              (Tokens{0x0300000A, 0x800F0001, 0x80E40000, 0xA0E40001}));
    EXPECT_EQ(encode("", "max r1, r0, c1"),
              (Tokens{0x0300000B, 0x800F0001, 0x80E40000, 0xA0E40001}));
    EXPECT_EQ(encode("", "pow r1.x, r0.x, c1.y"),
              (Tokens{0x03000020, 0x80010001, 0x80000000, 0xA0550001}));
    EXPECT_EQ(encode("", "nop"), (Tokens{0x00000000}));
}

TEST(AssemblerEncoding, RegisterTypesSplitAcrossTheToken)
{
    // v (1) and t (3) fit in bits 28-30; oC (8) and oDepth (9) only set the high
    // part at bits 11-12; sampler (10) sets both.
    EXPECT_EQ(encode("dcl v1\ndcl t7\n", "add r1, v1, t7"),
              (Tokens{0x03000002, 0x800F0001, 0x90E40001, 0xB0E40007}));
    Diagnostics diags;
    auto shader = AssemblePixelShader("ps_2_0\nmov oC0, c0\nmov oC1, c1\nmov oDepth, c2.x\n",
                                      SourceLocation{}, diags);
    ASSERT_TRUE(diags.errors.empty());
    EXPECT_EQ(shader.tokens,
              (Tokens{0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x02000001, 0x800F0801,
                      0xA0E40001, 0x02000001, 0x900F0800, 0xA0000002, 0x0000FFFF}));
}

TEST(AssemblerEncoding, TexldVariantsUseTheControlField)
{
    // texldp sets 1 and texldb 2 in bits 16-23.
    EXPECT_EQ(encode("dcl t1\ndcl_2d s3\n", "texldp r1, t1, s3"),
              (Tokens{0x03010042, 0x800F0001, 0xB0E40001, 0xA0E40803}));
    EXPECT_EQ(encode("dcl t1\ndcl_2d s3\n", "texldb r1, t1, s3"),
              (Tokens{0x03020042, 0x800F0001, 0xB0E40001, 0xA0E40803}));
}

TEST(AssemblerEncoding, DefAndDeclarations)
{
    // def: 5 following tokens, full-mask c# destination, IEEE-754 bit patterns.
    Diagnostics diags;
    auto shader = AssemblePixelShader("ps_2_0\n"
                                      "def c3, 1.0, -0.5, 0.25, 0\n"
                                      "def c16, -0.0, 65535, 1.5259021893143654e-05, -32768\n"
                                      "dcl t3\n"
                                      "dcl v0.xyz\n"
                                      "dcl_cube s1\n"
                                      "dcl_volume s2\n"
                                      "mov oC0, c3\n",
                                      SourceLocation{}, diags);
    ASSERT_TRUE(diags.errors.empty());
    Tokens expected = {0xFFFF0200, 0x05000051, 0xA00F0003, 0x3F800000, 0xBF000000, 0x3E800000,
                       0x00000000,
                       // -0.0 keeps its sign bit; 1/65535 rounds to 0x37800080 in single precision.
                       0x05000051, 0xA00F0010, 0x80000000, 0x477FFF00, 0x37800080, 0xC7000000,
                       0x0200001F, 0x80000000, 0xB00F0003, 0x0200001F, 0x80000000, 0x90070000,
                       0x0200001F, 0x98000000, 0xA00F0801,  // cube: texture type 3
                       0x0200001F, 0xA0000000, 0xA00F0802,  // volume: texture type 4
                       0x02000001, 0x800F0800, 0xA0E40003, 0x0000FFFF};
    EXPECT_EQ(shader.tokens, expected);
    ASSERT_EQ(shader.constantsDefined.size(), 2u);
    EXPECT_EQ(shader.constantsDefined[1].index, 16);
}

TEST(AssemblerEncoding, CommentsAndCaseAreAccepted)
{
    Diagnostics diags;
    auto shader = AssemblePixelShader("  PS_2_0 // version\n"
                                      "/* block\n comment */ MOV oC0, C1 ; trailing\n",
                                      SourceLocation{}, diags);
    ASSERT_TRUE(diags.errors.empty());
    EXPECT_EQ(shader.tokens, (Tokens{0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40001, 0x0000FFFF}));
}

TEST(AssemblerEncoding, ReportsConstantsReadAndSamplersDeclared)
{
    Diagnostics diags;
    auto shader = AssemblePixelShader("ps_2_0\ndcl t0.xy\ndcl_2d s4\ntexld r0, t0, s4\n"
                                      "mad r0, r0, c7, c2\nadd r0, r0, c7\nmov oC0, r0\n",
                                      SourceLocation{}, diags);
    ASSERT_TRUE(diags.errors.empty());
    ASSERT_EQ(shader.constantsRead.size(), 2u);  // c7 reported once, at its first use
    EXPECT_EQ(shader.constantsRead[0].index, 7);
    EXPECT_EQ(shader.constantsRead[0].at.line, 5);
    EXPECT_EQ(shader.constantsRead[0].at.column, 13);
    EXPECT_EQ(shader.constantsRead[1].index, 2);
    ASSERT_EQ(shader.samplers.size(), 1u);
    EXPECT_EQ(shader.samplers[0].index, 4);
    EXPECT_EQ(shader.samplers[0].type, effectc::texture2D);
}

// ----------------------------------------------------------------- errors

TEST(AssemblerErrors, PositionsAreRelativeToTheOrigin)
{
    // The block starts at line 10, column 20 of the effect file: the first
    // line is shifted by the column, later lines only by the line.
    auto errors = errorsOf("ps_2_0 foo\n  bogus r0, c0\nmov oC0, c0\n", SourceLocation{10, 20});
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "10:27 unexpected text after ps_2_0");
    EXPECT_EQ(errors[1], "11:3 unknown instruction 'bogus'");
}

TEST(AssemblerErrors, VersionAndStructure)
{
    EXPECT_TRUE(oneError(errorsOf("mov oC0, c0\n"), "1:1", "must start with its version"));
    EXPECT_TRUE(oneError(errorsOf("ps_3_0\n"), "1:1", "only ps_2_0"));
    EXPECT_TRUE(oneError(errorsOf("// nothing\n"), "1:1", "empty shader"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov r0, c0\n"), "1:1", "never writes oC0"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov oC0, c0\ndef c1, 0, 0, 0, 0\n"), "3:1",
                         "before the first instruction"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov oC0, c0\nmov oC2, c0\n"), "1:1", "oC1 is not"));
}

TEST(AssemblerErrors, UnknownAndUnavailableInstructions)
{
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nfrob r0, c0\nmov oC0, c0\n"), "2:1",
                         "unknown instruction 'frob'"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nslt r0, c0, c1\nmov oC0, c0\n"), "2:1",
                         "not available in ps_2_0"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov_x2 r0, c0\nmov oC0, c0\n"), "2:1",
                         "unknown modifier '_x2'"));
}

TEST(AssemblerErrors, RegisterRanges)
{
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov r12, c0\nmov oC0, c0\n"), "2:5", "out of range"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov r0, c32\nmov oC0, c0\n"), "2:9", "out of range"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\ndcl t8\nmov oC0, c0\n"), "2:5", "out of range"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\ndcl_2d s16\nmov oC0, c0\n"), "2:8", "out of range"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov oC4, c0\nmov oC0, c0\n"), "2:5", "out of range"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov r0, i0\nmov oC0, c0\n"), "2:9", "not a ps_2_0 register"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov c0, r0\nmov oC0, c0\n"), "2:5", "c0 cannot be written"));
}

TEST(AssemblerErrors, TooManyInstructionSlots)
{
    std::string text = "ps_2_0\n";
    for (int i = 0; i < 64; ++i) text += "mov r0, c0\n";
    // 65 slots: the oC0 write is one too many.
    EXPECT_TRUE(oneError(errorsOf(text + "mov oC0, r0\n"), "66:1",
                         "too many arithmetic instruction slots"));

    std::string fits = "ps_2_0\n";
    for (int i = 0; i < 61; ++i) fits += "mov r0, c0\n";
    EXPECT_TRUE(errorsOf(fits + "pow r1, r0.x, c1.x\nmov oC0, r1\n").size() ==
                1);                                                             // pow costs 3 slots
    EXPECT_TRUE(errorsOf(fits + "lrp r1, r0, c1, c2\nmov oC0, r1\n").empty());  // 61 + 2 + 1 = 64

    std::string tex = "ps_2_0\ndcl t0\ndcl_2d s0\n";
    for (int i = 0; i < 33; ++i) tex += "texld r0, t0, s0\n";
    EXPECT_TRUE(
        oneError(errorsOf(tex + "mov oC0, r0\n"), "36:1", "too many texture instruction slots"));
}

TEST(AssemblerErrors, SwizzlesMasksAndModifiers)
{
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov r0, c0.xy\nmov oC0, c0\n"), "2:12",
                         "not available in ps_2_0"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov r0.yx, c0\nmov oC0, c0\n"), "2:8", "invalid write mask"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov r0.xx, c0\nmov oC0, c0\n"), "2:8", "invalid write mask"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov r0, c0.q\nmov oC0, c0\n"), "2:12", "invalid swizzle"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov r0, c0_abs\nmov oC0, c0\n"), "2:9", "abs instruction"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nlog r0.x, c0\nmov oC0, c0\n"), "2:11", "replicate swizzle"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nexp r0.x, c0.xyzw\nmov oC0, c0\n"), "2:11",
                         "replicate swizzle"));
}

TEST(AssemblerErrors, ReadPortLimits)
{
    // ps_2_0 reads at most two different c#, one t# and one v# per instruction.
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmad r0, c0, c1, c2\nmov oC0, c0\n"), "2:17",
                         "at most 2 different c#"));
    EXPECT_TRUE(errorsOf("ps_2_0\nmad r0, c0, c1, c0\nmov oC0, r0\n")
                    .empty());  // same register twice is one port
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\ndcl t0\ndcl t1\nadd r0, t0, t1\nmov oC0, c0\n"), "4:13",
                         "at most 1 different t#"));
}

TEST(AssemblerErrors, TexldOperands)
{
    const std::string decl = "ps_2_0\ndcl t0\ndcl_2d s0\n";
    EXPECT_TRUE(
        oneError(errorsOf(decl + "texld r0, t0.x, s0\nmov oC0, c0\n"), "4:11", "plain t# or r#"));
    EXPECT_TRUE(
        oneError(errorsOf(decl + "texld r0, c0, s0\nmov oC0, c0\n"), "4:11", "plain t# or r#"));
    EXPECT_TRUE(
        oneError(errorsOf(decl + "texld r0, t0, s1\nmov oC0, c0\n"), "4:15", "without a dcl_2d"));
    EXPECT_TRUE(oneError(errorsOf(decl + "texld r0.xy, t0, s0\nmov oC0, c0\n"), "4:7",
                         "whole r# register"));
    EXPECT_TRUE(
        oneError(errorsOf(decl + "texld_sat r0, t0, s0\nmov oC0, c0\n"), "4:11", "without _sat"));
    EXPECT_TRUE(oneError(errorsOf(decl + "mov r0, s0\nmov oC0, c0\n"), "4:9", "cannot be read"));
}

TEST(AssemblerErrors, InputsAndTempsMustBeInitialised)
{
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov r0, t0\nmov oC0, c0\n"), "2:9", "t0 is used without a dcl"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\ndcl t0.xy\nmov r0, t0\nmov oC0, c0\n"), "3:9",
                         "does not declare"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov oC0, r3\n"), "2:10", "r3 is read before it is written"));
    // Only the components actually read count: r1.x is written, .x is read.
    EXPECT_TRUE(errorsOf("ps_2_0\nmov r1.x, c0\nmov r0, r1.x\nmov oC0, r0\n").empty());
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov r1.x, c0\nmov r0, r1\nmov oC0, c0\n"), "3:9",
                         "read before"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov r1.xyz, c0\ndp4 r0.x, r1, c0\nmov oC0, c0\n"),
                         "3:11", "read before"));
}

TEST(AssemblerErrors, OutputWrites)
{
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nadd oC0, c0, c1\nmov oC0, c0\n"), "2:5",
                         "only be written by mov"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov oC0, c0\nmov oC0, c1\n"), "3:5", "more than once"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov oC0.xyz, c0\n"), "2:5", "full mask"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov oC0, c0.x\n"), "2:5", "no swizzle"));
    EXPECT_TRUE(oneError(errorsOf("ps_2_0\nmov_sat oC0, c0\n"), "2:9", "no modifiers"));
    EXPECT_TRUE(
        oneError(errorsOf("ps_2_0\nmov oC0, c0\nmov oDepth, c0\n"), "3:5", "replicate swizzle"));
}

TEST(AssemblerErrors, SeveralErrorsAreCollected)
{
    auto errors = errorsOf("ps_2_0\nfrob r0\nmov r0, c40\nmov r0, c0.xy\nmov oC0, c0\n");
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].substr(0, 4), "2:1 ");
    EXPECT_EQ(errors[1].substr(0, 4), "3:9 ");
    EXPECT_EQ(errors[2].substr(0, 5), "4:12 ");
}
