// The compiled effect as the plug-in carries it: loaded from resource 104 of
// the shipped kelvo.auf on a real device, its interface checked against what
// the engine looks up by name, and every technique drawn and compared pixel
// by pixel with the CPU reference model.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect/correction_reference.h"
#include "d3d_tracking.h"
#include "gpu_test_device.h"
#include "core/correction_tracks.h"
#include "plugin_module.h"
#include "expected_kinds.h"
#include "test_pixels.h"

namespace {

struct ParameterShape {
    const char* name;
    D3DXPARAMETER_CLASS parameterClass;
    D3DXPARAMETER_TYPE type;
    UINT rows;
    UINT columns;
};

const ParameterShape expectedParameters[9] = {
    {"txSrc", D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0},
    {"samSrc", D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 0, 0},
    {"ycOffs", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4},
    {"ycAmp", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4},
    {"bgrOffs", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4},
    {"bgrAmp", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4},
    {"bgrGamma", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4},
    {"matYC2BGR", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 4},
    {"matBGR2YC", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 4, 4},
};

class EffectProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadPlugin(&plugin));
        ID3DXBuffer* errors = nullptr;
        HRESULT hr = D3DXCreateEffectFromResourceW(ReferenceDevice(), plugin.module,
                                                   MAKEINTRESOURCEW(104), nullptr, nullptr, 0,
                                                   nullptr, &effect, &errors);
        if (errors != nullptr) {
            ADD_FAILURE() << "effect messages: "
                          << static_cast<const char*>(errors->GetBufferPointer());
            errors->Release();
        }
        ASSERT_EQ(hr, D3D_OK);
        ASSERT_NE(effect, nullptr);
    }

    void TearDown() override
    {
        if (effect != nullptr) {
            EXPECT_EQ(effect->Release(), 0u);
            effect = nullptr;
        }
        UnloadPlugin(&plugin);
    }

    void SetConstants(const CorrectionConstants& constants)
    {
        const struct {
            const char* name;
            const float* values;
            UINT bytes;
        } parameters[] = {
            {"ycOffs", constants.ycOffs, 16},      {"ycAmp", constants.ycAmp, 16},
            {"bgrOffs", constants.bgrOffs, 16},    {"bgrAmp", constants.bgrAmp, 16},
            {"bgrGamma", constants.bgrGamma, 16},  {"matYC2BGR", constants.matYC2BGR, 64},
            {"matBGR2YC", constants.matBGR2YC, 64}};
        for (const auto& p : parameters) {
            ASSERT_EQ(effect->SetValue(p.name, p.values, p.bytes), D3D_OK) << p.name;
        }
    }

    // Packs `pixels` as the format kind's source texels, draws them through
    // the technique and returns the render target's texels.
    std::vector<Texel> Draw(const ExpectedKind& c, const std::vector<YCTriple>& pixels, int width)
    {
        const int height = static_cast<int>(pixels.size()) / width;
        const bool floatSource = c.kind == kindF32;
        const int texelBytes = floatSource ? 16 : 8;
        std::vector<uint8_t> texels(pixels.size() * texelBytes);
        for (size_t i = 0; i < pixels.size(); ++i) {
            Texel t = PackSourceTexel(pixels[i], c.kind);
            std::memcpy(&texels[i * texelBytes],
                        floatSource ? static_cast<const void*>(t.f32)
                                    : static_cast<const void*>(t.bits16),
                        texelBytes);
        }
        IDirect3DTexture9* source = nullptr;
        HRESULT hr = CreateFilledTexture(ReferenceDevice(), c.source, width, height, texels.data(),
                                         texelBytes, &source);
        EXPECT_EQ(hr, D3D_OK);
        ReadBack back;
        if (SUCCEEDED(hr)) {
            hr = DrawThroughEffect(ReferenceDevice(), effect, c.technique, source, c.target, width,
                                   height, &back);
            EXPECT_EQ(hr, D3D_OK);
            source->Release();
        }
        std::vector<Texel> out;
        if (FAILED(hr)) {
            return out;
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                Texel t = {};
                switch (c.target) {
                case D3DFMT_A32B32G32R32F:
                    std::memcpy(t.f32, back.Row(y) + x * 16, 16);
                    break;
                case D3DFMT_A2B10G10R10:
                    std::memcpy(&t.packed, back.Row(y) + x * 4, 4);
                    break;
                default:
                    std::memcpy(t.bits16, back.Row(y) + x * 8, 8);
                    break;
                }
                out.push_back(t);
            }
        }
        return out;
    }

    LoadedPlugin plugin;
    ID3DXEffect* effect = nullptr;
};

TEST_F(EffectProgramTest, ParametersInOrderWithTheirShapes)
{
    D3DXEFFECT_DESC desc;
    ASSERT_EQ(effect->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Parameters, 9u);
    EXPECT_EQ(desc.Techniques, 4u);
    for (UINT i = 0; i < 9 && i < desc.Parameters; ++i) {
        const ParameterShape& expected = expectedParameters[i];
        SCOPED_TRACE(expected.name);
        D3DXHANDLE handle = effect->GetParameter(nullptr, i);
        ASSERT_NE(handle, nullptr);
        D3DXPARAMETER_DESC p;
        ASSERT_EQ(effect->GetParameterDesc(handle, &p), D3D_OK);
        EXPECT_STREQ(p.Name, expected.name);
        EXPECT_EQ(p.Semantic, nullptr);
        EXPECT_EQ(p.Annotations, 0u);
        EXPECT_EQ(p.Class, expected.parameterClass);
        EXPECT_EQ(p.Type, expected.type);
        EXPECT_EQ(p.Rows, expected.rows);
        EXPECT_EQ(p.Columns, expected.columns);
        EXPECT_EQ(effect->GetParameterByName(nullptr, expected.name), handle);
    }
    // Every constant starts at zero, the matrices included.
    float values[16];
    for (const char* name : {"ycOffs", "ycAmp", "bgrOffs", "bgrAmp", "bgrGamma"}) {
        ASSERT_EQ(effect->GetValue(name, values, 16), D3D_OK);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(values[k], 0.0f) << name << "[" << k << "]";
    }
    for (const char* name : {"matYC2BGR", "matBGR2YC"}) {
        ASSERT_EQ(effect->GetValue(name, values, 64), D3D_OK);
        for (int k = 0; k < 16; ++k) EXPECT_EQ(values[k], 0.0f) << name << "[" << k << "]";
    }
}

TEST_F(EffectProgramTest, FourTechniquesEachWithOnePixelShaderPass)
{
    for (UINT i = 0; i < 4; ++i) {
        const char* name = expectedKinds[i + 1].technique;  // F16 and F32 share the first
        SCOPED_TRACE(name);
        D3DXHANDLE technique = effect->GetTechnique(i);
        ASSERT_NE(technique, nullptr);
        D3DXTECHNIQUE_DESC t;
        ASSERT_EQ(effect->GetTechniqueDesc(technique, &t), D3D_OK);
        EXPECT_STREQ(t.Name, name);
        EXPECT_EQ(t.Passes, 1u);
        EXPECT_EQ(effect->GetTechniqueByName(name), technique);
        EXPECT_EQ(effect->ValidateTechnique(technique), D3D_OK);

        D3DXPASS_DESC pass;
        ASSERT_EQ(effect->GetPassDesc(effect->GetPass(technique, 0), &pass), D3D_OK);
        EXPECT_STREQ(pass.Name, "p0");
        EXPECT_EQ(pass.pVertexShaderFunction, nullptr);
        ASSERT_NE(pass.pPixelShaderFunction, nullptr);
        EXPECT_EQ(D3DXGetShaderVersion(pass.pPixelShaderFunction), D3DPS_VERSION(2, 0));

        // The shader's constant table is what binds the parameters to its
        // registers; it must name each one the shader reads.
        ID3DXConstantTable* table = nullptr;
        ASSERT_EQ(D3DXGetShaderConstantTable(pass.pPixelShaderFunction, &table), D3D_OK);
        D3DXCONSTANTTABLE_DESC tableDesc;
        ASSERT_EQ(table->GetDesc(&tableDesc), D3D_OK);
        EXPECT_EQ(tableDesc.Version, D3DPS_VERSION(2, 0));
        for (const char* name : {"ycOffs", "ycAmp", "bgrOffs", "bgrAmp", "bgrGamma", "matYC2BGR",
                                 "matBGR2YC", "samSrc"}) {
            D3DXHANDLE constant = table->GetConstantByName(nullptr, name);
            EXPECT_NE(constant, nullptr) << name;
            if (constant == nullptr) continue;
            D3DXCONSTANT_DESC c;
            UINT count = 1;
            ASSERT_EQ(table->GetConstantDesc(constant, &c, &count), D3D_OK);
            if (std::strcmp(name, "samSrc") == 0) {
                EXPECT_EQ(c.RegisterSet, D3DXRS_SAMPLER);
            } else {
                EXPECT_EQ(c.RegisterSet, D3DXRS_FLOAT4) << name;
                EXPECT_EQ(c.RegisterCount, name[0] == 'm' ? 4u : 1u) << name;
            }
        }
        table->Release();
    }
}

struct SliderSet {
    const char* name;
    int32_t tracks[trackCount];
};

const SliderSet sliderSets[] = {
    {"identity", {}},
    {"gains", {0, 128, 0, -100, 0, 200, 0, 64, 0, 0, -64, 0, 0, 256, 0, 0}},
    {"offsets", {100, 0, -50, 0, 30, 0, -128, 0, 0, 64, 0, 0, 200, 0, 0, 0}},
    {"gamma up", {0, 0, 0, 0, 0, 0, 0, 0, 256, 0, 0, 256, 0, 0, 256, 0}},
    {"gamma down", {0, 0, 0, 0, 0, 0, 0, 0, -256, 0, 0, -256, 0, 0, -256, 0}},
    {"mixed", {-40, 60, 12, -30, -7, 90, 33, -120, 77, -18, 45, -200, 5, 140, 128, 0}},
    {"channels removed", {0, -256, 0, -256, 0, -256, 0, -256, 0, 0, -256, 0, 0, -256, 0, 0}},
    // Small negative results land between two codes around the integer
    // encodings' wraps: Y -1, -3, -5 become -0.25, -0.75, -1.25.
    {"quarter Y gain", {0, -192}},
};

TEST_F(EffectProgramTest, EveryTechniqueMatchesTheReferenceModel)
{
    const int width = 32;
    std::vector<YCTriple> pixels = RangeCoveringPixels(width * 8);
    // Around the integer encodings' wraps and past their limits.
    pixels.insert(pixels.begin(), {{-1, -3, -5}, {-3, 0, 0}, {-5, 0, 0}, {8190, 4088, -4096}});
    pixels.resize(width * 8);
    ReferenceRules rules;  // accepts every conformant rounding of each target

    for (const ExpectedKind& c : expectedKinds) {
        for (const SliderSet& sliders : sliderSets) {
            SCOPED_TRACE(std::string(c.technique) + " (kind " + std::to_string(c.kind) + "), " +
                         sliders.name);
            CorrectionConstants constants = ComputeCorrectionConstants(sliders.tracks);
            SetConstants(constants);
            std::vector<Texel> out = Draw(c, pixels, width);
            ASSERT_EQ(out.size(), pixels.size());

            int failures = 0;
            for (size_t i = 0; i < pixels.size(); ++i) {
                ReferenceResult expected = RunReference(pixels[i], constants, c.kind, rules);
                YCTriple actual = UnpackTargetTexel(out[i], c.kind, rules);
                if (!HostPixelAccepted(expected, actual) && ++failures <= 5) {
                    ADD_FAILURE() << "pixel " << i << " in (" << pixels[i].y << ", " << pixels[i].cb
                                  << ", " << pixels[i].cr << ") got (" << actual.y << ", "
                                  << actual.cb << ", " << actual.cr << ") model ("
                                  << expected.host.y << ", " << expected.host.cb << ", "
                                  << expected.host.cr << ")";
                }
            }
            EXPECT_EQ(failures, 0);
        }
    }
}

}  // namespace
