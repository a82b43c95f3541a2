// The effect as the fx_2_0 writer sees it: names, D3DX type codes, state
// numbers and finished shader bytecode. Built by the effect builder, or by
// hand in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace effectc {

// D3DXPARAMETER_CLASS
enum ParameterClass : uint32_t {
    classScalar = 0,
    classVector = 1,
    classMatrixRows = 2,
    classMatrixColumns = 3,
    classObject = 4,
};

// D3DXPARAMETER_TYPE (the ones this tool writes)
enum ParameterType : uint32_t {
    typeInt = 2,
    typeFloat = 3,
    typeTexture = 5,
    typeSampler2D = 12,
    typePixelShader = 15,
    typeVertexShader = 16,
};

enum class FxStateKind {
    integer,    // a plain value: enum, bool, or 0 for a NULL shader
    reference,  // <parameter>: resolved by D3DX through a name resource
    shader,     // inline bytecode: delivered through a data resource
};

struct FxState {
    uint32_t op = 0;     // row of D3DX's state table
    uint32_t index = 0;  // [n] of array states; pass states only
    FxStateKind kind = FxStateKind::integer;
    int32_t integer = 0;
    std::string reference;       // reference: parameter name
    uint32_t referenceType = 0;  // reference: that parameter's ParameterType
    uint32_t shaderType = typePixelShader;
    std::vector<uint32_t> shader;  // shader: tokens including the end token
};

struct FxParameter {
    std::string name;
    uint32_t type = typeFloat;
    uint32_t parameterClass = classVector;
    uint32_t rows = 1;                   // numeric classes only
    uint32_t columns = 4;                // numeric classes only
    std::vector<uint32_t> value;         // numeric: rows x columns words, row after row
    std::vector<FxState> samplerStates;  // samplers only
};

struct FxPass {
    std::string name;
    std::vector<FxState> states;
};

struct FxTechnique {
    std::string name;
    std::vector<FxPass> passes;
};

struct FxEffect {
    std::vector<FxParameter> parameters;
    std::vector<FxTechnique> techniques;
};

}  // namespace effectc
