// fx_2_0 writer: a small effect (one float4, a texture, a sampler with five
// states, one technique with one pass of three states) laid out by hand from
// the container rules, checked at fixed offsets and through a reader that
// follows the offsets the way D3DX does.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fx_reader.h"
#include "fx_writer.h"

using namespace effectc;

namespace {

// The 53-token sampling shader (CTAB for g_color -> c0 and sSrc -> s0,
// texld/mul/mov), 212 bytes.
std::vector<uint32_t> sampleShader()
{
    return {0xFFFF0200, 0x0021FFFE, 0x42415443, 0x0000001C, 0x0000007C, 0xFFFF0200, 0x00000002,
            0x0000001C, 0x00000000, 0x00000074, 0x00000064, 0x00000002, 0x00000001, 0x00000044,
            0x00000000, 0x0000006C, 0x00000003, 0x00000001, 0x00000054, 0x00000000, 0x00030001,
            0x00040001, 0x00000001, 0x00000000, 0x000C0004, 0x00010001, 0x00000001, 0x00000000,
            0x6F635F67, 0x00726F6C, 0x63725373, 0xABABAB00, 0x325F7370, 0xAB00305F, 0x006D7361,
            0x0200001F, 0x80000000, 0xB0030000, 0x0200001F, 0x90000000, 0xA00F0800, 0x03000042,
            0x800F0000, 0xB0E40000, 0xA0E40800, 0x03000005, 0x800F0000, 0x80E40000, 0xA0E40000,
            0x02000001, 0x800F0800, 0x80E40000, 0x0000FFFF};
}

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
    e.parameters.push_back(color);

    FxParameter tex;
    tex.name = "txSrc";
    tex.type = typeTexture;
    tex.parameterClass = classObject;
    e.parameters.push_back(tex);

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
    e.parameters.push_back(sampler);

    FxState shader;
    shader.op = 147;
    shader.kind = FxStateKind::shader;
    shader.shader = sampleShader();
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

}  // namespace

TEST(FxWriter, SmallEffectAtHandComputedOffsets)
{
    std::vector<uint8_t> blob = WriteFx20(smallEffect());
    ASSERT_EQ(blob.size(), 896u);
    EXPECT_EQ(wordAt(blob, 0x000), 0xFEFF0901u);
    EXPECT_EQ(wordAt(blob, 0x004), 0x1D4u);  // unstructured area: 0x008..0x1DC
    EXPECT_EQ(wordAt(blob, 0x008), 0u);      // U+0: the empty string

    // g_color: FLOAT VECTOR typedef (columns 4 before rows 1), value, name.
    const uint32_t colorTypedef[] = {3, 1, 0x30, 0, 0, 4, 1};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(wordAt(blob, 0x00C + 4 * i), colorTypedef[i]) << i;
    EXPECT_EQ(wordAt(blob, 0x028), 0x3F800000u);
    EXPECT_EQ(wordAt(blob, 0x038), 8u);  // "g_color" length counts the NUL
    EXPECT_EQ(wordAt(blob, 0x03C), 0x6F635F67u);

    // txSrc: TEXTURE OBJECT typedef, object id 1.
    EXPECT_EQ(wordAt(blob, 0x044), 5u);
    EXPECT_EQ(wordAt(blob, 0x048), 4u);
    EXPECT_EQ(wordAt(blob, 0x04C), 0x54u);
    EXPECT_EQ(wordAt(blob, 0x058), 1u);

    // Sampler states before the sampler's value: Texture typedef + object id 2,
    // then INT MATRIX_ROWS 1x1 typedefs with CLAMP (3) and POINT (1).
    EXPECT_EQ(wordAt(blob, 0x068), 5u);
    EXPECT_EQ(wordAt(blob, 0x07C), 2u);
    const uint32_t intTypedef[] = {2, 2, 0, 0, 0, 1, 1};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(wordAt(blob, 0x080 + 4 * i), intTypedef[i]) << i;
    EXPECT_EQ(wordAt(blob, 0x09C), 3u);
    EXPECT_EQ(wordAt(blob, 0x0DC), 1u);
    // Sampler value: 5 states of (op, 0x100, typedef, value).
    const uint32_t samplerValue[] = {5,     0xA4, 0x100, 0x60,  0x74,  0xA5, 0x100,
                                     0x78,  0x94, 0xA6,  0x100, 0x98,  0xB4, 0xAA,
                                     0x100, 0xB8, 0xD4,  0xA9,  0x100, 0xD8, 0xF4};
    for (int i = 0; i < 21; ++i) EXPECT_EQ(wordAt(blob, 0x100 + 4 * i), samplerValue[i]) << i;
    EXPECT_EQ(wordAt(blob, 0x154), 12u);  // SAMPLER2D typedef after its value

    // Structured area.
    const uint32_t header[] = {3, 1, 3,
                               4};  // parameters, techniques, shader count, object count (ids 0-3)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(wordAt(blob, 0x1DC + 4 * i), header[i]) << i;
    const uint32_t parameters[] = {0x04, 0x20, 0, 0, 0x3C, 0x50, 0, 0, 0x14C, 0xF8, 0, 0};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(wordAt(blob, 0x1EC + 4 * i), parameters[i]) << i;
    const uint32_t technique[] = {0x16C, 0, 1,     0x174, 0, 3,  // technique, pass
                                  0x92,  0, 0x17C, 0x198,        // VertexShader = 0
                                  0x93,  0, 0x19C, 0x1B0,        // PixelShader = object 3
                                  0x00,  0, 0x1B4, 0x1D0};       // ZEnable = 0
    for (int i = 0; i < 18; ++i) EXPECT_EQ(wordAt(blob, 0x21C + 4 * i), technique[i]) << i;
    EXPECT_EQ(wordAt(blob, 0x1B8), 3u);  // the shader state's object id
    // Resources last first, as the reference compiler lists them.
    const uint32_t tail[] = {1, 2,                          // one object blob, two resources
                             1, 0,                          // object 1 (txSrc), empty
                             0, 0, 0xFFFFFFFF, 1, 0, 212};  // T0/P0 state 1: 212 bytes of code
    for (int i = 0; i < 10; ++i) EXPECT_EQ(wordAt(blob, 0x264 + 4 * i), tail[i]) << i;
    std::vector<uint32_t> shader = sampleShader();
    for (size_t i = 0; i < shader.size(); ++i)
        EXPECT_EQ(wordAt(blob, 0x28C + 4 * i), shader[i]) << i;
    const uint32_t samplerResource[] = {
        0xFFFFFFFF, 2, 0, 0, 1, 6, 0x72537874, 0x00000063};  // sSrc state 0 names "txSrc"
    for (int i = 0; i < 8; ++i) EXPECT_EQ(wordAt(blob, 0x360 + 4 * i), samplerResource[i]) << i;
}

TEST(FxWriter, ReaderFollowsEveryOffset)
{
    FxEffect e = smallEffect();
    // A second technique with two passes exercises object numbering and the
    // resource addresses beyond (0, 0).
    FxState shader = e.techniques[0].passes[0].states[1];
    e.techniques.push_back(
        FxTechnique{"T1", {FxPass{"A", {shader}}, FxPass{"B", {integerState(0, 1), shader}}}});

    test::FxFile fx;
    std::string error;
    ASSERT_TRUE(test::readFx(WriteFx20(e), fx, error)) << error;
    EXPECT_EQ(fx.objectCount, 6u);  // unused 0, txSrc 1, sampler texture 2, shaders 3 to 5
    ASSERT_EQ(fx.parameters.size(), 3u);
    EXPECT_EQ(fx.parameters[0].name, "g_color");
    EXPECT_EQ(fx.parameters[0].type.cls, 1u);
    EXPECT_EQ(fx.parameters[0].value.size(), 4u);
    EXPECT_EQ(fx.parameters[1].name, "txSrc");
    EXPECT_EQ(fx.parameters[2].name, "sSrc");
    ASSERT_EQ(fx.parameters[2].samplerStates.size(), 5u);
    EXPECT_EQ(fx.parameters[2].samplerStates[4].op, 169u);
    EXPECT_EQ(fx.parameters[2].samplerStates[4].value, 1u);

    ASSERT_EQ(fx.techniques.size(), 2u);
    EXPECT_EQ(fx.techniques[1].name, "T1");
    ASSERT_EQ(fx.techniques[1].passes.size(), 2u);
    EXPECT_EQ(fx.techniques[1].passes[1].name, "B");
    EXPECT_EQ(fx.techniques[1].passes[1].states[0].value, 1u);
    // Object ids in order of appearance: T0/P0 3, T1/A 4, T1/B 5, and each
    // shader's resource is addressed by technique, pass and state.
    EXPECT_EQ(fx.techniques[0].passes[0].states[1].value, 3u);
    EXPECT_EQ(fx.techniques[1].passes[0].states[0].value, 4u);
    EXPECT_EQ(fx.techniques[1].passes[1].states[1].value, 5u);
    // Resources last first, as the reference compiler lists them.
    ASSERT_EQ(fx.resources.size(), 4u);
    EXPECT_EQ(fx.resources[0].technique, 1u);
    EXPECT_EQ(fx.resources[0].pass, 1u);
    EXPECT_EQ(fx.resources[0].state, 1u);
    EXPECT_EQ(fx.resources[0].data.size(), 212u);
    EXPECT_EQ(fx.resources[3].technique, 0xFFFFFFFFu) << "the sampler's texture";
}
