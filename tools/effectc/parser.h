// Parser for the subset of Direct3D 9 effect syntax this project writes:
// parameter declarations (float types, texture, sampler2D) with optional
// row_major/column_major, `: register(cN|sN)` and initialisers, sampler_state
// blocks, and technique/pass blocks of state assignments. Anything else is
// reported, and parsing resumes at the next ';' or '}'.
#pragma once

#include <vector>

#include "diagnostics.h"
#include "effect_ast.h"
#include "lexer.h"

namespace effectc {

EffectDecl ParseEffect(const std::vector<Token>& tokens, Diagnostics& diags);

}  // namespace effectc
