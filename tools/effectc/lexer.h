// Effect-file tokens. The body of an `asm { ... }` block is not effect syntax,
// so the lexer hands it over untouched as one token for the shader assembler.
#pragma once

#include <string>
#include <vector>

#include "diagnostics.h"

namespace effectc {

enum class TokenKind {
    identifier,  // keywords included; the parser tells them apart
    number,      // unsigned literal; a leading '-' is a separate punct
    punct,       // one character: { } ( ) [ ] < > ; : , = -
    asmBlock,    // text between the braces of asm { ... }
    end,
};

struct Token {
    TokenKind kind = TokenKind::end;
    std::string text;
    SourceLocation at;      // first character of the token ("asm" for asmBlock)
    SourceLocation bodyAt;  // asmBlock only: first character after '{'
};

std::vector<Token> LexEffect(const std::string& source, Diagnostics& diags);

}  // namespace effectc
