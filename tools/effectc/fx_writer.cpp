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

std::vector<uint8_t> LittleEndianBytes(const std::vector<uint32_t>& words)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(words.size() * 4);
    for (uint32_t word : words)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(word >> shift));
    return bytes;
}

// Packs bytes into words in file order (little-endian), zero-padding the last.
void AppendPadded(std::vector<uint32_t>& words, const std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < bytes.size(); i += 4) {
        uint32_t word = 0;
        for (size_t byte = 0; byte < 4 && i + byte < bytes.size(); ++byte)
            word |= static_cast<uint32_t>(bytes[i + byte]) << (8 * byte);
        words.push_back(word);
    }
}

uint32_t OffsetOf(const Writer& writer)
{
    return static_cast<uint32_t>(writer.area.size() * 4);
}

std::vector<uint8_t> StringBytes(const std::string& text)
{
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);  // the length counts the NUL; D3DX compares names with it
    return bytes;
}

uint32_t PutString(Writer& writer, const std::string& text)
{
    uint32_t at = OffsetOf(writer);
    std::vector<uint8_t> bytes = StringBytes(text);
    writer.area.push_back(static_cast<uint32_t>(bytes.size()));
    AppendPadded(writer.area, bytes);
    return at;
}

bool IsNumericClass(uint32_t parameterClass)
{
    return parameterClass == classScalar || parameterClass == classVector ||
           parameterClass == classMatrixRows || parameterClass == classMatrixColumns;
}

// Type description: type, class, name, semantic, element count, then for
// numeric classes two dimensions. Vectors store columns before rows; scalars
// and matrices rows before columns.
uint32_t PutTypedef(Writer& writer, uint32_t type, uint32_t parameterClass, uint32_t nameOffset,
                    uint32_t rows, uint32_t columns)
{
    uint32_t at = OffsetOf(writer);
    writer.area.insert(writer.area.end(), {type, parameterClass, nameOffset, 0u, 0u});
    if (parameterClass == classVector) {
        writer.area.insert(writer.area.end(), {columns, rows});
    } else if (IsNumericClass(parameterClass)) {
        writer.area.insert(writer.area.end(), {rows, columns});
    }
    return at;
}

struct StateOffsets {
    uint32_t typedefAt;
    uint32_t valueAt;
};

// Writes a state's type and value. An object-typed value is a fresh object id
// that D3DX fills from the resource returned through `resource`.
StateOffsets PutStateValue(Writer& writer, const FxState& state, Resource& resource,
                           bool& hasResource)
{
    StateOffsets offsets{};
    hasResource = false;
    switch (state.kind) {
    case FxStateKind::integer:
        // Constants are INT 1x1 with class MATRIX_ROWS, as the compiler writes them.
        offsets.typedefAt = PutTypedef(writer, typeInt, classMatrixRows, 0, 1, 1);
        offsets.valueAt = OffsetOf(writer);
        writer.area.push_back(static_cast<uint32_t>(state.integer));
        break;
    case FxStateKind::reference:
        offsets.typedefAt = PutTypedef(writer, state.referenceType, classObject, 0, 0, 0);
        offsets.valueAt = OffsetOf(writer);
        writer.area.push_back(writer.nextObjectId++);
        resource.usage = usageParameterName;
        resource.data = StringBytes(state.reference);
        hasResource = true;
        break;
    case FxStateKind::shader:
        offsets.typedefAt = PutTypedef(writer, state.shaderType, classObject, 0, 0, 0);
        offsets.valueAt = OffsetOf(writer);
        writer.area.push_back(writer.nextObjectId++);
        resource.usage = usageData;
        resource.data = LittleEndianBytes(state.shader);
        hasResource = true;
        break;
    }
    return offsets;
}

StateOffsets PutParameter(Writer& writer, const FxParameter& parameter, uint32_t parameterIndex)
{
    StateOffsets offsets{};
    if (parameter.type == typeSampler2D) {
        // A sampler's value is its state list; the states' own types and
        // values come first so the list can point back at them.
        std::vector<StateOffsets> states;
        for (uint32_t i = 0; i < parameter.samplerStates.size(); ++i) {
            Resource resource{noIndex, parameterIndex, 0, i, 0, {}};
            bool hasResource = false;
            states.push_back(
                PutStateValue(writer, parameter.samplerStates[i], resource, hasResource));
            if (hasResource) writer.resources.push_back(std::move(resource));
        }
        offsets.valueAt = OffsetOf(writer);
        writer.area.push_back(static_cast<uint32_t>(states.size()));
        for (uint32_t i = 0; i < states.size(); ++i) {
            writer.area.insert(writer.area.end(), {parameter.samplerStates[i].op, samplerStateIndex,
                                                   states[i].typedefAt, states[i].valueAt});
        }
        offsets.typedefAt = PutTypedef(writer, parameter.type, classObject, 0, 0, 0);
    } else if (parameter.parameterClass == classObject) {
        offsets.typedefAt = PutTypedef(writer, parameter.type, classObject, 0, 0, 0);
        offsets.valueAt = OffsetOf(writer);
        uint32_t id = writer.nextObjectId++;
        writer.area.push_back(id);
        writer.emptyObjects.push_back(id);  // a texture's object exists but carries no data
    } else {
        offsets.typedefAt = PutTypedef(writer, parameter.type, parameter.parameterClass, 0,
                                       parameter.rows, parameter.columns);
        offsets.valueAt = OffsetOf(writer);
        // No initialiser gives zeros, so that the value offset stays valid.
        std::vector<uint32_t> value = parameter.value;
        value.resize(parameter.rows * parameter.columns, 0);
        writer.area.insert(writer.area.end(), value.begin(), value.end());
    }
    writer.area[offsets.typedefAt / 4 + 2] = PutString(writer, parameter.name);
    return offsets;
}

void PutResource(std::vector<uint32_t>& out, const Resource& resource)
{
    out.insert(out.end(), {resource.technique, resource.pass, resource.element, resource.state,
                           resource.usage, static_cast<uint32_t>(resource.data.size())});
    AppendPadded(out, resource.data);
}

}  // namespace

std::vector<uint8_t> WriteFx20(const FxEffect& effect)
{
    Writer writer;
    writer.area.push_back(0);  // offset 0 reads as the empty string, so it must hold a zero length

    std::vector<StateOffsets> parameters;
    for (uint32_t i = 0; i < effect.parameters.size(); ++i)
        parameters.push_back(PutParameter(writer, effect.parameters[i], i));

    std::vector<uint32_t> structured;
    uint32_t passCount = 0;
    std::vector<uint32_t> techniqueRecords;
    for (uint32_t techniqueIndex = 0; techniqueIndex < effect.techniques.size(); ++techniqueIndex) {
        const FxTechnique& technique = effect.techniques[techniqueIndex];
        uint32_t nameAt = PutString(writer, technique.name);
        techniqueRecords.insert(techniqueRecords.end(),
                                {nameAt, 0u, static_cast<uint32_t>(technique.passes.size())});
        for (uint32_t passIndex = 0; passIndex < technique.passes.size(); ++passIndex) {
            const FxPass& pass = technique.passes[passIndex];
            ++passCount;
            uint32_t passNameAt = PutString(writer, pass.name);
            techniqueRecords.insert(techniqueRecords.end(),
                                    {passNameAt, 0u, static_cast<uint32_t>(pass.states.size())});
            for (uint32_t i = 0; i < pass.states.size(); ++i) {
                Resource resource{techniqueIndex, passIndex, noIndex, i, 0, {}};
                bool hasResource = false;
                StateOffsets offsets = PutStateValue(writer, pass.states[i], resource, hasResource);
                if (hasResource) writer.resources.push_back(std::move(resource));
                techniqueRecords.insert(
                    techniqueRecords.end(),
                    {pass.states[i].op, pass.states[i].index, offsets.typedefAt, offsets.valueAt});
            }
        }
    }

    // "Shader count": D3DX does not use it; the compiler's value is the
    // number of object parameters plus the number of passes.
    uint32_t objectParameters = 0;
    for (const FxParameter& parameter : effect.parameters)
        if (parameter.parameterClass == classObject) ++objectParameters;

    structured.push_back(static_cast<uint32_t>(effect.parameters.size()));
    structured.push_back(static_cast<uint32_t>(effect.techniques.size()));
    structured.push_back(objectParameters + passCount);
    // The object table's size: every id handed out must index into it.
    structured.push_back(writer.nextObjectId);
    for (const StateOffsets& offsets : parameters)
        structured.insert(structured.end(), {offsets.typedefAt, offsets.valueAt, 0u, 0u});
    structured.insert(structured.end(), techniqueRecords.begin(), techniqueRecords.end());
    structured.push_back(static_cast<uint32_t>(writer.emptyObjects.size()));
    structured.push_back(static_cast<uint32_t>(writer.resources.size()));
    for (uint32_t id : writer.emptyObjects) structured.insert(structured.end(), {id, 0u});
    // The reference compiler lists resources last first; D3DX reads them in
    // any order.
    for (auto resource = writer.resources.rbegin(); resource != writer.resources.rend(); ++resource)
        PutResource(structured, *resource);

    std::vector<uint32_t> file;
    file.push_back(fx20Tag);
    file.push_back(OffsetOf(writer));
    file.insert(file.end(), writer.area.begin(), writer.area.end());
    file.insert(file.end(), structured.begin(), structured.end());
    return LittleEndianBytes(file);
}

}  // namespace effectc
