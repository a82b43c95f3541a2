#include "compiler.h"

#include "effect_builder.h"
#include "fx_writer.h"
#include "lexer.h"
#include "parser.h"

namespace effectc {

bool compileEffect(const std::string& source, const std::string& sourceName,
                   std::vector<uint8_t>& blob, Diagnostics& diags)
{
    blob.clear();
    std::vector<Token> tokens = lexEffect(source, diags);
    EffectDecl decl = parseEffect(tokens, diags);
    // Checking a half-parsed file would mostly report consequences of the
    // syntax errors (missing parameters, missing passes), so stop here.
    if (hasErrors(diags)) return false;
    FxEffect effect = buildEffect(decl, sourceName, diags);
    if (hasErrors(diags)) return false;
    blob = writeFx20(effect);
    return true;
}

}  // namespace effectc
