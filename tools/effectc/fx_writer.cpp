#include "fx_writer.h"

namespace effectc {
namespace {

// Inside a sampler value the compiler writes 0x100 as every state's index;
// D3DX takes the stage from the shader's sampler register instead.
constexpr uint32_t samplerStateIndex = 0x100;
constexpr uint32_t noIndex = 0xFFFFFFFFu;

enum ResourceUsage : uint32_t {
    usageData = 0,           // bytes for the object (shader bytecode)
    usageParameterName = 1,  // the object is the named parameter
};

struct Resource {
    uint32_t technique;  // or noIndex for a parameter-level resource
    uint32_t pass;       // or the parameter index
    uint32_t element;
    uint32_t state;
    uint32_t usage;
    std::vector<uint8_t> data;
};

struct Writer {
    std::vector<uint32_t> area;  // the unstructured area, offsets relative to its start
    uint32_t nextObjectId = 1;   // id 0 is D3DX's scratch slot, never handed out
    std::vector<uint32_t> emptyObjects;
    std::vector<Resource> resources;
};

std::vector<uint8_t> littleEndianBytes(const std::vector<uint32_t>& words)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(words.size() * 4);
    for (uint32_t v : words)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(v >> shift));
    return bytes;
}

// Packs bytes into words in file order (little-endian), zero-padding the last.
void appendPadded(std::vector<uint32_t>& words, const std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < bytes.size(); i += 4) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4 && i + k < bytes.size(); ++k)
            v |= static_cast<uint32_t>(bytes[i + k]) << (8 * k);
        words.push_back(v);
    }
}

uint32_t offsetOf(const Writer& w)
{
    return static_cast<uint32_t>(w.area.size() * 4);
}

std::vector<uint8_t> stringBytes(const std::string& s)
{
    std::vector<uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);  // the length counts the NUL; D3DX compares names with it
    return bytes;
}

uint32_t putString(Writer& w, const std::string& s)
{
    uint32_t at = offsetOf(w);
    std::vector<uint8_t> bytes = stringBytes(s);
    w.area.push_back(static_cast<uint32_t>(bytes.size()));
    appendPadded(w.area, bytes);
    return at;
}

bool isNumericClass(uint32_t c)
{
    return c == classScalar || c == classVector || c == classMatrixRows || c == classMatrixColumns;
}

// Type description: type, class, name, semantic, element count, then for
// numeric classes two dimensions. Vectors store columns before rows; scalars
// and matrices rows before columns.
uint32_t putTypedef(Writer& w, uint32_t type, uint32_t cls, uint32_t nameOffset, uint32_t rows,
                    uint32_t columns)
{
    uint32_t at = offsetOf(w);
    w.area.insert(w.area.end(), {type, cls, nameOffset, 0u, 0u});
    if (cls == classVector) {
        w.area.insert(w.area.end(), {columns, rows});
    } else if (isNumericClass(cls)) {
        w.area.insert(w.area.end(), {rows, columns});
    }
    return at;
}

struct StateOffsets {
    uint32_t typedefAt;
    uint32_t valueAt;
};

// Writes a state's type and value. An object-typed value is a fresh object id
// that D3DX fills from the resource returned through `resource`.
StateOffsets putStateValue(Writer& w, const FxState& state, Resource& resource, bool& hasResource)
{
    StateOffsets o{};
    hasResource = false;
    switch (state.kind) {
    case FxStateKind::Integer:
        // Constants are INT 1x1 with class MATRIX_ROWS, as the compiler writes them.
        o.typedefAt = putTypedef(w, typeInt, classMatrixRows, 0, 1, 1);
        o.valueAt = offsetOf(w);
        w.area.push_back(static_cast<uint32_t>(state.integer));
        break;
    case FxStateKind::Reference:
        o.typedefAt = putTypedef(w, state.referenceType, classObject, 0, 0, 0);
        o.valueAt = offsetOf(w);
        w.area.push_back(w.nextObjectId++);
        resource.usage = usageParameterName;
        resource.data = stringBytes(state.reference);
        hasResource = true;
        break;
    case FxStateKind::Shader:
        o.typedefAt = putTypedef(w, state.shaderType, classObject, 0, 0, 0);
        o.valueAt = offsetOf(w);
        w.area.push_back(w.nextObjectId++);
        resource.usage = usageData;
        resource.data = littleEndianBytes(state.shader);
        hasResource = true;
        break;
    }
    return o;
}

StateOffsets putParameter(Writer& w, const FxParameter& p, uint32_t parameterIndex)
{
    StateOffsets o{};
    if (p.type == typeSampler2D) {
        // A sampler's value is its state list; the states' own types and
        // values come first so the list can point back at them.
        std::vector<StateOffsets> states;
        for (uint32_t i = 0; i < p.samplerStates.size(); ++i) {
            Resource r{noIndex, parameterIndex, 0, i, 0, {}};
            bool hasResource = false;
            states.push_back(putStateValue(w, p.samplerStates[i], r, hasResource));
            if (hasResource) w.resources.push_back(std::move(r));
        }
        o.valueAt = offsetOf(w);
        w.area.push_back(static_cast<uint32_t>(states.size()));
        for (uint32_t i = 0; i < states.size(); ++i) {
            w.area.insert(w.area.end(), {p.samplerStates[i].op, samplerStateIndex,
                                         states[i].typedefAt, states[i].valueAt});
        }
        o.typedefAt = putTypedef(w, p.type, classObject, 0, 0, 0);
    } else if (p.parameterClass == classObject) {
        o.typedefAt = putTypedef(w, p.type, classObject, 0, 0, 0);
        o.valueAt = offsetOf(w);
        uint32_t id = w.nextObjectId++;
        w.area.push_back(id);
        w.emptyObjects.push_back(id);  // a texture's object exists but carries no data
    } else {
        o.typedefAt = putTypedef(w, p.type, p.parameterClass, 0, p.rows, p.columns);
        o.valueAt = offsetOf(w);
        std::vector<uint32_t> value = p.value;
        value.resize(p.rows * p.columns, 0);  // no initialiser: zeros, the offset stays valid
        w.area.insert(w.area.end(), value.begin(), value.end());
    }
    w.area[o.typedefAt / 4 + 2] = putString(w, p.name);
    return o;
}

void putResource(std::vector<uint32_t>& out, const Resource& r)
{
    out.insert(out.end(), {r.technique, r.pass, r.element, r.state, r.usage,
                           static_cast<uint32_t>(r.data.size())});
    appendPadded(out, r.data);
}

}  // namespace

std::vector<uint8_t> writeFx20(const FxEffect& effect)
{
    Writer w;
    w.area.push_back(0);  // offset 0 reads as the empty string, so it must hold a zero length

    std::vector<StateOffsets> parameters;
    for (uint32_t i = 0; i < effect.parameters.size(); ++i)
        parameters.push_back(putParameter(w, effect.parameters[i], i));

    std::vector<uint32_t> structured;
    auto& s = structured;
    uint32_t passCount = 0;
    std::vector<uint32_t> techniqueRecords;
    for (uint32_t t = 0; t < effect.techniques.size(); ++t) {
        const FxTechnique& tech = effect.techniques[t];
        uint32_t nameAt = putString(w, tech.name);
        techniqueRecords.insert(techniqueRecords.end(),
                                {nameAt, 0u, static_cast<uint32_t>(tech.passes.size())});
        for (uint32_t p = 0; p < tech.passes.size(); ++p) {
            const FxPass& pass = tech.passes[p];
            ++passCount;
            uint32_t passNameAt = putString(w, pass.name);
            techniqueRecords.insert(techniqueRecords.end(),
                                    {passNameAt, 0u, static_cast<uint32_t>(pass.states.size())});
            for (uint32_t i = 0; i < pass.states.size(); ++i) {
                Resource r{t, p, noIndex, i, 0, {}};
                bool hasResource = false;
                StateOffsets o = putStateValue(w, pass.states[i], r, hasResource);
                if (hasResource) w.resources.push_back(std::move(r));
                techniqueRecords.insert(
                    techniqueRecords.end(),
                    {pass.states[i].op, pass.states[i].index, o.typedefAt, o.valueAt});
            }
        }
    }

    // "Shader count": D3DX does not use it; the compiler's value is the
    // number of object parameters plus the number of passes.
    uint32_t objectParameters = 0;
    for (const FxParameter& p : effect.parameters)
        if (p.parameterClass == classObject) ++objectParameters;

    s.push_back(static_cast<uint32_t>(effect.parameters.size()));
    s.push_back(static_cast<uint32_t>(effect.techniques.size()));
    s.push_back(objectParameters + passCount);
    s.push_back(w.nextObjectId);  // object table size: every id handed out must index into it
    for (const StateOffsets& p : parameters) s.insert(s.end(), {p.typedefAt, p.valueAt, 0u, 0u});
    s.insert(s.end(), techniqueRecords.begin(), techniqueRecords.end());
    s.push_back(static_cast<uint32_t>(w.emptyObjects.size()));
    s.push_back(static_cast<uint32_t>(w.resources.size()));
    for (uint32_t id : w.emptyObjects) s.insert(s.end(), {id, 0u});
    // The reference compiler lists resources last first; D3DX reads them in
    // any order.
    for (auto r = w.resources.rbegin(); r != w.resources.rend(); ++r) putResource(s, *r);

    std::vector<uint32_t> file;
    file.push_back(fx20Tag);
    file.push_back(offsetOf(w));
    file.insert(file.end(), w.area.begin(), w.area.end());
    file.insert(file.end(), s.begin(), s.end());
    return littleEndianBytes(file);
}

}  // namespace effectc
