// fx_2_0 writer and constant table: a small effect (one float4, a texture,
// a sampler with five states, one technique with one pass of three states)
// against the whole file laid out by hand from the container rules, and read
// back through the test-side reader, which follows the offsets the way D3DX
// does; its shader, assembled and given its table, against its tokens laid
// out by hand.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "constant_table.h"
#include "fx_reader.h"
#include "fx_writer.h"
#include "ps_assembler.h"

using namespace effectc;

namespace {

// The sampling shader (texld/mul/mov) with its constant table naming
// g_color (c0) and sSrc (s0): 53 tokens, 212 bytes.
const std::vector<uint32_t> sampleShader = {
    0xFFFF0200, 0x0021FFFE, 0x42415443,  // comment of 0x21 words: fourcc + 0x80 bytes of table
    // header: size 28, creator at 0x7C, version, 2 constants, entries at 0x1C, flags, target at 0x74
    0x0000001C, 0x0000007C, 0xFFFF0200, 0x00000002, 0x0000001C, 0x00000000, 0x00000074,
    // entries: name offset; set | index << 16; count | reserved << 16; type info; default
    0x00000064, 0x00000002, 0x00000001, 0x00000044, 0x00000000,  // g_color: FLOAT4 c0, 1 register
    0x0000006C, 0x00000003, 0x00000001, 0x00000054, 0x00000000,  // sSrc: SAMPLER s0
    // type infos: class | type << 16; rows | columns << 16; elements | members << 16; member info
    0x00030001, 0x00040001, 0x00000001, 0x00000000,  // VECTOR FLOAT 1x4
    0x000C0004, 0x00010001, 0x00000001, 0x00000000,  // OBJECT SAMPLER2D
    0x6F635F67, 0x00726F6C,                          // "g_color\0"
    0x63725373, 0xABABAB00,                          // "sSrc\0" padded with 0xAB
    0x325F7370, 0xAB00305F,                          // "ps_2_0\0"
    0x006D7361,                                      // "asm\0"
    // Instruction token = opcode | following tokens << 24. Parameter tokens:
    // register number, type bits 0-2 at 28-30 and 3-4 at 11-12, write mask at
    // 16-19, or swizzle at 16-23 (identity 0xE4), bit 31.
    0x0200001F, 0x80000000, 0xB0030000,              // dcl t0.xy: usage token, mask xy
    0x0200001F, 0x90000000, 0xA00F0800,              // dcl_2d s0: texture type 2 at bit 27
    0x03000042, 0x800F0000, 0xB0E40000, 0xA0E40800,  // texld r0, t0, s0
    0x03000005, 0x800F0000, 0x80E40000, 0xA0E40000,  // mul r0, r0, c0
    0x02000001, 0x800F0800, 0x80E40000,              // mov oC0, r0
    0x0000FFFF};

FxState integerState(uint32_t op, int32_t value)
{
    FxState s;
    s.op = op;
    s.integer = value;
    return s;
}

FxEffect smallEffect()
{
    FxEffect e;
    FxParameter color;
    color.name = "g_color";
    color.value = {0x3F800000, 0x3F000000, 0x3E800000, 0x3F800000};  // 1, 0.5, 0.25, 1
    FxParameter tex;
    tex.name = "txSrc";
    tex.type = typeTexture;
    tex.parameterClass = classObject;
    FxParameter sampler;
    sampler.name = "sSrc";
    sampler.type = typeSampler2D;
    sampler.parameterClass = classObject;
    FxState texture;
    texture.op = 164;
    texture.kind = FxStateKind::reference;
    texture.reference = "txSrc";
    texture.referenceType = typeTexture;
    sampler.samplerStates = {texture, integerState(165, 3), integerState(166, 3),
                             integerState(170, 1), integerState(169, 1)};
    e.parameters = {color, tex, sampler};

    FxState shader;
    shader.op = 147;
    shader.kind = FxStateKind::shader;
    shader.shader = sampleShader;
    FxPass pass{"P0", {integerState(146, 0), shader, integerState(0, 0)}};
    e.techniques.push_back(FxTechnique{"T0", {pass}});
    return e;
}

uint32_t wordAt(const std::vector<uint8_t>& blob, size_t fileOffset)
{
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | blob.at(fileOffset + k);
    return v;
}

// Every field of the writer's records, one line each; a numeric value
// without an initialiser is zeros.
std::string describe(const FxEffect& e)
{
    std::ostringstream os;
    auto state = [&](const FxState& s) {
        os << "  state " << s.op << "[" << s.index << "] = ";
        if (s.kind == FxStateKind::integer) os << s.integer;
        if (s.kind == FxStateKind::reference)
            os << "<" << s.reference << "> type " << s.referenceType;
        if (s.kind == FxStateKind::shader) os << "shader type " << s.shaderType << std::hex;
        for (uint32_t token : s.kind == FxStateKind::shader ? s.shader : std::vector<uint32_t>{})
            os << " " << token;
        os << std::dec << "\n";
    };
    for (const FxParameter& p : e.parameters) {
        os << "parameter " << p.name << ": type " << p.type << " class " << p.parameterClass;
        std::vector<uint32_t> value = p.value;
        value.resize(p.parameterClass == classObject ? 0 : p.rows * p.columns, 0);
        if (!value.empty()) os << " " << p.rows << "x" << p.columns << " =";
        for (uint32_t v : value) os << " " << v;
        os << "\n";
        for (const FxState& s : p.samplerStates) state(s);
    }
    for (const FxTechnique& t : e.techniques)
        for (const FxPass& p : t.passes) {
            os << "pass " << t.name << "." << p.name << "\n";
            for (const FxState& s : p.states) state(s);
        }
    return os.str();
}

}  // namespace

TEST(FxWriter, SmallEffectAsLaidOutByHand)
{
    // Offsets in comments are into the unstructured area U, which starts at file offset 8.
    std::vector<uint32_t> expected = {
        0xFEFF0901, 0x1D4,       // tag, size of U
        0,                       // U+0: the empty string
        3, 1, 0x30, 0, 0, 4, 1,  // U+4 g_color: FLOAT VECTOR, name at 0x30, columns 4 before rows 1
        0x3F800000, 0x3F000000, 0x3E800000, 0x3F800000,  // U+0x20 its value
        8, 0x6F635F67, 0x00726F6C,                 // U+0x30 "g_color", the length counting the NUL
        5, 4, 0x54, 0, 0, 1, 6, 0x72537874, 0x63,  // U+0x3C txSrc: TEXTURE OBJECT = object 1
        5, 4, 0, 0, 0, 2,                          // U+0x60 the sampler's Texture: object 2
        2, 2, 0, 0, 0, 1, 1, 3,                    // U+0x78 AddressU: INT MATRIX_ROWS 1x1, CLAMP
        2, 2, 0, 0, 0, 1, 1, 3,                    // U+0x98 AddressV
        2, 2, 0, 0, 0, 1, 1, 1,                    // U+0xB8 MinFilter: POINT
        2, 2, 0, 0, 0, 1, 1, 1,                    // U+0xD8 MagFilter
        5, 0xA4, 0x100, 0x60, 0x74, 0xA5, 0x100, 0x78, 0x94,  // U+0xF8 sSrc's value: 5 states of
        0xA6, 0x100, 0x98, 0xB4, 0xAA, 0x100, 0xB8, 0xD4,     // op, 0x100, typedef, value
        0xA9, 0x100, 0xD8, 0xF4,                              //
        12, 4, 0x160, 0, 0, 5, 0x63725373, 0,  // U+0x14C sSrc: SAMPLER2D OBJECT, after its value
        3, 0x3054, 3, 0x3050,                  // U+0x16C "T0", U+0x174 "P0"
        2, 2, 0, 0, 0, 1, 1, 0,                // U+0x17C VertexShader = 0 (NULL)
        15, 4, 0, 0, 0, 3,                     // U+0x19C PixelShader = object 3
        2, 2, 0, 0, 0, 1, 1, 0,                // U+0x1B4 ZEnable = FALSE
        // parameters, techniques, shader count (object parameters + passes), object count (ids 0-3)
        3, 1, 3, 4, 0x04, 0x20, 0, 0, 0x3C, 0x50, 0, 0, 0x14C, 0xF8, 0,
        0,                         // typedef, value, flags, annotations
        0x16C, 0, 1, 0x174, 0, 3,  // T0: name, annotations, passes; P0: name, annotations, states
        0x92, 0, 0x17C, 0x198, 0x93, 0, 0x19C, 0x1B0, 0x00, 0, 0x1B4,
        0x1D0,                        // op, index, typedef, value
        1, 2,                         // one object blob, two resources
        1, 0,                         // object 1 (txSrc), empty
        0, 0, 0xFFFFFFFF, 1, 0, 212,  // resources last first: T0/P0 state 1, 212 bytes of code
    };
    expected.insert(expected.end(), sampleShader.begin(), sampleShader.end());
    // Parameter 2 (sSrc), element 0, state 0 names "txSrc".
    expected.insert(expected.end(), {0xFFFFFFFF, 2, 0, 0, 1, 6, 0x72537874, 0x63});

    const std::vector<uint8_t> blob = WriteFx20(smallEffect());
    ASSERT_EQ(blob.size(), expected.size() * 4);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(wordAt(blob, 4 * i), expected[i]) << "file offset 0x" << std::hex << 4 * i;
}

// With a second technique of two passes, the object ids, the object count
// and the resources' technique, pass and state indices go beyond (0, 0).
TEST(FxWriter, ReadsBackAsWritten)
{
    FxEffect e = smallEffect();
    // The writer carries tokens unread: a changed last token tells the shaders apart.
    FxState a = e.techniques[0].passes[0].states[1], b = a;
    a.shader.back() = 1;
    b.shader.back() = 2;
    e.techniques.push_back(
        FxTechnique{"T1", {FxPass{"A", {a}}, FxPass{"B", {integerState(0, 1), b}}}});

    FxEffect read;
    std::string error;
    ASSERT_TRUE(test::ReadFx20(WriteFx20(e), read, error)) << error;
    EXPECT_EQ(describe(read), describe(e));
}

// The sample shader from its text, through the assembler, and its table
// from its entries, placed after the version token; and a table with no
// entries: header, target and creator.
TEST(ConstantTable, SampleShaderLaidOutByHand)
{
    Diagnostics diags;
    const AssembledShader code = AssemblePixelShader(
        "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmul r0, r0, c0\nmov oC0, r0\n",
        SourceLocation{}, diags);
    ASSERT_TRUE(diags.errors.empty());
    std::vector<ConstantTableEntry> entries(2);
    entries[0] = {"g_color", registerSetFloat4, 0, 1, 1 /* VECTOR */, 3 /* FLOAT */, 1, 4};
    entries[1] = {"sSrc", registerSetSampler, 0, 1, 4 /* OBJECT */, 12 /* SAMPLER2D */, 1, 1};
    EXPECT_EQ(InsertAfterVersion(code.tokens,
                                 BuildConstantTableComment(entries, 0xFFFF0200, "ps_2_0", "asm")),
              sampleShader);
    EXPECT_EQ(BuildConstantTableComment({}, 0xFFFF0200, "ps_2_0", "asm"),
              (std::vector<uint32_t>{0x000BFFFE, 0x42415443, 0x1C, 0x24, 0xFFFF0200, 0, 0x1C, 0,
                                     0x1C, 0x325F7370, 0xAB00305F, 0x006D7361}));
}
