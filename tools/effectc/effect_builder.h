// Gives the parsed effect its meaning: checks names, types, register
// bindings and states, assembles each inline shader and attaches a constant
// table naming the parameters it reads, and produces the writer's records.
#pragma once

#include <string>

#include "diagnostics.h"
#include "effect_ast.h"
#include "fx_model.h"

namespace effectc {

// sourceName goes into each shader's constant table as part of the creator
// string, so a blob can be traced back to the file it came from.
FxEffect BuildEffect(const EffectDecl& decl, const std::string& sourceName, Diagnostics& diags);

}  // namespace effectc
