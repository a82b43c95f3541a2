// Effect-file tokens. The body of an `asm { ... }` block is not effect syntax,
// so the lexer hands it over untouched as one token for the shader assembler.
#pragma once

#include <string>
#include <vector>

#include "diagnostics.h"

namespace effectc {

enum class TokenKind {
    Identifier,  // keywords included; the parser tells them apart
    Number,      // unsigned literal; a leading '-' is a separate Punct
    Punct,       // one character: { } ( ) [ ] < > ; : , = -
    AsmBlock,    // text between the braces of asm { ... }
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    SourceLocation at;      // first character of the token ("asm" for AsmBlock)
    SourceLocation bodyAt;  // AsmBlock only: first character after '{'
};

std::vector<Token> lexEffect(const std::string& source, Diagnostics& diags);

}  // namespace effectc
