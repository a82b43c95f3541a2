// The compiled effect through MojoShader, a reader that shares no code with
// effectc or Wine's D3DX: its effect reader must see what the .fx declares,
// and its assembler, given each asm block, must produce effectc's shader
// tokens instruction for instruction (comments aside;
// tools/effectc/README.md says why).
//
// The effect read is the one the build made (COLOR_CORRECTION_FXO), or the
// file named by KELVO_EFFECT_BINARY, e.g. the Windows tree's copy or a
// scratch copy with a fault put in by hand.
#define MOJOSHADER_EFFECT_SUPPORT
#include <mojoshader.h>
#include <mojoshader_effects.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fx_reader.h"
#include "lexer.h"
#include "parser.h"
#include "ps_assembler.h"

namespace {

// ---------------------------------------------------------------- names

struct Named {
    const char* name;
    int value;
};

// Values as MojoShader's enums number them (the D3D9 enums' values).
const Named zBufferValues[] = {{"FALSE", MOJOSHADER_ZB_FALSE},
                               {"TRUE", MOJOSHADER_ZB_TRUE},
                               {"USEW", MOJOSHADER_ZB_USEW},
                               {nullptr, 0}};
const Named boolValues[] = {{"FALSE", 0}, {"TRUE", 1}, {nullptr, 0}};
const Named cullValues[] = {{"NONE", MOJOSHADER_CULL_NONE},
                            {"CW", MOJOSHADER_CULL_CW},
                            {"CCW", MOJOSHADER_CULL_CCW},
                            {nullptr, 0}};
const Named addressValues[] = {{"WRAP", MOJOSHADER_TADDRESS_WRAP},
                               {"MIRROR", MOJOSHADER_TADDRESS_MIRROR},
                               {"CLAMP", MOJOSHADER_TADDRESS_CLAMP},
                               {"BORDER", MOJOSHADER_TADDRESS_BORDER},
                               {"MIRRORONCE", MOJOSHADER_TADDRESS_MIRRORONCE},
                               {nullptr, 0}};
const Named filterValues[] = {{"NONE", MOJOSHADER_TEXTUREFILTER_NONE},
                              {"POINT", MOJOSHADER_TEXTUREFILTER_POINT},
                              {"LINEAR", MOJOSHADER_TEXTUREFILTER_LINEAR},
                              {"ANISOTROPIC", MOJOSHADER_TEXTUREFILTER_ANISOTROPIC},
                              {nullptr, 0}};
const Named shaderValues[] = {{"NULL", 0}, {nullptr, 0}};

// Each state under two numberings, beside its name in effect files: its row
// in D3DX's state table (what the file stores) and MojoShader's enum.
struct StateRow {
    const char* name;
    bool sampler;
    uint32_t mojo;
    const Named* values;
};

const StateRow stateRows[] = {
    {"ZEnable", false, MOJOSHADER_RS_ZENABLE, zBufferValues},
    {"ZWriteEnable", false, MOJOSHADER_RS_ZWRITEENABLE, boolValues},
    {"AlphaTestEnable", false, MOJOSHADER_RS_ALPHATESTENABLE, boolValues},
    {"CullMode", false, MOJOSHADER_RS_CULLMODE, cullValues},
    {"AlphaBlendEnable", false, MOJOSHADER_RS_ALPHABLENDENABLE, boolValues},
    {"VertexShader", false, MOJOSHADER_RS_VERTEXSHADER, shaderValues},
    {"PixelShader", false, MOJOSHADER_RS_PIXELSHADER, shaderValues},
    {"Texture", true, MOJOSHADER_SAMP_TEXTURE, nullptr},
    {"AddressU", true, MOJOSHADER_SAMP_ADDRESSU, addressValues},
    {"AddressV", true, MOJOSHADER_SAMP_ADDRESSV, addressValues},
    {"AddressW", true, MOJOSHADER_SAMP_ADDRESSW, addressValues},
    {"MagFilter", true, MOJOSHADER_SAMP_MAGFILTER, filterValues},
    {"MinFilter", true, MOJOSHADER_SAMP_MINFILTER, filterValues},
    {"MipFilter", true, MOJOSHADER_SAMP_MIPFILTER, filterValues},
};

bool sameWord(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

template <typename Match>
const StateRow* findRow(bool sampler, Match match)
{
    for (const StateRow& r : stateRows)
        if (r.sampler == sampler && match(r)) return &r;
    return nullptr;
}

std::string rowName(const StateRow* r, uint32_t number)
{
    return r ? r->name : "state #" + std::to_string(number);
}

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// ---------------------------------------------------------------- shader tokens

using Instruction = std::vector<uint32_t>;

// The version token, then each instruction with its operands (sized by the
// length field in bits 24-27, which ps_2_0 bytecode carries), then the end
// token. Comments are left out.
std::vector<Instruction> instructions(const std::vector<uint32_t>& tokens)
{
    std::vector<Instruction> out;
    if (tokens.empty()) return out;
    out.push_back({tokens[0]});
    for (size_t i = 1; i < tokens.size();) {
        const uint32_t t = tokens[i];
        if ((t & 0xFFFF) == 0xFFFE) {
            i += 1 + (t >> 16);
            continue;
        }
        const size_t end = std::min(tokens.size(), i + 1 + (t == 0xFFFF ? 0 : (t >> 24) & 0xF));
        out.emplace_back(tokens.begin() + i, tokens.begin() + end);
        i = end;
        if (t == 0xFFFF) break;
    }
    return out;
}

// Shader bytes as tokens (little-endian, as on the machines that run this).
std::vector<uint32_t> tokensOf(const void* bytes, size_t size)
{
    std::vector<uint32_t> out(size / 4);
    std::memcpy(out.data(), bytes, out.size() * 4);
    return out;
}

std::string hex(const Instruction& in)
{
    std::string s;
    char word[12];
    for (uint32_t t : in) {
        std::snprintf(word, sizeof word, "%s%08X", s.empty() ? "" : " ", t);
        s += word;
    }
    return s;
}

// ---------------------------------------------------------------- one text for every reader

// Each reader's view is written as lines that name what they describe
// ("samSrc.AddressU = 3", "ColorCorrection.p0.PixelShader reads c0 ..."),
// in MojoShader's numbering of classes, types and state values, so that one
// comparison covers the whole effect and a difference names its place.

struct Constant {
    std::string name;
    uint32_t set = 0, index = 0, count = 0, cls = 0, type = 0, rows = 0, columns = 0;
    uint32_t elements = 0;
};

struct Shader {
    std::string version;
    int instructions = 0;
    std::set<uint32_t> reads, defines, samples;  // c# read but not def'd; c# def'd; s# declared
    std::vector<Constant> constants;
    std::vector<std::string> samplers;  // "name s#, N states": the sampler states applied with it
};

std::string registers(char prefix, const std::set<uint32_t>& indices)
{
    std::string s;
    for (uint32_t i : indices) s += std::string(s.empty() ? "" : " ") + prefix + std::to_string(i);
    return s.empty() ? "none" : s;
}

// The order of a constant table carries nothing (D3DX looks names up), so
// constants are listed by name.
std::string describe(Shader s, const std::string& at)
{
    std::ostringstream os;
    os << at << " = " << s.version << ", " << s.instructions << " instructions\n";
    os << at << " reads " << registers('c', s.reads) << "; defines " << registers('c', s.defines)
       << "; samples " << registers('s', s.samples) << "\n";
    std::sort(s.constants.begin(), s.constants.end(),
              [](const Constant& a, const Constant& b) { return a.name < b.name; });
    for (const Constant& c : s.constants) {
        os << at << " constant " << c.name << ": set " << c.set << " index " << c.index << " count "
           << c.count << ", class " << c.cls << " type " << c.type << " " << c.rows << "x"
           << c.columns << " elements " << c.elements << "\n";
    }
    std::sort(s.samplers.begin(), s.samplers.end());
    for (const std::string& line : s.samplers) os << at << " sampler " << line << "\n";
    return os.str();
}

void parameterLine(std::ostringstream& os, const std::string& name, uint32_t cls, uint32_t type,
                   uint32_t rows, uint32_t columns, uint32_t elements, const std::string& semantic,
                   size_t annotations)
{
    os << "parameter " << name << ": class " << cls << " type " << type << " " << rows << "x"
       << columns << " elements " << elements << " semantic '" << semantic << "', " << annotations
       << " annotations\n";
}

std::string text(const char* s)
{
    return s ? s : "";
}

// ---------------------------------------------------------------- MojoShader's view

// The effect reader hands each shader to these; MOJOSHADER_parse with the
// "d3d" profile parses the whole shader and disassembles it.
void* MOJOSHADERCALL parseShader(const char* mainfn, const unsigned char* tokens,
                                 const unsigned int size, const MOJOSHADER_swizzle* swiz,
                                 const unsigned int swizcount, const MOJOSHADER_samplerMap* smap,
                                 const unsigned int smapcount)
{
    return const_cast<MOJOSHADER_parseData*>(
        MOJOSHADER_parse(MOJOSHADER_PROFILE_D3D, mainfn, tokens, size, swiz, swizcount, smap,
                         smapcount, nullptr, nullptr, nullptr));
}
void MOJOSHADERCALL freeShader(void* shader)
{
    if (shader) MOJOSHADER_freeParseData(static_cast<const MOJOSHADER_parseData*>(shader));
}
MOJOSHADER_parseData* MOJOSHADERCALL shaderParseData(void* shader)
{
    return static_cast<MOJOSHADER_parseData*>(shader);
}

// A state's line(s): `at` names it, e.g. "samSrc.AddressU".
std::string mojoState(const MOJOSHADER_effect& e, const std::string& at,
                      const MOJOSHADER_effectValue& v, unsigned technique = ~0u,
                      unsigned pass = ~0u)
{
    const MOJOSHADER_symbolTypeInfo& t = v.type;
    if (t.parameter_class <= MOJOSHADER_SYMCLASS_MATRIX_COLUMNS)
        return at + " = " +
               (t.parameter_type == MOJOSHADER_SYMTYPE_FLOAT ? number(v.valuesF[0])
                                                             : std::to_string(v.valuesI[0])) +
               "\n";
    const int id = v.valuesI[0];
    const MOJOSHADER_effectObject* object = id > 0 && id < e.object_count ? &e.objects[id]
                                                                          : nullptr;
    if (object && t.parameter_type == MOJOSHADER_SYMTYPE_TEXTURE)
        return at + " = <" + text(object->mapping.name) + ">\n";
    const MOJOSHADER_parseData* pd =
        object && object->type == MOJOSHADER_SYMTYPE_PIXELSHADER
            ? static_cast<const MOJOSHADER_parseData*>(object->shader.shader)
            : nullptr;
    if (!pd || pd->error_count || object->shader.technique != technique ||
        object->shader.pass != pass)
        return at + " = object " + std::to_string(id) + " of type " +
               std::to_string(t.parameter_type) + "\n";
    Shader s;
    s.version = std::string(pd->shader_type == MOJOSHADER_TYPE_PIXEL ? "ps_" : "vs_") +
                std::to_string(pd->major_ver) + "_" + std::to_string(pd->minor_ver);
    s.instructions = pd->instruction_count;
    for (int i = 0; i < pd->uniform_count; ++i)
        s.reads.insert(static_cast<uint32_t>(pd->uniforms[i].index));
    for (int i = 0; i < pd->constant_count; ++i)
        s.defines.insert(static_cast<uint32_t>(pd->constants[i].index));
    for (int i = 0; i < pd->sampler_count; ++i)
        s.samples.insert(static_cast<uint32_t>(pd->samplers[i].index));
    for (int i = 0; i < pd->symbol_count; ++i) {
        const MOJOSHADER_symbol& sym = pd->symbols[i];
        s.constants.push_back({text(sym.name), sym.register_set, sym.register_index,
                               sym.register_count, sym.info.parameter_class,
                               sym.info.parameter_type, sym.info.rows, sym.info.columns,
                               sym.info.elements});
    }
    for (unsigned i = 0; i < object->shader.sampler_count; ++i) {
        const MOJOSHADER_samplerStateRegister& r = object->shader.samplers[i];
        s.samplers.push_back(text(r.sampler_name) + " s" + std::to_string(r.sampler_register) +
                             ", " + std::to_string(r.sampler_state_count) + " states");
    }
    return describe(s, at);
}

std::string mojoStateName(bool sampler, uint32_t type)
{
    return rowName(findRow(sampler, [&](const StateRow& r) { return r.mojo == type; }), type);
}

void mojoAnnotations(std::ostringstream& os, const std::string& at,
                     const MOJOSHADER_effectAnnotation* a, unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
        os << at << " annotation " << text(a[i].name) << ": class " << a[i].type.parameter_class
           << " type " << a[i].type.parameter_type << "\n";
}

std::string describeMojo(const MOJOSHADER_effect& e)
{
    std::ostringstream os;
    for (int i = 0; i < e.param_count; ++i) {
        const MOJOSHADER_effectParam& p = e.params[i];
        const MOJOSHADER_symbolTypeInfo& t = p.value.type;
        const std::string name = text(p.value.name);
        parameterLine(os, name, t.parameter_class, t.parameter_type, t.rows, t.columns, t.elements,
                      text(p.value.semantic), p.annotation_count);
        mojoAnnotations(os, name, p.annotations, p.annotation_count);
        if (t.parameter_class <= MOJOSHADER_SYMCLASS_MATRIX_COLUMNS) {
            os << name << " =";  // MojoShader keeps four floats per row
            for (unsigned r = 0; r < t.rows; ++r)
                for (unsigned c = 0; c < t.columns; ++c)
                    os << " " << number(p.value.valuesF[r * 4 + c]);
            os << "\n";
        } else if (t.parameter_type == MOJOSHADER_SYMTYPE_SAMPLER2D) {
            for (unsigned s = 0; s < p.value.value_count; ++s) {
                const MOJOSHADER_effectSamplerState& state = p.value.valuesSS[s];
                os << mojoState(e, name + "." + mojoStateName(true, state.type), state.value);
            }
        }
    }
    for (int ti = 0; ti < e.technique_count; ++ti) {
        const MOJOSHADER_effectTechnique& t = e.techniques[ti];
        os << "technique " << text(t.name) << ", " << t.annotation_count << " annotations\n";
        mojoAnnotations(os, text(t.name), t.annotations, t.annotation_count);
        for (unsigned pi = 0; pi < t.pass_count; ++pi) {
            const MOJOSHADER_effectPass& p = t.passes[pi];
            const std::string at = text(t.name) + "." + text(p.name);
            os << "pass " << at << ", " << p.annotation_count << " annotations\n";
            mojoAnnotations(os, at, p.annotations, p.annotation_count);
            for (unsigned s = 0; s < p.state_count; ++s)
                os << mojoState(e, at + "." + mojoStateName(false, p.states[s].type),
                                p.states[s].value, ti, pi);
        }
    }
    return os.str();
}

// ---------------------------------------------------------------- the .fx's view

// A shader as the source gives it, through effectc's assembler (instruction
// slots, registers read and declared); its constant table names every
// parameter whose register() range the shader reads or samples, at that
// binding.
std::string sourceShader(const effectc::EffectDecl& decl, const effectc::StateValue& v,
                         const std::string& at)
{
    using namespace effectc;
    Diagnostics diags;
    AssembledShader a = AssemblePixelShader(v.text, v.bodyAt, diags);
    if (!diags.errors.empty())
        return at + " = shader with errors: " + diags.errors[0].message + "\n";
    Shader sh;
    sh.version = "ps_2_0";  // the one version the assembler accepts
    sh.instructions = a.arithmeticSlots + a.textureSlots;
    for (const RegisterUse& d : a.constantsDefined) sh.defines.insert(d.index);
    for (const RegisterUse& r : a.constantsRead)
        if (!sh.defines.count(r.index)) sh.reads.insert(r.index);
    for (const SamplerDecl& d : a.samplers) sh.samples.insert(d.index);
    for (const ParameterDecl& p : decl.parameters) {
        if (!p.reg.present) continue;
        const uint32_t first = p.reg.index;
        const uint32_t count = p.reg.set == 's' || !p.isMatrix
                                   ? 1u
                                   : static_cast<uint32_t>(p.rowMajor ? p.rows : p.columns);
        const std::set<uint32_t>& used = p.reg.set == 's' ? sh.samples : sh.reads;
        if (used.lower_bound(first) == used.lower_bound(first + count)) continue;
        if (p.reg.set == 's') {
            sh.constants.push_back({p.name, MOJOSHADER_SYMREGSET_SAMPLER, first, 1,
                                    MOJOSHADER_SYMCLASS_OBJECT, MOJOSHADER_SYMTYPE_SAMPLER2D, 1, 1,
                                    1});
            sh.samplers.push_back(p.name + " s" + std::to_string(first) + ", " +
                                  std::to_string(p.samplerStates.size()) + " states");
            continue;
        }
        const uint32_t cls = p.isMatrix   ? (p.rowMajor ? MOJOSHADER_SYMCLASS_MATRIX_ROWS
                                                        : MOJOSHADER_SYMCLASS_MATRIX_COLUMNS)
                             : p.isVector ? MOJOSHADER_SYMCLASS_VECTOR
                                          : MOJOSHADER_SYMCLASS_SCALAR;
        sh.constants.push_back({p.name, MOJOSHADER_SYMREGSET_FLOAT4, first, count, cls,
                                MOJOSHADER_SYMTYPE_FLOAT, static_cast<uint32_t>(p.rows),
                                static_cast<uint32_t>(p.columns), 1});
    }
    return describe(sh, at);
}

std::string sourceState(const effectc::EffectDecl& decl, const std::string& owner,
                        const effectc::StateAssignment& s, bool sampler)
{
    using effectc::ValueKind;
    const StateRow* row = findRow(sampler,
                                  [&](const StateRow& r) { return sameWord(s.name, r.name); });
    const std::string at = owner + "." + (row ? row->name : "unknown state " + s.name);
    const effectc::StateValue& v = s.value;
    if (v.kind == ValueKind::reference) return at + " = <" + v.text + ">\n";
    if (v.kind == ValueKind::number) return at + " = " + number(v.number) + "\n";
    if (v.kind != ValueKind::identifier) return sourceShader(decl, v, at);
    for (const Named* n = row ? row->values : nullptr; n && n->name; ++n)
        if (sameWord(v.text, n->name)) return at + " = " + std::to_string(n->value) + "\n";
    return at + " = unknown value " + v.text + "\n";
}

// What the source declares, in MojoShader's numbering.
std::string describeSource(const effectc::EffectDecl& decl)
{
    using namespace effectc;
    std::ostringstream os;
    for (const ParameterDecl& p : decl.parameters) {
        if (p.kind == ParamKind::numeric) {
            // Every matrix is MATRIX_ROWS in the effect; the packing shows only in the constant table.
            const uint32_t cls = p.isMatrix   ? MOJOSHADER_SYMCLASS_MATRIX_ROWS
                                 : p.isVector ? MOJOSHADER_SYMCLASS_VECTOR
                                              : MOJOSHADER_SYMCLASS_SCALAR;
            parameterLine(os, p.name, cls, MOJOSHADER_SYMTYPE_FLOAT, p.rows, p.columns, 0, "", 0);
            std::vector<double> values = p.initializer;
            values.resize(static_cast<size_t>(p.rows * p.columns), 0.0);  // no initialiser: zeros
            os << p.name << " =";
            for (double v : values) os << " " << number(static_cast<float>(v));
            os << "\n";
        } else {
            const bool sampler = p.kind == ParamKind::sampler2D;
            parameterLine(os, p.name, MOJOSHADER_SYMCLASS_OBJECT,
                          sampler ? MOJOSHADER_SYMTYPE_SAMPLER2D : MOJOSHADER_SYMTYPE_TEXTURE, 0, 0,
                          0, "", 0);
            for (const StateAssignment& s : p.samplerStates)
                os << sourceState(decl, p.name, s, true);
        }
    }
    for (const TechniqueDecl& t : decl.techniques) {
        os << "technique " << t.name << ", 0 annotations\n";
        for (const PassDecl& p : t.passes) {
            os << "pass " << t.name << "." << p.name << ", 0 annotations\n";
            for (const StateAssignment& s : p.states)
                os << sourceState(decl, t.name + "." + p.name, s, false);
        }
    }
    return os.str();
}

// ---------------------------------------------------------------- fixture

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

using ParseData =
    std::unique_ptr<const MOJOSHADER_parseData, void (*)(const MOJOSHADER_parseData*)>;

// A shader's instructions, each with its line of MojoShader's disassembly:
// the d3d profile writes the version, each instruction and "end" on lines
// of their own, comments not at all.
struct Listing {
    std::vector<Instruction> code;
    std::vector<std::string> lines;

    Listing(const void* bytes, size_t size) : code(instructions(tokensOf(bytes, size)))
    {
        ParseData pd(MOJOSHADER_parse(MOJOSHADER_PROFILE_D3D, nullptr,
                                      static_cast<const unsigned char*>(bytes),
                                      static_cast<unsigned>(size), nullptr, 0, nullptr, 0, nullptr,
                                      nullptr, nullptr),
                     MOJOSHADER_freeParseData);
        std::istringstream in(pd->error_count == 0 && pd->output ? pd->output : "");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    std::string show(size_t k) const
    {
        if (k >= code.size()) return "nothing";
        return "`" + (k < lines.size() ? lines[k] : std::string("?")) + "` (" + hex(code[k]) + ")";
    }
};

class MojoShaderReads : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const char* override = std::getenv("KELVO_EFFECT_BINARY");
        binaryPath = override && *override ? override : COLOR_CORRECTION_FXO;
        const std::string bytes = readText(binaryPath);
        binary.assign(bytes.begin(), bytes.end());

        effectc::Diagnostics diags;
        decl = effectc::ParseEffect(effectc::LexEffect(readText(COLOR_CORRECTION_FX), diags),
                                    diags);
        parsed = diags.errors.empty();

        // MojoShader's reader follows offsets without checking them, so it
        // gets only a file whose offsets the test-side reader has checked.
        readerOk = test::ReadFx20(binary, fx, readerError);
        if (!readerOk) return;
        MOJOSHADER_effectShaderContext context{};
        context.compileShader = parseShader;
        context.deleteShader = freeShader;
        context.getParseData = shaderParseData;
        effect = MOJOSHADER_compileEffect(binary.data(), static_cast<unsigned>(binary.size()),
                                          nullptr, 0, nullptr, 0, &context);
    }
    // The reader's results for a file it cannot start on are static and
    // carry no allocator; only a real result is freed.
    static void TearDownTestSuite()
    {
        if (effect && effect->ctx.f) MOJOSHADER_deleteEffect(effect);
    }

    void SetUp() override
    {
        ASSERT_FALSE(binary.empty()) << "cannot read " << binaryPath;
        ASSERT_TRUE(parsed) << COLOR_CORRECTION_FX << " does not parse";
        ASSERT_TRUE(readerOk) << "the test-side reader: " << readerError;
        std::string errors;
        for (int i = 0; i < effect->error_count; ++i)
            errors += std::string("\n  ") + text(effect->errors[i].error);
        ASSERT_EQ(effect->error_count, 0) << "MojoShader's effect reader:" << errors;
    }

    static std::string binaryPath;
    static std::vector<uint8_t> binary;
    static effectc::EffectDecl decl;
    static bool parsed;
    static effectc::FxEffect fx;
    static bool readerOk;
    static std::string readerError;
    static const MOJOSHADER_effect* effect;
};

std::string MojoShaderReads::binaryPath;
std::vector<uint8_t> MojoShaderReads::binary;
effectc::EffectDecl MojoShaderReads::decl;
bool MojoShaderReads::parsed = false;
effectc::FxEffect MojoShaderReads::fx;
bool MojoShaderReads::readerOk = false;
std::string MojoShaderReads::readerError;
const MOJOSHADER_effect* MojoShaderReads::effect = nullptr;

}  // namespace

// Parameters with their types, values and sampler states; techniques,
// passes and states; each shader's version, instruction count, registers
// and constant table, as the .fx declares them.
TEST_F(MojoShaderReads, TheEffectAsTheSourceDeclaresIt)
{
    EXPECT_EQ(describeMojo(*effect), describeSource(decl));
}

// MojoShader's assembler, given each asm block, writes effectc's tokens for
// every instruction: version, dcl, def (values, -0 included), operands and
// length fields, end. Only comments differ: effectc's constant table against
// MojoShader's signature comment.
TEST_F(MojoShaderReads, EachShaderAsMojoShaderAssemblesIt)
{
    int shaders = 0;
    for (uint32_t ti = 0; ti < decl.techniques.size(); ++ti) {
        for (uint32_t pi = 0; pi < decl.techniques[ti].passes.size(); ++pi) {
            const auto& states = decl.techniques[ti].passes[pi].states;
            for (uint32_t si = 0; si < states.size(); ++si) {
                const effectc::StateValue& v = states[si].value;
                if (v.kind != effectc::ValueKind::asmBlock) continue;
                ++shaders;
                const std::string where = decl.techniques[ti].name + "." +
                                          decl.techniques[ti].passes[pi].name;
                ParseData assembled(MOJOSHADER_assemble(where.c_str(), v.text.data(),
                                                        static_cast<unsigned>(v.text.size()),
                                                        nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                                        nullptr, nullptr, nullptr, nullptr),
                                    MOJOSHADER_freeParseData);
                for (int i = 0; i < assembled->error_count; ++i)
                    ADD_FAILURE() << where << ": MojoShader's assembler, line "
                                  << v.bodyAt.line + assembled->errors[i].error_position - 1
                                  << " of the .fx: " << text(assembled->errors[i].error);
                if (assembled->error_count) continue;

                const effectc::FxState* state = nullptr;
                if (ti < fx.techniques.size() && pi < fx.techniques[ti].passes.size() &&
                    si < fx.techniques[ti].passes[pi].states.size())
                    state = &fx.techniques[ti].passes[pi].states[si];
                if (!state || state->kind != effectc::FxStateKind::shader) {
                    ADD_FAILURE() << where << ": no shader in the effect for this state";
                    continue;
                }
                const Listing ours(state->shader.data(), state->shader.size() * 4);
                const Listing theirs(assembled->output, static_cast<size_t>(assembled->output_len));
                // The first difference only: everything after it is usually its consequence.
                for (size_t k = 0; k < std::max(ours.code.size(), theirs.code.size()); ++k) {
                    if (k < ours.code.size() && k < theirs.code.size() &&
                        ours.code[k] == theirs.code[k])
                        continue;
                    ADD_FAILURE() << where << ": instruction " << k
                                  << " differs\n  effectc:                " << ours.show(k)
                                  << "\n  MojoShader's assembler: " << theirs.show(k);
                    break;
                }
            }
        }
    }
    EXPECT_GT(shaders, 0);
}
