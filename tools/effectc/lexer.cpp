#include "lexer.h"

#include <cctype>

namespace effectc {
namespace {

struct Cursor {
    const std::string& text;
    size_t pos = 0;
    SourceLocation at;
};

bool atEnd(const Cursor& c)
{
    return c.pos >= c.text.size();
}
char peek(const Cursor& c, size_t ahead = 0)
{
    return c.pos + ahead < c.text.size() ? c.text[c.pos + ahead] : '\0';
}

void advance(Cursor& c)
{
    if (c.text[c.pos] == '\n') {
        ++c.at.line;
        c.at.column = 1;
    } else {
        ++c.at.column;
    }
    ++c.pos;
}

// Skips one comment if the cursor is on one. Returns false on an unterminated
// block comment (reported at its opening).
bool skipComment(Cursor& c, Diagnostics& diags, bool& skipped)
{
    skipped = false;
    if (peek(c) == '/' && peek(c, 1) == '/') {
        while (!atEnd(c) && peek(c) != '\n') advance(c);
        skipped = true;
    } else if (peek(c) == '/' && peek(c, 1) == '*') {
        SourceLocation start = c.at;
        advance(c);
        advance(c);
        while (!atEnd(c) && !(peek(c) == '*' && peek(c, 1) == '/')) advance(c);
        if (atEnd(c)) {
            addError(diags, start, "unterminated block comment");
            return false;
        }
        advance(c);
        advance(c);
        skipped = true;
    }
    return true;
}

bool skipSpaceAndComments(Cursor& c, Diagnostics& diags)
{
    for (;;) {
        while (!atEnd(c) && std::isspace(static_cast<unsigned char>(peek(c)))) advance(c);
        bool skipped = false;
        if (!skipComment(c, diags, skipped)) return false;
        if (!skipped) return true;
    }
}

bool isIdentStart(char ch)
{
    return std::isalpha(static_cast<unsigned char>(ch)) || ch == '_';
}
bool isIdentChar(char ch)
{
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_';
}
bool isDigit(char ch)
{
    return std::isdigit(static_cast<unsigned char>(ch)) != 0;
}

// Reads the raw body of an asm block; the cursor is on the opening brace.
// Comments are skipped while counting braces so that a '}' inside an
// assembler comment does not end the block; ';' comments run to the line end.
bool lexAsmBody(Cursor& c, Token& tok, Diagnostics& diags)
{
    SourceLocation open = c.at;
    advance(c);
    tok.bodyAt = c.at;
    size_t bodyStart = c.pos;
    int depth = 1;
    while (!atEnd(c)) {
        bool skipped = false;
        if (!skipComment(c, diags, skipped)) return false;
        if (skipped) continue;
        char ch = peek(c);
        if (ch == ';') {
            while (!atEnd(c) && peek(c) != '\n') advance(c);
            continue;
        }
        if (ch == '{') ++depth;
        if (ch == '}' && --depth == 0) {
            tok.text = c.text.substr(bodyStart, c.pos - bodyStart);
            advance(c);
            return true;
        }
        advance(c);
    }
    addError(diags, open, "unterminated asm block");
    return false;
}

}  // namespace

std::vector<Token> lexEffect(const std::string& source, Diagnostics& diags)
{
    std::vector<Token> tokens;
    Cursor c{source, 0, SourceLocation{}};
    for (;;) {
        if (!skipSpaceAndComments(c, diags)) break;
        if (atEnd(c)) break;
        Token tok;
        tok.at = c.at;
        char ch = peek(c);
        if (isIdentStart(ch)) {
            size_t start = c.pos;
            while (!atEnd(c) && isIdentChar(peek(c))) advance(c);
            tok.kind = TokenKind::Identifier;
            tok.text = source.substr(start, c.pos - start);
            if (tok.text == "asm") {
                if (!skipSpaceAndComments(c, diags)) break;
                if (peek(c) != '{') {
                    addError(diags, c.at, "expected '{' after 'asm'");
                    continue;
                }
                tok.kind = TokenKind::AsmBlock;
                if (!lexAsmBody(c, tok, diags)) break;
            }
        } else if (isDigit(ch) || (ch == '.' && isDigit(peek(c, 1)))) {
            size_t start = c.pos;
            while (isDigit(peek(c))) advance(c);
            if (peek(c) == '.') {
                advance(c);
                while (isDigit(peek(c))) advance(c);
            }
            if ((peek(c) == 'e' || peek(c) == 'E') &&
                (isDigit(peek(c, 1)) ||
                 ((peek(c, 1) == '+' || peek(c, 1) == '-') && isDigit(peek(c, 2))))) {
                advance(c);
                if (peek(c) == '+' || peek(c) == '-') advance(c);
                while (isDigit(peek(c))) advance(c);
            }
            if (peek(c) == 'f' || peek(c) == 'F') advance(c);
            tok.kind = TokenKind::Number;
            tok.text = source.substr(start, c.pos - start);
            if (isIdentChar(peek(c))) {
                addError(diags, tok.at, "malformed number");
                while (isIdentChar(peek(c))) advance(c);
                continue;
            }
        } else if (std::string("{}()[]<>;:,=-").find(ch) != std::string::npos) {
            tok.kind = TokenKind::Punct;
            tok.text = std::string(1, ch);
            advance(c);
        } else {
            addError(diags, tok.at, std::string("unexpected character '") + ch + "'");
            advance(c);
            continue;
        }
        tokens.push_back(std::move(tok));
    }
    Token end;
    end.kind = TokenKind::End;
    end.at = c.at;
    tokens.push_back(end);
    return tokens;
}

}  // namespace effectc
