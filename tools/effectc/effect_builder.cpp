#include "effect_builder.h"

#include <cctype>
#include <cstring>
#include <iterator>

#include "constant_table.h"
#include "ps_assembler.h"

namespace effectc {
namespace {

enum class ValueType {
    boolean,
    zBuffer,
    cull,
    address,
    filter,
    textureReference,
    pixelShader,
    vertexShader
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
    {"ZEnable", 0, ValueType::zBuffer},           {"ZWriteEnable", 3, ValueType::boolean},
    {"AlphaTestEnable", 4, ValueType::boolean},   {"CullMode", 8, ValueType::cull},
    {"AlphaBlendEnable", 13, ValueType::boolean}, {"VertexShader", 146, ValueType::vertexShader},
    {"PixelShader", 147, ValueType::pixelShader},
};

const StateInfo samplerStateTable[] = {
    {"Texture", 164, ValueType::textureReference}, {"AddressU", 165, ValueType::address},
    {"AddressV", 166, ValueType::address},         {"AddressW", 167, ValueType::address},
    {"MagFilter", 169, ValueType::filter},         {"MinFilter", 170, ValueType::filter},
    {"MipFilter", 171, ValueType::filter},
};

struct NamedValue {
    const char* name;
    int32_t value;
    ValueType type;
};

// D3DZBUFFERTYPE, D3DCULL, D3DTEXTUREADDRESS and D3DTEXTUREFILTERTYPE values.
const NamedValue namedValues[] = {
    {"FALSE", 0, ValueType::boolean},
    {"TRUE", 1, ValueType::boolean},
    {"FALSE", 0, ValueType::zBuffer},
    {"TRUE", 1, ValueType::zBuffer},
    {"USEW", 2, ValueType::zBuffer},
    {"NONE", 1, ValueType::cull},
    {"CW", 2, ValueType::cull},
    {"CCW", 3, ValueType::cull},
    {"WRAP", 1, ValueType::address},
    {"MIRROR", 2, ValueType::address},
    {"CLAMP", 3, ValueType::address},
    {"BORDER", 4, ValueType::address},
    {"MIRRORONCE", 5, ValueType::address},
    {"NONE", 0, ValueType::filter},
    {"POINT", 1, ValueType::filter},
    {"LINEAR", 2, ValueType::filter},
    {"ANISOTROPIC", 3, ValueType::filter},
};

// State names and values are case-insensitive in effect files.
bool SameWord(const std::string& word, const char* name)
{
    size_t length = std::strlen(name);
    if (word.size() != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(word[i])) !=
            std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::string Where(SourceLocation at)
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

const ParameterDecl* FindParameter(const Builder& builder, const std::string& name)
{
    for (const ParameterDecl* parameter : builder.params)
        if (parameter->name == name) return parameter;
    return nullptr;
}

int RegisterCount(const ParameterDecl& parameter)
{
    if (!parameter.isMatrix) return 1;
    // One register per row, or per column.
    return parameter.rowMajor ? parameter.rows : parameter.columns;
}

uint32_t FloatBits(double value)
{
    float single = static_cast<float>(value);
    uint32_t bits;
    std::memcpy(&bits, &single, sizeof bits);
    return bits;
}

// ---------------------------------------------------------------- states

bool IntegerValue(Builder& builder, const StateAssignment& assignment, ValueType type,
                  int32_t& value)
{
    const StateValue& given = assignment.value;
    if (given.kind == ValueKind::identifier) {
        for (const NamedValue& named : namedValues) {
            if (named.type == type && SameWord(given.text, named.name)) {
                value = named.value;
                return true;
            }
        }
    } else if (given.kind == ValueKind::number &&
               (type == ValueType::boolean || type == ValueType::zBuffer)) {
        int32_t limit = type == ValueType::boolean ? 1 : 2;
        if (given.number == static_cast<int32_t>(given.number) && given.number >= 0 &&
            given.number <= limit) {
            value = static_cast<int32_t>(given.number);
            return true;
        }
    }
    std::string allowed;
    for (const NamedValue& named : namedValues)
        if (named.type == type) allowed += std::string(allowed.empty() ? "" : ", ") + named.name;
    AddError(builder.diags, given.at,
             "invalid value for " + assignment.name + "; expected one of " + allowed);
    return false;
}

const StateInfo* LookupState(Builder& builder, const StateAssignment& assignment,
                             const StateInfo* table, size_t count, const char* context)
{
    for (size_t i = 0; i < count; ++i) {
        if (SameWord(assignment.name, table[i].name)) {
            if (assignment.hasIndex) {
                AddError(builder.diags, assignment.at,
                         "state '" + assignment.name + "' takes no index here");
                return nullptr;
            }
            return &table[i];
        }
    }
    AddError(builder.diags, assignment.at,
             std::string("unknown ") + context + " state '" + assignment.name + "'");
    return nullptr;
}

bool CheckDuplicateState(Builder& builder, const std::vector<StateAssignment>& states, size_t i)
{
    for (size_t earlier = 0; earlier < i; ++earlier) {
        if (SameWord(states[i].name, states[earlier].name.c_str())) {
            AddError(builder.diags, states[i].at,
                     "state '" + states[i].name + "' is already set at " +
                         Where(states[earlier].at));
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- shaders

// The accepted parameter whose register(set#) range holds set# index, or -1.
int BoundParameter(const Builder& builder, char set, int index)
{
    for (size_t i = 0; i < builder.params.size(); ++i) {
        const ParameterDecl& parameter = *builder.params[i];
        if (!parameter.reg.present || parameter.reg.set != set) continue;
        int count = set == 'c' ? RegisterCount(parameter) : 1;
        if (index >= parameter.reg.index && index < parameter.reg.index + count)
            return static_cast<int>(i);
    }
    return -1;
}

// A def'd register overrides whatever D3DX uploads, so a parameter bound
// there would silently stop working.
bool CheckDefinedConstants(Builder& builder, const AssembledShader& shader)
{
    bool ok = true;
    for (const RegisterUse& defined : shader.constantsDefined) {
        int owner = BoundParameter(builder, 'c', defined.index);
        if (owner >= 0) {
            AddError(builder.diags, defined.at,
                     "c" + std::to_string(defined.index) + " is bound to parameter '" +
                         builder.params[owner]->name + "'; def would override it");
            ok = false;
        }
    }
    return ok;
}

// Every c# read that no def gives a value must be some parameter's register.
bool BindConstantsRead(Builder& builder, const AssembledShader& shader, std::vector<bool>& used)
{
    bool ok = true;
    for (const RegisterUse& read : shader.constantsRead) {
        bool isDefined = false;
        for (const RegisterUse& defined : shader.constantsDefined)
            isDefined = isDefined || defined.index == read.index;
        if (isDefined) continue;
        int owner = BoundParameter(builder, 'c', read.index);
        if (owner < 0) {
            AddError(builder.diags, read.at,
                     "c" + std::to_string(read.index) +
                         " is neither defined with def nor bound to a parameter with register(c#)");
            ok = false;
        } else {
            used[owner] = true;
        }
    }
    return ok;
}

bool BindSamplers(Builder& builder, const AssembledShader& shader, std::vector<bool>& used)
{
    bool ok = true;
    for (const SamplerDecl& sampler : shader.samplers) {
        int owner = BoundParameter(builder, 's', sampler.index);
        if (owner < 0) {
            AddError(builder.diags, sampler.at,
                     "s" + std::to_string(sampler.index) +
                         " is not bound to a sampler parameter with register(s#)");
            ok = false;
        } else if (sampler.type != texture2D) {
            AddError(builder.diags, sampler.at,
                     "sampler '" + builder.params[owner]->name +
                         "' is a sampler2D; declare it with dcl_2d");
            ok = false;
        } else {
            used[owner] = true;
        }
    }
    return ok;
}

ConstantTableEntry ConstantTableEntryOf(const ParameterDecl& parameter)
{
    ConstantTableEntry entry;
    entry.name = parameter.name;
    entry.registerIndex = static_cast<uint16_t>(parameter.reg.index);
    if (parameter.kind == ParamKind::sampler2D) {
        entry.registerSet = registerSetSampler;
        entry.typeClass = classObject;
        entry.type = typeSampler2D;
        return entry;
    }
    entry.registerSet = registerSetFloat4;
    entry.registerCount = static_cast<uint16_t>(RegisterCount(parameter));
    entry.type = typeFloat;
    entry.rows = static_cast<uint16_t>(parameter.rows);
    entry.columns = static_cast<uint16_t>(parameter.columns);
    // The class tells D3DX whether the registers hold rows or columns;
    // it transposes on upload when this differs from the parameter's.
    entry.typeClass = parameter.isMatrix
                          ? (parameter.rowMajor ? classMatrixRows : classMatrixColumns)
                      : parameter.isVector ? classVector
                                           : classScalar;
    return entry;
}

// Matches the registers a shader reads against the parameters' bindings and
// returns the constant table that makes D3DX upload them.
bool BindShader(Builder& builder, const AssembledShader& shader,
                std::vector<ConstantTableEntry>& table)
{
    std::vector<bool> used(builder.params.size(), false);
    bool ok = CheckDefinedConstants(builder, shader);
    ok = BindConstantsRead(builder, shader, used) && ok;
    ok = BindSamplers(builder, shader, used) && ok;
    for (size_t i = 0; i < builder.params.size(); ++i)
        if (used[i]) table.push_back(ConstantTableEntryOf(*builder.params[i]));
    return ok;
}

bool BuildPixelShader(Builder& builder, const StateValue& value, FxState& state)
{
    size_t errorsBefore = builder.diags.errors.size();
    AssembledShader shader = AssemblePixelShader(value.text, value.bodyAt, builder.diags);
    if (builder.diags.errors.size() != errorsBefore) return false;
    std::vector<ConstantTableEntry> table;
    if (!BindShader(builder, shader, table)) return false;
    std::vector<uint32_t> comment = BuildConstantTableComment(table, ps20VersionToken, "ps_2_0",
                                                              "effectc " + builder.sourceName);
    state.kind = FxStateKind::shader;
    state.shaderType = typePixelShader;
    state.shader = InsertAfterVersion(shader.tokens, comment);
    return true;
}

bool BuildState(Builder& builder, const StateAssignment& assignment, const StateInfo& info,
                FxState& state)
{
    state.op = info.op;
    state.kind = FxStateKind::integer;
    const StateValue& value = assignment.value;
    switch (info.valueType) {
    case ValueType::vertexShader:
    case ValueType::pixelShader: {
        bool pixel = info.valueType == ValueType::pixelShader;
        if (value.kind == ValueKind::identifier && SameWord(value.text, "NULL")) {
            state.integer = 0;  // NULL is stored as the integer 0, the compiler's own form
            return true;
        }
        if (pixel && value.kind == ValueKind::asmBlock)
            return BuildPixelShader(builder, value, state);
        AddError(builder.diags, value.at,
                 pixel ? "PixelShader takes an asm { ... } block or NULL"
                       : "vertex shaders are not supported; use VertexShader = NULL");
        return false;
    }
    case ValueType::textureReference: {
        const ParameterDecl* parameter =
            value.kind == ValueKind::reference ? FindParameter(builder, value.text) : nullptr;
        if (value.kind != ValueKind::reference) {
            AddError(builder.diags, value.at, "Texture takes a texture parameter as <name>");
            return false;
        }
        if (!parameter || parameter->kind != ParamKind::texture) {
            AddError(builder.diags, value.at,
                     "'" + value.text + "' is not a texture parameter declared before this point");
            return false;
        }
        state.kind = FxStateKind::reference;
        state.reference = parameter->name;
        state.referenceType = typeTexture;
        return true;
    }
    default:
        return IntegerValue(builder, assignment, info.valueType, state.integer);
    }
}

// ---------------------------------------------------------------- parameters

bool CheckBinding(Builder& builder, const ParameterDecl& parameter)
{
    const RegisterBinding& binding = parameter.reg;
    if (!binding.present) return true;
    char wanted = parameter.kind == ParamKind::numeric     ? 'c'
                  : parameter.kind == ParamKind::sampler2D ? 's'
                                                           : 0;
    if (wanted == 0) {
        AddError(builder.diags, binding.at,
                 "a texture is not bound to a register; bind the sampler that uses it");
        return false;
    }
    if (binding.set != wanted) {
        AddError(builder.diags, binding.at,
                 std::string("parameter '") + parameter.name + "' needs a " + wanted +
                     "# register");
        return false;
    }
    int count = wanted == 'c' ? RegisterCount(parameter) : 1;
    int limit = wanted == 'c' ? 32 : 16;  // ps_2_0: c0-c31, s0-s15
    if (binding.index + count > limit) {
        AddError(builder.diags, binding.at,
                 "register " + std::string(1, wanted) + std::to_string(binding.index) + " (" +
                     std::to_string(count) + " registers) does not fit in ps_2_0's " + wanted +
                     "0-" + wanted + std::to_string(limit - 1));
        return false;
    }
    for (const ParameterDecl* other : builder.params) {
        if (!other->reg.present || other->reg.set != binding.set) continue;
        int otherCount = wanted == 'c' ? RegisterCount(*other) : 1;
        if (binding.index < other->reg.index + otherCount &&
            other->reg.index < binding.index + count) {
            AddError(builder.diags, binding.at,
                     "register range of '" + parameter.name + "' overlaps '" + other->name + "' (" +
                         Where(other->reg.at) + ")");
            return false;
        }
    }
    return true;
}

void BuildParameter(Builder& builder, const ParameterDecl& parameter)
{
    for (const ParameterDecl* other : builder.params) {
        if (other->name == parameter.name) {
            AddError(builder.diags, parameter.at,
                     "duplicate parameter '" + parameter.name + "' (first declared at " +
                         Where(other->at) + ")");
            return;
        }
    }
    if (!CheckBinding(builder, parameter)) return;

    FxParameter fx;
    fx.name = parameter.name;
    switch (parameter.kind) {
    case ParamKind::numeric: {
        fx.type = typeFloat;
        // Effects report every matrix as MATRIX_ROWS with its values row
        // after row; row_major/column_major only changes the register packing,
        // which the shader's constant table describes.
        fx.parameterClass = parameter.isMatrix   ? classMatrixRows
                            : parameter.isVector ? classVector
                                                 : classScalar;
        fx.rows = static_cast<uint32_t>(parameter.rows);
        fx.columns = static_cast<uint32_t>(parameter.columns);
        size_t expected = fx.rows * fx.columns;
        if (parameter.hasInitializer && parameter.initializer.size() != expected) {
            AddError(builder.diags, parameter.initAt,
                     "initialiser of '" + parameter.name + "' has " +
                         std::to_string(parameter.initializer.size()) + " values; expected " +
                         std::to_string(expected));
            return;
        }
        for (double value : parameter.initializer) fx.value.push_back(FloatBits(value));
        break;
    }
    case ParamKind::texture:
        fx.type = typeTexture;
        fx.parameterClass = classObject;
        break;
    case ParamKind::sampler2D: {
        fx.type = typeSampler2D;
        fx.parameterClass = classObject;
        bool ok = true;
        for (size_t i = 0; i < parameter.samplerStates.size(); ++i) {
            const StateAssignment& assignment = parameter.samplerStates[i];
            const StateInfo* info = LookupState(builder, assignment, samplerStateTable,
                                                std::size(samplerStateTable), "sampler");
            FxState state;
            if (!info || !CheckDuplicateState(builder, parameter.samplerStates, i) ||
                !BuildState(builder, assignment, *info, state)) {
                ok = false;
                continue;
            }
            fx.samplerStates.push_back(state);
        }
        if (!ok) return;
        break;
    }
    }
    builder.params.push_back(&parameter);
    builder.out.parameters.push_back(std::move(fx));
}

// ---------------------------------------------------------------- techniques

void BuildTechnique(Builder& builder, const TechniqueDecl& technique)
{
    for (const FxTechnique& other : builder.out.techniques) {
        if (other.name == technique.name) {
            AddError(builder.diags, technique.at, "duplicate technique '" + technique.name + "'");
            return;
        }
    }
    FxTechnique fxTechnique;
    fxTechnique.name = technique.name;
    if (technique.passes.empty())
        AddError(builder.diags, technique.at, "technique '" + technique.name + "' has no pass");
    for (const PassDecl& passDecl : technique.passes) {
        for (const FxPass& other : fxTechnique.passes) {
            if (other.name == passDecl.name)
                AddError(builder.diags, passDecl.at,
                         "duplicate pass '" + passDecl.name + "' in technique '" + technique.name +
                             "'");
        }
        FxPass pass;
        pass.name = passDecl.name;
        for (size_t i = 0; i < passDecl.states.size(); ++i) {
            const StateAssignment& assignment = passDecl.states[i];
            const StateInfo* info = LookupState(builder, assignment, passStateTable,
                                                std::size(passStateTable), "pass");
            FxState state;
            if (info && CheckDuplicateState(builder, passDecl.states, i) &&
                BuildState(builder, assignment, *info, state))
                pass.states.push_back(std::move(state));
        }
        fxTechnique.passes.push_back(std::move(pass));
    }
    builder.out.techniques.push_back(std::move(fxTechnique));
}

}  // namespace

FxEffect BuildEffect(const EffectDecl& decl, const std::string& sourceName, Diagnostics& diags)
{
    Builder builder{decl, sourceName, diags, {}, {}};
    for (const ParameterDecl& parameter : decl.parameters) BuildParameter(builder, parameter);
    for (const TechniqueDecl& technique : decl.techniques) BuildTechnique(builder, technique);
    if (decl.techniques.empty()) AddError(diags, SourceLocation{}, "the effect has no technique");
    return builder.out;
}

}  // namespace effectc
