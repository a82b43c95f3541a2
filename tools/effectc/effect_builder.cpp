#include "effect_builder.h"

#include <cctype>
#include <cstring>
#include <iterator>

#include "constant_table.h"
#include "ps_assembler.h"

namespace effectc {
namespace {

enum class ValueType {
    Bool,
    ZBuffer,
    Cull,
    Address,
    Filter,
    TextureReference,
    PixelShader,
    VertexShader
};

struct StateInfo {
    const char* name;
    uint32_t op;  // row of D3DX's state table
    ValueType valueType;
};

// Rows of D3DX's state table this tool supports: render states keep
// D3DRENDERSTATETYPE's order (0 ZEnable ... 13 AlphaBlendEnable), the shader
// and sampler states sit after the fixed-function ones.
const StateInfo passStateTable[] = {
    {"ZEnable", 0, ValueType::ZBuffer},           {"ZWriteEnable", 3, ValueType::Bool},
    {"AlphaTestEnable", 4, ValueType::Bool},      {"CullMode", 8, ValueType::Cull},
    {"AlphaBlendEnable", 13, ValueType::Bool},    {"VertexShader", 146, ValueType::VertexShader},
    {"PixelShader", 147, ValueType::PixelShader},
};

const StateInfo samplerStateTable[] = {
    {"Texture", 164, ValueType::TextureReference}, {"AddressU", 165, ValueType::Address},
    {"AddressV", 166, ValueType::Address},         {"AddressW", 167, ValueType::Address},
    {"MagFilter", 169, ValueType::Filter},         {"MinFilter", 170, ValueType::Filter},
    {"MipFilter", 171, ValueType::Filter},
};

struct NamedValue {
    const char* name;
    int32_t value;
    ValueType type;
};

// D3DZBUFFERTYPE, D3DCULL, D3DTEXTUREADDRESS and D3DTEXTUREFILTERTYPE values.
const NamedValue namedValues[] = {
    {"FALSE", 0, ValueType::Bool},
    {"TRUE", 1, ValueType::Bool},
    {"FALSE", 0, ValueType::ZBuffer},
    {"TRUE", 1, ValueType::ZBuffer},
    {"USEW", 2, ValueType::ZBuffer},
    {"NONE", 1, ValueType::Cull},
    {"CW", 2, ValueType::Cull},
    {"CCW", 3, ValueType::Cull},
    {"WRAP", 1, ValueType::Address},
    {"MIRROR", 2, ValueType::Address},
    {"CLAMP", 3, ValueType::Address},
    {"BORDER", 4, ValueType::Address},
    {"MIRRORONCE", 5, ValueType::Address},
    {"NONE", 0, ValueType::Filter},
    {"POINT", 1, ValueType::Filter},
    {"LINEAR", 2, ValueType::Filter},
    {"ANISOTROPIC", 3, ValueType::Filter},
};

// State names and values are case-insensitive in effect files.
bool sameWord(const std::string& a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string where(SourceLocation at)
{
    return std::to_string(at.line) + ":" + std::to_string(at.column);
}

struct Builder {
    const EffectDecl& decl;
    const std::string& sourceName;
    Diagnostics& diags;
    FxEffect out;
    std::vector<const ParameterDecl*> params;  // accepted parameters, in output order
};

const ParameterDecl* findParameter(const Builder& b, const std::string& name)
{
    for (const ParameterDecl* p : b.params)
        if (p->name == name) return p;
    return nullptr;
}

int registerCount(const ParameterDecl& p)
{
    if (!p.isMatrix) return 1;
    return p.rowMajor ? p.rows : p.columns;  // one register per row, or per column
}

uint32_t floatBits(double value)
{
    float f = static_cast<float>(value);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// ---------------------------------------------------------------- states

bool integerValue(Builder& b, const StateAssignment& s, ValueType type, int32_t& value)
{
    const StateValue& v = s.value;
    if (v.kind == ValueKind::Identifier) {
        for (const NamedValue& n : namedValues) {
            if (n.type == type && sameWord(v.text, n.name)) {
                value = n.value;
                return true;
            }
        }
    } else if (v.kind == ValueKind::Number &&
               (type == ValueType::Bool || type == ValueType::ZBuffer)) {
        int32_t limit = type == ValueType::Bool ? 1 : 2;
        if (v.number == static_cast<int32_t>(v.number) && v.number >= 0 && v.number <= limit) {
            value = static_cast<int32_t>(v.number);
            return true;
        }
    }
    std::string allowed;
    for (const NamedValue& n : namedValues)
        if (n.type == type) allowed += std::string(allowed.empty() ? "" : ", ") + n.name;
    addError(b.diags, v.at, "invalid value for " + s.name + "; expected one of " + allowed);
    return false;
}

const StateInfo* lookupState(Builder& b, const StateAssignment& s, const StateInfo* table,
                             size_t count, const char* context)
{
    for (size_t i = 0; i < count; ++i) {
        if (sameWord(s.name, table[i].name)) {
            if (s.hasIndex) {
                addError(b.diags, s.at, "state '" + s.name + "' takes no index here");
                return nullptr;
            }
            return &table[i];
        }
    }
    addError(b.diags, s.at, std::string("unknown ") + context + " state '" + s.name + "'");
    return nullptr;
}

bool checkDuplicateState(Builder& b, const std::vector<StateAssignment>& states, size_t i)
{
    for (size_t k = 0; k < i; ++k) {
        if (sameWord(states[i].name, states[k].name.c_str())) {
            addError(b.diags, states[i].at,
                     "state '" + states[i].name + "' is already set at " + where(states[k].at));
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- shaders

// Matches the registers a shader reads against the parameters' bindings and
// returns the constant table that makes D3DX upload them.
bool bindShader(Builder& b, const AssembledShader& shader, std::vector<ConstantTableEntry>& table)
{
    bool ok = true;
    std::vector<bool> used(b.params.size(), false);
    auto boundTo = [&](char set, int index) -> int {
        for (size_t i = 0; i < b.params.size(); ++i) {
            const ParameterDecl& p = *b.params[i];
            if (!p.reg.present || p.reg.set != set) continue;
            int count = set == 'c' ? registerCount(p) : 1;
            if (index >= p.reg.index && index < p.reg.index + count) return static_cast<int>(i);
        }
        return -1;
    };

    // A def'd register overrides whatever D3DX uploads, so a parameter bound
    // there would silently stop working.
    for (const RegisterUse& d : shader.constantsDefined) {
        int owner = boundTo('c', d.index);
        if (owner >= 0) {
            addError(b.diags, d.at,
                     "c" + std::to_string(d.index) + " is bound to parameter '" +
                         b.params[owner]->name + "'; def would override it");
            ok = false;
        }
    }
    for (const RegisterUse& r : shader.constantsRead) {
        bool defined = false;
        for (const RegisterUse& d : shader.constantsDefined)
            defined = defined || d.index == r.index;
        if (defined) continue;
        int owner = boundTo('c', r.index);
        if (owner < 0) {
            addError(b.diags, r.at,
                     "c" + std::to_string(r.index) +
                         " is neither defined with def nor bound to a parameter with register(c#)");
            ok = false;
        } else {
            used[owner] = true;
        }
    }
    for (const SamplerDecl& s : shader.samplers) {
        int owner = boundTo('s', s.index);
        if (owner < 0) {
            addError(b.diags, s.at,
                     "s" + std::to_string(s.index) +
                         " is not bound to a sampler parameter with register(s#)");
            ok = false;
        } else if (s.type != texture2D) {
            addError(b.diags, s.at,
                     "sampler '" + b.params[owner]->name +
                         "' is a sampler2D; declare it with dcl_2d");
            ok = false;
        } else {
            used[owner] = true;
        }
    }
    for (size_t i = 0; i < b.params.size(); ++i) {
        if (!used[i]) continue;
        const ParameterDecl& p = *b.params[i];
        ConstantTableEntry e;
        e.name = p.name;
        e.registerIndex = static_cast<uint16_t>(p.reg.index);
        if (p.kind == ParamKind::Sampler2D) {
            e.registerSet = registerSetSampler;
            e.typeClass = classObject;
            e.type = typeSampler2D;
        } else {
            e.registerSet = registerSetFloat4;
            e.registerCount = static_cast<uint16_t>(registerCount(p));
            e.type = typeFloat;
            e.rows = static_cast<uint16_t>(p.rows);
            e.columns = static_cast<uint16_t>(p.columns);
            // The class tells D3DX whether the registers hold rows or columns;
            // it transposes on upload when this differs from the parameter's.
            e.typeClass = p.isMatrix   ? (p.rowMajor ? classMatrixRows : classMatrixColumns)
                          : p.isVector ? classVector
                                       : classScalar;
        }
        table.push_back(e);
    }
    return ok;
}

bool buildPixelShader(Builder& b, const StateValue& v, FxState& state)
{
    size_t errorsBefore = b.diags.errors.size();
    AssembledShader shader = assemblePixelShader(v.text, v.bodyAt, b.diags);
    if (b.diags.errors.size() != errorsBefore) return false;
    std::vector<ConstantTableEntry> table;
    if (!bindShader(b, shader, table)) return false;
    std::vector<uint32_t> comment = buildConstantTableComment(table, ps20VersionToken, "ps_2_0",
                                                              "effectc " + b.sourceName);
    state.kind = FxStateKind::Shader;
    state.shaderType = typePixelShader;
    state.shader = insertAfterVersion(shader.tokens, comment);
    return true;
}

bool buildState(Builder& b, const StateAssignment& s, const StateInfo& info, FxState& state)
{
    state.op = info.op;
    state.kind = FxStateKind::Integer;
    const StateValue& v = s.value;
    switch (info.valueType) {
    case ValueType::VertexShader:
    case ValueType::PixelShader: {
        bool pixel = info.valueType == ValueType::PixelShader;
        if (v.kind == ValueKind::Identifier && sameWord(v.text, "NULL")) {
            state.integer = 0;  // NULL is stored as the integer 0, the compiler's own form
            return true;
        }
        if (pixel && v.kind == ValueKind::Asm) return buildPixelShader(b, v, state);
        addError(b.diags, v.at,
                 pixel ? "PixelShader takes an asm { ... } block or NULL"
                       : "vertex shaders are not supported; use VertexShader = NULL");
        return false;
    }
    case ValueType::TextureReference: {
        const ParameterDecl* p = v.kind == ValueKind::Reference ? findParameter(b, v.text)
                                                                : nullptr;
        if (v.kind != ValueKind::Reference) {
            addError(b.diags, v.at, "Texture takes a texture parameter as <name>");
            return false;
        }
        if (!p || p->kind != ParamKind::Texture) {
            addError(b.diags, v.at,
                     "'" + v.text + "' is not a texture parameter declared before this point");
            return false;
        }
        state.kind = FxStateKind::Reference;
        state.reference = p->name;
        state.referenceType = typeTexture;
        return true;
    }
    default:
        return integerValue(b, s, info.valueType, state.integer);
    }
}

// ---------------------------------------------------------------- parameters

bool checkBinding(Builder& b, const ParameterDecl& p)
{
    const RegisterBinding& r = p.reg;
    if (!r.present) return true;
    char wanted = p.kind == ParamKind::Float ? 'c' : p.kind == ParamKind::Sampler2D ? 's' : 0;
    if (wanted == 0) {
        addError(b.diags, r.at,
                 "a texture is not bound to a register; bind the sampler that uses it");
        return false;
    }
    if (r.set != wanted) {
        addError(b.diags, r.at,
                 std::string("parameter '") + p.name + "' needs a " + wanted + "# register");
        return false;
    }
    int count = wanted == 'c' ? registerCount(p) : 1;
    int limit = wanted == 'c' ? 32 : 16;  // ps_2_0: c0-c31, s0-s15
    if (r.index + count > limit) {
        addError(b.diags, r.at,
                 "register " + std::string(1, wanted) + std::to_string(r.index) + " (" +
                     std::to_string(count) + " registers) does not fit in ps_2_0's " + wanted +
                     "0-" + wanted + std::to_string(limit - 1));
        return false;
    }
    for (const ParameterDecl* q : b.params) {
        if (!q->reg.present || q->reg.set != r.set) continue;
        int qCount = wanted == 'c' ? registerCount(*q) : 1;
        if (r.index < q->reg.index + qCount && q->reg.index < r.index + count) {
            addError(b.diags, r.at,
                     "register range of '" + p.name + "' overlaps '" + q->name + "' (" +
                         where(q->reg.at) + ")");
            return false;
        }
    }
    return true;
}

void buildParameter(Builder& b, const ParameterDecl& p)
{
    for (const ParameterDecl* q : b.params) {
        if (q->name == p.name) {
            addError(b.diags, p.at,
                     "duplicate parameter '" + p.name + "' (first declared at " + where(q->at) +
                         ")");
            return;
        }
    }
    if (!checkBinding(b, p)) return;

    FxParameter fx;
    fx.name = p.name;
    switch (p.kind) {
    case ParamKind::Float: {
        fx.type = typeFloat;
        // Effects report every matrix as MATRIX_ROWS with its values row
        // after row; row_major/column_major only changes the register packing,
        // which the shader's constant table describes.
        fx.parameterClass = p.isMatrix ? classMatrixRows : p.isVector ? classVector : classScalar;
        fx.rows = static_cast<uint32_t>(p.rows);
        fx.columns = static_cast<uint32_t>(p.columns);
        size_t expected = fx.rows * fx.columns;
        if (p.hasInitializer && p.initializer.size() != expected) {
            addError(b.diags, p.initAt,
                     "initialiser of '" + p.name + "' has " + std::to_string(p.initializer.size()) +
                         " values; expected " + std::to_string(expected));
            return;
        }
        for (double v : p.initializer) fx.value.push_back(floatBits(v));
        break;
    }
    case ParamKind::Texture:
        fx.type = typeTexture;
        fx.parameterClass = classObject;
        break;
    case ParamKind::Sampler2D: {
        fx.type = typeSampler2D;
        fx.parameterClass = classObject;
        bool ok = true;
        for (size_t i = 0; i < p.samplerStates.size(); ++i) {
            const StateAssignment& s = p.samplerStates[i];
            const StateInfo* info = lookupState(b, s, samplerStateTable,
                                                std::size(samplerStateTable), "sampler");
            FxState state;
            if (!info || !checkDuplicateState(b, p.samplerStates, i) ||
                !buildState(b, s, *info, state)) {
                ok = false;
                continue;
            }
            fx.samplerStates.push_back(state);
        }
        if (!ok) return;
        break;
    }
    }
    b.params.push_back(&p);
    b.out.parameters.push_back(std::move(fx));
}

// ---------------------------------------------------------------- techniques

void buildTechnique(Builder& b, const TechniqueDecl& t)
{
    for (const FxTechnique& other : b.out.techniques) {
        if (other.name == t.name) {
            addError(b.diags, t.at, "duplicate technique '" + t.name + "'");
            return;
        }
    }
    FxTechnique tech;
    tech.name = t.name;
    if (t.passes.empty()) addError(b.diags, t.at, "technique '" + t.name + "' has no pass");
    for (const PassDecl& p : t.passes) {
        for (const FxPass& other : tech.passes) {
            if (other.name == p.name)
                addError(b.diags, p.at,
                         "duplicate pass '" + p.name + "' in technique '" + t.name + "'");
        }
        FxPass pass;
        pass.name = p.name;
        for (size_t i = 0; i < p.states.size(); ++i) {
            const StateAssignment& s = p.states[i];
            const StateInfo* info = lookupState(b, s, passStateTable, std::size(passStateTable),
                                                "pass");
            FxState state;
            if (info && checkDuplicateState(b, p.states, i) && buildState(b, s, *info, state))
                pass.states.push_back(std::move(state));
        }
        tech.passes.push_back(std::move(pass));
    }
    b.out.techniques.push_back(std::move(tech));
}

}  // namespace

FxEffect buildEffect(const EffectDecl& decl, const std::string& sourceName, Diagnostics& diags)
{
    Builder b{decl, sourceName, diags, {}, {}};
    for (const ParameterDecl& p : decl.parameters) buildParameter(b, p);
    for (const TechniqueDecl& t : decl.techniques) buildTechnique(b, t);
    if (decl.techniques.empty()) addError(diags, SourceLocation{}, "the effect has no technique");
    return b.out;
}

}  // namespace effectc
