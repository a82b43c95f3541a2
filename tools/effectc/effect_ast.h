// What the parser reads from an effect file: plain records, still in source
// terms (names, literals, positions). Meaning is given to them by the builder.
#pragma once

#include <string>
#include <vector>

#include "diagnostics.h"

namespace effectc {

enum class ParamKind {
    numeric,    // float, floatN, floatRxC
    texture,    // texture
    sampler2D,  // sampler2D
};

enum class ValueKind {
    identifier,  // CLAMP, POINT, NULL, true, false, ...
    number,      // possibly negative literal
    reference,   // <name>
    asmBlock,    // asm { ... }
};

struct StateValue {
    ValueKind kind = ValueKind::identifier;
    std::string text;     // identifier, literal text, referenced name or asm body
    double number = 0.0;  // number only, sign applied
    SourceLocation at;
    SourceLocation bodyAt;  // asmBlock only: first character of the body
};

struct StateAssignment {
    std::string name;
    SourceLocation at;
    bool hasIndex = false;  // Name[n] = ...
    int index = 0;
    StateValue value;
};

struct RegisterBinding {
    bool present = false;
    char set = 0;  // 'c' or 's'
    int index = 0;
    SourceLocation at;
};

struct ParameterDecl {
    std::string name;
    SourceLocation at;      // the name
    SourceLocation typeAt;  // the type (or its row_major/column_major prefix)
    ParamKind kind = ParamKind::numeric;
    int rows = 1;
    int columns = 1;
    bool isVector = false;  // floatN, even float1
    bool isMatrix = false;
    bool rowMajor = false;  // HLSL default is column_major
    RegisterBinding reg;
    bool hasInitializer = false;
    std::vector<double> initializer;             // numeric
    std::vector<StateAssignment> samplerStates;  // sampler2D
    SourceLocation initAt;
};

struct PassDecl {
    std::string name;
    SourceLocation at;
    std::vector<StateAssignment> states;
};

struct TechniqueDecl {
    std::string name;
    SourceLocation at;
    std::vector<PassDecl> passes;
};

struct EffectDecl {
    std::vector<ParameterDecl> parameters;
    std::vector<TechniqueDecl> techniques;
};

}  // namespace effectc
