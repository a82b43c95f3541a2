#include "lexer.h"

#include <cctype>

namespace effectc {
namespace {

struct Cursor {
    const std::string& text;
    size_t pos = 0;
    SourceLocation at;
};

bool AtEnd(const Cursor& cursor)
{
    return cursor.pos >= cursor.text.size();
}
char Peek(const Cursor& cursor, size_t ahead = 0)
{
    return cursor.pos + ahead < cursor.text.size() ? cursor.text[cursor.pos + ahead] : '\0';
}

void Advance(Cursor& cursor)
{
    if (cursor.text[cursor.pos] == '\n') {
        ++cursor.at.line;
        cursor.at.column = 1;
    } else {
        ++cursor.at.column;
    }
    ++cursor.pos;
}

// Skips one comment if the cursor is on one. Returns false on an unterminated
// block comment (reported at its opening).
bool SkipComment(Cursor& cursor, Diagnostics& diags, bool& skipped)
{
    skipped = false;
    if (Peek(cursor) == '/' && Peek(cursor, 1) == '/') {
        while (!AtEnd(cursor) && Peek(cursor) != '\n') Advance(cursor);
        skipped = true;
    } else if (Peek(cursor) == '/' && Peek(cursor, 1) == '*') {
        SourceLocation start = cursor.at;
        Advance(cursor);
        Advance(cursor);
        while (!AtEnd(cursor) && !(Peek(cursor) == '*' && Peek(cursor, 1) == '/')) Advance(cursor);
        if (AtEnd(cursor)) {
            AddError(diags, start, "unterminated block comment");
            return false;
        }
        Advance(cursor);
        Advance(cursor);
        skipped = true;
    }
    return true;
}

bool SkipSpaceAndComments(Cursor& cursor, Diagnostics& diags)
{
    for (;;) {
        while (!AtEnd(cursor) && std::isspace(static_cast<unsigned char>(Peek(cursor))))
            Advance(cursor);
        bool skipped = false;
        if (!SkipComment(cursor, diags, skipped)) return false;
        if (!skipped) return true;
    }
}

bool IsIdentifierStart(char ch)
{
    return std::isalpha(static_cast<unsigned char>(ch)) || ch == '_';
}
bool IsIdentifierChar(char ch)
{
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_';
}
bool IsDigit(char ch)
{
    return std::isdigit(static_cast<unsigned char>(ch)) != 0;
}

// Reads the raw body of an asm block; the cursor is on the opening brace.
// Comments are skipped while counting braces so that a '}' inside an
// assembler comment does not end the block; ';' comments run to the line end.
bool LexAsmBody(Cursor& cursor, Token& token, Diagnostics& diags)
{
    SourceLocation open = cursor.at;
    Advance(cursor);
    token.bodyAt = cursor.at;
    size_t bodyStart = cursor.pos;
    int depth = 1;
    while (!AtEnd(cursor)) {
        bool skipped = false;
        if (!SkipComment(cursor, diags, skipped)) return false;
        if (skipped) continue;
        char ch = Peek(cursor);
        if (ch == ';') {
            while (!AtEnd(cursor) && Peek(cursor) != '\n') Advance(cursor);
            continue;
        }
        if (ch == '{') ++depth;
        if (ch == '}' && --depth == 0) {
            token.text = cursor.text.substr(bodyStart, cursor.pos - bodyStart);
            Advance(cursor);
            return true;
        }
        Advance(cursor);
    }
    AddError(diags, open, "unterminated asm block");
    return false;
}

}  // namespace

std::vector<Token> LexEffect(const std::string& source, Diagnostics& diags)
{
    std::vector<Token> tokens;
    Cursor cursor{source, 0, SourceLocation{}};
    for (;;) {
        if (!SkipSpaceAndComments(cursor, diags)) break;
        if (AtEnd(cursor)) break;
        Token token;
        token.at = cursor.at;
        char ch = Peek(cursor);
        if (IsIdentifierStart(ch)) {
            size_t start = cursor.pos;
            while (!AtEnd(cursor) && IsIdentifierChar(Peek(cursor))) Advance(cursor);
            token.kind = TokenKind::identifier;
            token.text = source.substr(start, cursor.pos - start);
            if (token.text == "asm") {
                if (!SkipSpaceAndComments(cursor, diags)) break;
                if (Peek(cursor) != '{') {
                    AddError(diags, cursor.at, "expected '{' after 'asm'");
                    continue;
                }
                token.kind = TokenKind::asmBlock;
                if (!LexAsmBody(cursor, token, diags)) break;
            }
        } else if (IsDigit(ch) || (ch == '.' && IsDigit(Peek(cursor, 1)))) {
            size_t start = cursor.pos;
            while (IsDigit(Peek(cursor))) Advance(cursor);
            if (Peek(cursor) == '.') {
                Advance(cursor);
                while (IsDigit(Peek(cursor))) Advance(cursor);
            }
            if ((Peek(cursor) == 'e' || Peek(cursor) == 'E') &&
                (IsDigit(Peek(cursor, 1)) || ((Peek(cursor, 1) == '+' || Peek(cursor, 1) == '-') &&
                                              IsDigit(Peek(cursor, 2))))) {
                Advance(cursor);
                if (Peek(cursor) == '+' || Peek(cursor) == '-') Advance(cursor);
                while (IsDigit(Peek(cursor))) Advance(cursor);
            }
            if (Peek(cursor) == 'f' || Peek(cursor) == 'F') Advance(cursor);
            token.kind = TokenKind::number;
            token.text = source.substr(start, cursor.pos - start);
            if (IsIdentifierChar(Peek(cursor))) {
                AddError(diags, token.at, "malformed number");
                while (IsIdentifierChar(Peek(cursor))) Advance(cursor);
                continue;
            }
        } else if (std::string("{}()[]<>;:,=-").find(ch) != std::string::npos) {
            token.kind = TokenKind::punct;
            token.text = std::string(1, ch);
            Advance(cursor);
        } else {
            AddError(diags, token.at, std::string("unexpected character '") + ch + "'");
            Advance(cursor);
            continue;
        }
        tokens.push_back(std::move(token));
    }
    Token end;
    end.kind = TokenKind::end;
    end.at = cursor.at;
    tokens.push_back(end);
    return tokens;
}

}  // namespace effectc
