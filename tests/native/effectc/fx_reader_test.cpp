// The reader against containers in the reference compiler's layout: each
// case describes an effect (structs, arrays, annotations, semantics, object
// data, sampler states, resources), builds it the way the reference compiler
// lays it out, and checks that the reader reads back exactly the
// description; corrupted cases must be rejected with the named fault.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fx_reader.h"
#include "reference_layout.h"

using namespace test;

namespace {

constexpr uint32_t typeInt = 2, typeFloat = 3, typeString = 4, typeTexture = 5, typeTexture2D = 7,
                   typeSampler2D = 12, typePixelShader = 15;
constexpr uint32_t scalar = 0, vector = 1, matrixRows = 2, object = 4;
constexpr uint32_t noIndex = 0xFFFFFFFFu;

uint32_t f(float v)
{
    uint32_t w = 0;
    std::memcpy(&w, &v, 4);
    return w;
}

std::vector<uint8_t> text(const std::string& s)
{
    std::vector<uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    return bytes;
}

FxType numeric(const std::string& name, uint32_t cls, uint32_t rows, uint32_t columns,
               uint32_t elements = 0, uint32_t type = typeFloat)
{
    FxType t;
    t.type = type;
    t.cls = cls;
    t.name = name;
    t.rows = rows;
    t.columns = columns;
    t.elements = elements;
    return t;
}

FxType structOf(const std::string& name, std::vector<FxType> members, uint32_t elements = 0)
{
    FxType t;
    t.cls = 5;  // STRUCT of type VOID, as the reference compiler writes it
    t.name = name;
    t.members = std::move(members);
    t.elements = elements;
    return t;
}

FxType objectOf(const std::string& name, uint32_t type, uint32_t elements = 0)
{
    FxType t;
    t.type = type;
    t.cls = object;
    t.name = name;
    t.elements = elements;
    return t;
}

FxParameterRecord parameter(const FxType& t, std::vector<uint32_t> value)
{
    FxParameterRecord p;
    p.name = t.name;
    p.type = t;
    p.value = std::move(value);
    return p;
}

FxStateRecord state(uint32_t op, uint32_t index, const FxType& t, uint32_t value)
{
    FxStateRecord s;
    s.op = op;
    s.index = index;
    s.type = t;
    s.value = value;
    return s;
}

const FxType intConstant = numeric("", matrixRows, 1, 1, 0,
                                   typeInt);  // how states hold enums and booleans

uint32_t areaSize(const std::vector<uint8_t>& blob)
{
    return blob[4] | blob[5] << 8 | blob[6] << 16 | blob[7] << 24;
}

void putWord(std::vector<uint8_t>& blob, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; ++k) blob.at(at + k) = static_cast<uint8_t>(v >> (8 * k));
}

// float4 members, a semantic and a string annotation whose text is object 1.
FxFile structWithAnnotation()
{
    FxFile d;
    d.objectCount = 2;
    FxType light = structOf("light",
                            {numeric("color", vector, 1, 4), numeric("direction", vector, 1, 4)});
    light.semantic = "LIGHT";
    FxParameterRecord p = parameter(light,
                                    {f(1), f(0.5f), f(0.25f), f(1), f(0), f(0), f(-1), f(0)});
    p.annotations.push_back({objectOf("UIName", typeString), {1}});
    d.parameters = {p};
    d.objects = {{1, text("Light")}};
    return d;
}

FxFile oneParameter(const FxParameterRecord& p)
{
    FxFile d;
    d.objectCount = 1;
    d.parameters = {p};
    return d;
}

std::vector<uint32_t> counting(uint32_t n)
{
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < n; ++i) v.push_back(f(static_cast<float>(i)));
    return v;
}

FxFile passesWithAnnotations()
{
    FxFile d;
    d.shaderCount = 1;
    d.objectCount = 2;
    FxTechniqueRecord t;
    t.name = "t";
    t.annotations.push_back({numeric("Order", scalar, 1, 1, 0, typeInt), {2}});
    FxPassRecord p;
    p.name = "p";
    // An annotation typed as an array of one struct, as in `pass p <s m[1] = {6};>`.
    p.annotations.push_back({structOf("m", {numeric("j", scalar, 1, 1)}, 1), {f(6)}});
    p.states = {state(0, 0, intConstant, 0), state(147, 0, objectOf("", typePixelShader), 1)};
    t.passes = {p};
    d.techniques = {t};
    d.resources = {{0, 0, noIndex, 1, 0, {0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}}};
    return d;
}

// Object data is listed last parameter first, elements in order.
FxFile objectsWithData()
{
    FxFile d;
    d.objectCount = 4;
    d.parameters = {parameter(objectOf("s_2", typeString, 2), {1, 2}),
                    parameter(objectOf("tex", typeTexture2D), {3})};
    d.objects = {{3, {}}, {1, text("a")}, {2, text("bc")}};
    return d;
}

FxFile samplerNamingItsTexture()
{
    FxFile d;
    d.shaderCount = 2;
    d.objectCount = 3;
    FxParameterRecord smp = parameter(objectOf("smp", typeSampler2D), {2});
    smp.samplerStates = {state(164, 0x100, objectOf("", typeTexture), 2),
                         state(165, 0x100, intConstant, 3)};
    d.parameters = {parameter(objectOf("tx", typeTexture), {1}), smp};
    d.objects = {{1, {}}};
    d.resources = {{noIndex, 1, 0, 0, 1, text("tx")}};
    return d;
}

struct Case {
    const char* what;
    FxFile description;
    void (*patch)(std::vector<uint8_t>&);
    const char* error;  // nullptr: read back exactly the description
};

std::vector<Case> cases()
{
    FxFile badTexture = samplerNamingItsTexture();
    badTexture.resources[0].state = 2;
    FxFile unnamed = structWithAnnotation();
    unnamed.parameters[0].annotations[0].type.name.clear();
    FxFile fewObjects = structWithAnnotation();
    fewObjects.objectCount = 1;
    FxType camera = numeric("camera", matrixRows, 4, 4, 3);
    camera.semantic = "VIEW";

    return {
        {"a struct parameter with two float4 members, a semantic and an annotation",
         structWithAnnotation(), nullptr, nullptr},
        {"an array of 3 float4x4 with a semantic", oneParameter(parameter(camera, counting(48))),
         nullptr, nullptr},
        {"an array of two structs, member types written once",
         oneParameter(
             parameter(structOf("x", {numeric("j", scalar, 1, 1), numeric("k", vector, 1, 2)}, 2),
                       counting(6))),
         nullptr, nullptr},
        {"a technique and a pass with annotations, states and a shader resource",
         passesWithAnnotations(), nullptr, nullptr},
        {"a string array and a texture with their object data", objectsWithData(), nullptr,
         nullptr},
        {"a sampler whose Texture state names a parameter", samplerNamingItsTexture(), nullptr,
         nullptr},

        {"annotation typedef offset beyond the area", structWithAnnotation(),
         [](std::vector<uint8_t>& b) {
             putWord(b, 8 + areaSize(b) + 16 + 16, 0x7FFFFFF0);
         },  // first annotation pair
         "outside the unstructured area"},
        {"struct member count beyond the area", structWithAnnotation(),
         [](std::vector<uint8_t>& b) {
             putWord(b, 8 + 4 + 20, 0x40000000);
         },  // the first typedef's member count
         "struct members at 4 run past the area"},
        {"array count whose byte size wraps 32 bits",
         oneParameter(parameter(numeric("big", vector, 1, 4, 0x10000000), counting(4))), nullptr,
         "value of 268435456 element(s)"},
        {"array count past the value area",
         oneParameter(parameter(numeric("m", matrixRows, 4, 4, 1000), counting(16))), nullptr,
         "value of 1000 element(s)"},
        {"annotation object id beyond the object count", fewObjects, nullptr,
         "object id 1 outside the object table"},
        {"unnamed annotation", unnamed, nullptr, "unnamed annotation"},
        {"resource addressing a state the sampler lacks", badTexture, nullptr,
         "parameter resource addresses nothing"},
    };
}

}  // namespace

TEST(FxReader, ReferenceLayouts)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> blob = buildReferenceLayout(c.description);
        if (c.patch) c.patch(blob);
        FxFile read;
        std::string error;
        bool ok = readFx(blob, read, error);
        if (c.error) {
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(describe(read), describe(c.description));
        // Every offset is followed: no shorter prefix reads as a whole effect.
        for (size_t size = 0; size < blob.size(); size += 4) {
            FxFile partial;
            EXPECT_FALSE(
                readFx(std::vector<uint8_t>(blob.begin(), blob.begin() + size), partial, error))
                << size;
        }
    }
}
