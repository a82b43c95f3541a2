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

Tokens assembled(const std::string& text)
{
    Diagnostics diags;
    effectc::AssembledShader shader = AssemblePixelShader(text, SourceLocation{}, diags);
    for (const auto& e : diags.errors)
        ADD_FAILURE() << e.at.line << ":" << e.at.column << ": " << e.message;
    return shader.tokens;
}

// Assembles `body` between a prologue that initialises r0 and the colour
// write, and returns the tokens of `body` alone.
Tokens encode(const std::string& declarations, const std::string& body)
{
    const Tokens prologueMov = {0x02000001, 0x800F0000, 0xA0E40000};  // mov r0, c0
    const Tokens tokens =
        assembled("ps_2_0\n" + declarations + "mov r0, c0\n" + body + "\nmov oC0, r0\n");
    auto at = std::search(tokens.begin(), tokens.end(), prologueMov.begin(), prologueMov.end());
    if (at == tokens.end() || tokens.end() - at < 7) return {};
    return Tokens(at + 3, tokens.end() - 4);  // drop "mov oC0, r0" and the end token
}

// A shader of one line between the version and the colour write.
std::string around(const std::string& line)
{
    return "ps_2_0\n" + line + "\nmov oC0, c0\n";
}

std::string repeated(int times, const std::string& line)
{
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

// A shader that breaks one rule: exactly one error, at line:column, whose
// message holds `part`.
struct RuleCase {
    std::string text;
    const char* at;
    const char* part;
};

void expectOneErrorEach(const std::vector<RuleCase>& cases)
{
    for (const RuleCase& c : cases) {
        const std::vector<std::string> errors = errorsOf(c.text);
        std::string all;
        for (const std::string& e : errors) all += "\n  " + e;
        EXPECT_TRUE(errors.size() == 1 && errors[0].rfind(std::string(c.at) + " ", 0) == 0 &&
                    errors[0].find(c.part) != std::string::npos)
            << c.text << "expected " << c.at << " " << c.part << ", got:" << all;
    }
}

}  // namespace

// ----------------------------------------------------------------- encodings

// Instruction token = opcode | control << 16 | following tokens << 24.
// Parameter tokens: register number; register type bits 0-2 at 28-30 and 3-4
// at 11-12; bit 31. Destinations: write mask at 16-19 (x=1 ... w=8), result
// modifier at 20-23 (_sat 1, _pp 2). Sources: swizzle at 16-23, two bits per
// component (identity .xyzw = 0xE4), modifier at 24-27 (negate 1).
TEST(AssemblerEncoding, InstructionsMatchHandEncodedTokens)
{
    const struct {
        const char* declarations;
        const char* body;
        Tokens tokens;
    } cases[] = {
        // r1.x: mask 1. r0.y: .yyyy = 01010101b = 0x55. c3.w = 0xFF.
        {"", "add r1.x, r0.y, c3.w", {0x03000002, 0x80010001, 0x80550000, 0xA0FF0003}},
        // r1.yw: mask 1010b; .z replicate 0xAA; .x replicate 0x00.
        {"", "mul r1.yw, r0.z, c2.x", {0x03000005, 0x800A0001, 0x80AA0000, 0xA0000002}},
        {"", "mov r1.ga, r0.b", {0x02000001, 0x800A0001, 0x80AA0000}},  // rgba name xyzw
        // .yzxw = 1,2,0,3 -> 11 00 10 01b = 0xC9; .zxyw = 0xD2; .wzyx = 0x1B.
        {"", "mov r1, r0.yzxw", {0x02000001, 0x800F0001, 0x80C90000}},
        {"", "mov r1, r0.zxyw", {0x02000001, 0x800F0001, 0x80D20000}},
        {"", "mov r1, r0.wzyx", {0x02000001, 0x800F0001, 0x801B0000}},
        {"", "mov_sat r1, -r0", {0x02000001, 0x801F0001, 0x81E40000}},
        {"", "mul_pp r1, r0, -c5.y", {0x03000005, 0x802F0001, 0x80E40000, 0xA1550005}},
        {"",
         "mad_sat_pp r11, r0, c31, -r0.x",
         {0x04000004, 0x803F000B, 0x80E40000, 0xA0E4001F, 0x81000000}},
        {"", "dp4 r1.w, c8, r0", {0x03000009, 0x80080001, 0xA0E40008, 0x80E40000}},
        {"", "dp3 r1.x, c8, r0", {0x03000008, 0x80010001, 0xA0E40008, 0x80E40000}},
        {"", "exp r1.x, r0.z", {0x0200000E, 0x80010001, 0x80AA0000}},
        {"", "log r1.y, r0.w", {0x0200000F, 0x80020001, 0x80FF0000}},
        {"", "rcp r1, c1.x", {0x02000006, 0x800F0001, 0xA0000001}},
        {"", "cmp r1, r0, c1, c2", {0x04000058, 0x800F0001, 0x80E40000, 0xA0E40001, 0xA0E40002}},
        {"", "lrp r1, r0, c1, c2", {0x04000012, 0x800F0001, 0x80E40000, 0xA0E40001, 0xA0E40002}},
        {"", "frc r1, r0", {0x02000013, 0x800F0001, 0x80E40000}},
        {"", "abs r1, -r0", {0x02000023, 0x800F0001, 0x81E40000}},
        {"", "sub r1, r0, c1", {0x03000003, 0x800F0001, 0x80E40000, 0xA0E40001}},
        {"", "min r1, r0, c1", {0x0300000A, 0x800F0001, 0x80E40000, 0xA0E40001}},
        {"", "max r1, r0, c1", {0x0300000B, 0x800F0001, 0x80E40000, 0xA0E40001}},
        {"", "pow r1.x, r0.x, c1.y", {0x03000020, 0x80010001, 0x80000000, 0xA0550001}},
        {"", "nop", {0x00000000}},
        // v (1) and t (3) fit in bits 28-30; s (10) sets both parts.
        {"dcl v1\ndcl t7\n", "add r1, v1, t7", {0x03000002, 0x800F0001, 0x90E40001, 0xB0E40007}},
        // texldp sets control 1, texldb 2.
        {"dcl t1\ndcl_2d s3\n",
         "texldp r1, t1, s3",
         {0x03010042, 0x800F0001, 0xB0E40001, 0xA0E40803}},
        {"dcl t1\ndcl_2d s3\n",
         "texldb r1, t1, s3",
         {0x03020042, 0x800F0001, 0xB0E40001, 0xA0E40803}},
    };
    for (const auto& c : cases) EXPECT_EQ(encode(c.declarations, c.body), c.tokens) << c.body;
}

TEST(AssemblerEncoding, WholeShadersMatchHandEncodedTokens)
{
    const struct {
        const char* text;
        Tokens tokens;
    } cases[] = {
        // oC (8) and oDepth (9) set only the high part of the type, at bits 11-12.
        {"ps_2_0\nmov oC0, c0\nmov oC1, c1\nmov oDepth, c2.x\n",
         {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x02000001, 0x800F0801, 0xA0E40001,
          0x02000001, 0x900F0800, 0xA0000002, 0x0000FFFF}},
        // def: full-mask c# destination and IEEE-754 bit patterns; -0.0 keeps its
        // sign bit; 1/65535 rounds to 0x37800080 in single precision.
        {"ps_2_0\ndef c3, 1.0, -0.5, 0.25, 0\n"
         "def c16, -0.0, 65535, 1.5259021893143654e-05, -32768\n"
         "dcl t3\ndcl v0.xyz\ndcl_cube s1\ndcl_volume s2\nmov oC0, c3\n",
         {0xFFFF0200, 0x05000051, 0xA00F0003, 0x3F800000, 0xBF000000, 0x3E800000,
          0x00000000, 0x05000051, 0xA00F0010, 0x80000000, 0x477FFF00, 0x37800080,
          0xC7000000, 0x0200001F, 0x80000000, 0xB00F0003, 0x0200001F, 0x80000000,
          0x90070000, 0x0200001F, 0x98000000, 0xA00F0801,  // cube: texture type 3
          0x0200001F, 0xA0000000, 0xA00F0802,              // volume: texture type 4
          0x02000001, 0x800F0800, 0xA0E40003, 0x0000FFFF}},
        // Comments of both kinds and any case.
        {"  PS_2_0 // version\n/* block\n comment */ MOV oC0, C1 ; trailing\n",
         {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40001, 0x0000FFFF}},
    };
    for (const auto& c : cases) EXPECT_EQ(assembled(c.text), c.tokens) << c.text;
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

TEST(AssemblerErrors, AllCollectedWithPositionsFromTheOrigin)
{
    // The block starts at line 10, column 20 of the effect file: the first
    // line is shifted by the column, later lines only by the line.
    auto errors = errorsOf("ps_2_0 foo\n  bogus r0, c0\nmov r0, c40\nmov r0, c0.xy\nmov oC0, c0\n",
                           SourceLocation{10, 20});
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[0], "10:27 unexpected text after ps_2_0");
    EXPECT_EQ(errors[1], "11:3 unknown instruction 'bogus'");
    EXPECT_EQ(errors[2].substr(0, 5), "12:9 ");
    EXPECT_EQ(errors[3].substr(0, 6), "13:12 ");
}

TEST(AssemblerErrors, StructureInstructionsRegistersAndSlots)
{
    const std::string movs = "ps_2_0\n" + repeated(61, "mov r0, c0\n");
    expectOneErrorEach({
        // version and structure
        {"mov oC0, c0\n", "1:1", "must start with its version"},
        {"ps_3_0\n", "1:1", "only ps_2_0"},
        {"// nothing\n", "1:1", "empty shader"},
        {"ps_2_0\nmov r0, c0\n", "1:1", "never writes oC0"},
        {"ps_2_0\nmov oC0, c0\ndef c1, 0, 0, 0, 0\n", "3:1", "before the first instruction"},
        {"ps_2_0\nmov oC0, c0\nmov oC2, c0\n", "1:1", "oC1 is not"},
        // instructions
        {around("frob r0, c0"), "2:1", "unknown instruction 'frob'"},
        {around("slt r0, c0, c1"), "2:1", "not available in ps_2_0"},
        {around("mov_x2 r0, c0"), "2:1", "unknown modifier '_x2'"},
        // registers
        {around("mov r12, c0"), "2:5", "out of range"},
        {around("mov r0, c32"), "2:9", "out of range"},
        {around("dcl t8"), "2:5", "out of range"},
        {around("dcl_2d s16"), "2:8", "out of range"},
        {around("mov oC4, c0"), "2:5", "out of range"},
        {around("mov r0, i0"), "2:9", "not a ps_2_0 register"},
        {around("mov c0, r0"), "2:5", "c0 cannot be written"},
        // slots: 64 arithmetic (pow takes 3), 32 texture
        {"ps_2_0\n" + repeated(64, "mov r0, c0\n") + "mov oC0, r0\n", "66:1",
         "too many arithmetic instruction slots"},
        {movs + "pow r1, r0.x, c1.x\nmov oC0, r1\n", "64:1",
         "too many arithmetic instruction slots"},
        {"ps_2_0\ndcl t0\ndcl_2d s0\n" + repeated(33, "texld r0, t0, s0\n") + "mov oC0, r0\n",
         "36:1", "too many texture instruction slots"},
    });
    // The limits themselves are allowed.
    for (const std::string& text :
         {movs + "lrp r1, r0, c1, c2\nmov oC0, r1\n",                // 61 + 2 + 1 = 64 slots
          std::string("ps_2_0\nmad r0, c0, c1, c0\nmov oC0, r0\n"),  // one register read twice
          std::string("ps_2_0\nmov r1.x, c0\nmov r0, r1.x\nmov oC0, r0\n")})
        EXPECT_TRUE(errorsOf(text).empty()) << text;
}

TEST(AssemblerErrors, OperandsInputsAndOutputs)
{
    const std::string decl = "ps_2_0\ndcl t0\ndcl_2d s0\n";
    expectOneErrorEach({
        // swizzles, masks and modifiers
        {around("mov r0, c0.xy"), "2:12", "not available in ps_2_0"},
        {around("mov r0.yx, c0"), "2:8", "invalid write mask"},
        {around("mov r0.xx, c0"), "2:8", "invalid write mask"},
        {around("mov r0, c0.q"), "2:12", "invalid swizzle"},
        {around("mov r0, c0_abs"), "2:9", "abs instruction"},
        {around("log r0.x, c0"), "2:11", "replicate swizzle"},
        {around("exp r0.x, c0.xyzw"), "2:11", "replicate swizzle"},
        // read ports: at most two different c#, one t#, one v# per instruction
        {around("mad r0, c0, c1, c2"), "2:17", "at most 2 different c#"},
        {"ps_2_0\ndcl t0\ndcl t1\nadd r0, t0, t1\nmov oC0, c0\n", "4:13", "at most 1 different t#"},
        // texld operands
        {decl + "texld r0, t0.x, s0\nmov oC0, c0\n", "4:11", "plain t# or r#"},
        {decl + "texld r0, c0, s0\nmov oC0, c0\n", "4:11", "plain t# or r#"},
        {decl + "texld r0, t0, s1\nmov oC0, c0\n", "4:15", "without a dcl_2d"},
        {decl + "texld r0.xy, t0, s0\nmov oC0, c0\n", "4:7", "whole r# register"},
        {decl + "texld_sat r0, t0, s0\nmov oC0, c0\n", "4:11", "without _sat"},
        {decl + "mov r0, s0\nmov oC0, c0\n", "4:9", "cannot be read"},
        // inputs declared, temps written before they are read (the components read)
        {around("mov r0, t0"), "2:9", "t0 is used without a dcl"},
        {"ps_2_0\ndcl t0.xy\nmov r0, t0\nmov oC0, c0\n", "3:9", "does not declare"},
        {"ps_2_0\nmov oC0, r3\n", "2:10", "r3 is read before it is written"},
        {"ps_2_0\nmov r1.x, c0\nmov r0, r1\nmov oC0, c0\n", "3:9", "read before"},
        {"ps_2_0\nmov r1.xyz, c0\ndp4 r0.x, r1, c0\nmov oC0, c0\n", "3:11", "read before"},
        // output writes
        {"ps_2_0\nadd oC0, c0, c1\nmov oC0, c0\n", "2:5", "only be written by mov"},
        {"ps_2_0\nmov oC0, c0\nmov oC0, c1\n", "3:5", "more than once"},
        {"ps_2_0\nmov oC0.xyz, c0\n", "2:5", "full mask"},
        {"ps_2_0\nmov oC0, c0.x\n", "2:5", "no swizzle"},
        {"ps_2_0\nmov_sat oC0, c0\n", "2:9", "no modifiers"},
        {"ps_2_0\nmov oC0, c0\nmov oDepth, c0\n", "3:5", "replicate swizzle"},
    });
}
