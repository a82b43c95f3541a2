#include "compiler.h"

#include "effect_builder.h"
#include "fx_writer.h"
#include "lexer.h"
#include "parser.h"

namespace effectc {

bool CompileEffect(const std::string& source, const std::string& sourceName,
                   std::vector<uint8_t>& blob, Diagnostics& diags)
{
    blob.clear();
    std::vector<Token> tokens = LexEffect(source, diags);
    EffectDecl decl = ParseEffect(tokens, diags);
    // Checking a half-parsed file would mostly report consequences of the
    // syntax errors (missing parameters, missing passes), so stop here.
    if (HasErrors(diags)) return false;
    FxEffect effect = BuildEffect(decl, sourceName, diags);
    if (HasErrors(diags)) return false;
    blob = WriteFx20(effect);
    return true;
}

}  // namespace effectc
