// Test-side reader for fx_2_0 blobs: follows every offset like D3DX does,
// but checks each one against the data, so a layout mistake in the writer
// shows up as a readable failure instead of garbage. It reads the reference
// compiler's layouts too (annotations, semantics, structs, arrays, object
// data), so it is not checked only against effectc's own writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test {

struct FxType {
    uint32_t type = 0, cls = 0, elements = 0, rows = 0, columns = 0;
    std::string name, semantic;
    std::vector<FxType> members;  // struct members, each a full type with its own name
};

struct FxStateRecord {
    uint32_t op = 0, index = 0;
    FxType type;
    uint32_t value = 0;  // first word of the value; the whole value is bounds-checked
};

struct FxAnnotationRecord {
    FxType type;
    std::vector<uint32_t> value;  // as FxParameterRecord::value
};

struct FxParameterRecord {
    std::string name;
    FxType type;
    uint32_t flags = 0;
    // Numeric words and object ids, element after element and member after
    // member; each sampler element contributes its state count.
    std::vector<uint32_t> value;
    std::vector<FxStateRecord> samplerStates;  // every sampler element's states, in order
    std::vector<FxAnnotationRecord> annotations;
};

struct FxPassRecord {
    std::string name;
    std::vector<FxAnnotationRecord> annotations;
    std::vector<FxStateRecord> states;
};

struct FxTechniqueRecord {
    std::string name;
    std::vector<FxAnnotationRecord> annotations;
    std::vector<FxPassRecord> passes;
};

struct FxObjectRecord {
    uint32_t id = 0;
    std::vector<uint8_t> data;  // a string's text with its NUL, a shader's bytecode, or nothing
};

struct FxResourceRecord {
    uint32_t technique = 0, pass = 0, element = 0, state = 0, usage = 0;
    std::vector<uint8_t> data;
};

struct FxFile {
    uint32_t shaderCount = 0;
    uint32_t objectCount = 0;
    std::vector<FxParameterRecord> parameters;
    std::vector<FxTechniqueRecord> techniques;
    std::vector<FxObjectRecord> objects;
    std::vector<FxResourceRecord> resources;
};

// Returns false with a message on any out-of-range offset or value,
// unterminated string, unnamed parameter, member or annotation, numeric type
// outside 1x1..4x4, object id beyond the object count, or resource
// addressing nothing.
bool readFx(const std::vector<uint8_t>& blob, FxFile& out, std::string& error);

struct CtabRecord {
    std::string name;
    uint32_t registerSet = 0, registerIndex = 0, registerCount = 0;
    uint32_t cls = 0, type = 0, rows = 0, columns = 0;
};

// Reads the CTAB comment of a shader given as bytes.
bool readConstantTable(const std::vector<uint8_t>& shader, std::vector<CtabRecord>& out,
                       std::string& creator, std::string& error);

}  // namespace test
