#include "parser.h"

#include <cstdlib>

namespace effectc {
namespace {

struct Parser {
    const std::vector<Token>& tokens;
    size_t pos;
    Diagnostics& diags;
};

const Token& cur(const Parser& p)
{
    return p.tokens[p.pos];
}
bool atEnd(const Parser& p)
{
    return cur(p).kind == TokenKind::End;
}
void advance(Parser& p)
{
    if (!atEnd(p)) ++p.pos;
}

bool isPunct(const Token& t, char ch)
{
    return t.kind == TokenKind::Punct && t.text[0] == ch;
}

bool isWord(const Token& t, const char* word)
{
    return t.kind == TokenKind::Identifier && t.text == word;
}

std::string describe(const Token& t)
{
    switch (t.kind) {
    case TokenKind::End:
        return "end of file";
    case TokenKind::AsmBlock:
        return "asm block";
    default:
        return "'" + t.text + "'";
    }
}

bool fail(Parser& p, const std::string& expected)
{
    addError(p.diags, cur(p).at, "expected " + expected + ", found " + describe(cur(p)));
    return false;
}

bool expectPunct(Parser& p, char ch)
{
    if (!isPunct(cur(p), ch)) return fail(p, std::string("'") + ch + "'");
    advance(p);
    return true;
}

bool expectIdentifier(Parser& p, const char* what, std::string& name, SourceLocation& at)
{
    if (cur(p).kind != TokenKind::Identifier) return fail(p, what);
    name = cur(p).text;
    at = cur(p).at;
    advance(p);
    return true;
}

// Skips to just after the next ';' or to the next '}' of the current nesting
// level, so that one mistake does not hide the rest of the file.
void synchronize(Parser& p)
{
    int depth = 0;
    while (!atEnd(p)) {
        const Token& t = cur(p);
        if (isPunct(t, '{')) ++depth;
        if (isPunct(t, '}')) {
            if (depth == 0) return;
            --depth;
            if (depth == 0) {
                advance(p);
                if (isPunct(cur(p), ';')) advance(p);
                return;
            }
        }
        if (isPunct(t, ';') && depth == 0) {
            advance(p);
            return;
        }
        advance(p);
    }
}

bool parseNumber(Parser& p, double& value, SourceLocation& at)
{
    at = cur(p).at;
    bool negative = false;
    if (isPunct(cur(p), '-')) {
        negative = true;
        advance(p);
    }
    if (cur(p).kind != TokenKind::Number) return fail(p, "a number");
    std::string text = cur(p).text;
    if (text.back() == 'f' || text.back() == 'F') text.pop_back();
    value = std::strtod(text.c_str(), nullptr);
    if (negative) value = -value;
    advance(p);
    return true;
}

// Types: float, floatN, floatRxC (N, R, C in 1..4), texture, sampler2D.
bool parseType(Parser& p, ParameterDecl& decl)
{
    const Token& t = cur(p);
    if (t.kind != TokenKind::Identifier) return fail(p, "a type");
    const std::string& s = t.text;
    auto digit = [](char ch) { return ch >= '1' && ch <= '4'; };
    if (s == "float") {
        decl.kind = ParamKind::Float;
    } else if (s.size() == 6 && s.compare(0, 5, "float") == 0 && digit(s[5])) {
        decl.kind = ParamKind::Float;
        decl.isVector = true;
        decl.columns = s[5] - '0';
    } else if (s.size() == 8 && s.compare(0, 5, "float") == 0 && digit(s[5]) && s[6] == 'x' &&
               digit(s[7])) {
        decl.kind = ParamKind::Float;
        decl.isMatrix = true;
        decl.rows = s[5] - '0';
        decl.columns = s[7] - '0';
    } else if (s == "texture") {
        decl.kind = ParamKind::Texture;
    } else if (s == "sampler2D") {
        decl.kind = ParamKind::Sampler2D;
    } else {
        addError(p.diags, t.at, "unsupported type '" + s + "'");
        return false;
    }
    advance(p);
    return true;
}

bool parseStateValue(Parser& p, StateValue& value)
{
    const Token& t = cur(p);
    value.at = t.at;
    if (isPunct(t, '<')) {
        advance(p);
        SourceLocation at;
        if (!expectIdentifier(p, "a parameter name", value.text, at)) return false;
        value.kind = ValueKind::Reference;
        return expectPunct(p, '>');
    }
    if (t.kind == TokenKind::AsmBlock) {
        value.kind = ValueKind::Asm;
        value.text = t.text;
        value.bodyAt = t.bodyAt;
        advance(p);
        return true;
    }
    if (t.kind == TokenKind::Identifier) {
        value.kind = ValueKind::Identifier;
        value.text = t.text;
        advance(p);
        return true;
    }
    if (t.kind == TokenKind::Number || isPunct(t, '-')) {
        value.kind = ValueKind::Number;
        SourceLocation at;
        return parseNumber(p, value.number, at);
    }
    return fail(p, "a state value");
}

bool parseStateAssignment(Parser& p, StateAssignment& state)
{
    if (!expectIdentifier(p, "a state name", state.name, state.at)) return false;
    if (isPunct(cur(p), '[')) {
        advance(p);
        double index = 0;
        SourceLocation at;
        if (!parseNumber(p, index, at)) return false;
        state.hasIndex = true;
        state.index = static_cast<int>(index);
        if (!expectPunct(p, ']')) return false;
    }
    if (!expectPunct(p, '=')) return false;
    if (!parseStateValue(p, state.value)) return false;
    return expectPunct(p, ';');
}

// Reads "{ state; state; ... }" and recovers inside it after a bad state.
bool parseStateBlock(Parser& p, std::vector<StateAssignment>& states)
{
    if (!expectPunct(p, '{')) return false;
    while (!atEnd(p) && !isPunct(cur(p), '}')) {
        StateAssignment state;
        if (parseStateAssignment(p, state)) {
            states.push_back(std::move(state));
        } else {
            synchronize(p);
        }
    }
    return expectPunct(p, '}');
}

bool parseInitializerList(Parser& p, std::vector<double>& values)
{
    if (!isPunct(cur(p), '{')) {
        double v = 0;
        SourceLocation at;
        if (!parseNumber(p, v, at)) return false;
        values.push_back(v);
        return true;
    }
    advance(p);
    while (!isPunct(cur(p), '}')) {
        if (!parseInitializerList(p, values)) return false;  // nested rows flatten
        if (isPunct(cur(p), ',')) {
            advance(p);
        } else if (!isPunct(cur(p), '}')) {
            return fail(p, "',' or '}'");
        }
    }
    advance(p);
    return true;
}

bool parseRegister(Parser& p, ParameterDecl& decl)
{
    if (!isWord(cur(p), "register")) {
        addError(p.diags, cur(p).at,
                 "semantics are not supported; only ': register(...)' may follow a parameter name");
        return false;
    }
    advance(p);
    if (!expectPunct(p, '(')) return false;
    const Token& t = cur(p);
    bool ok = t.kind == TokenKind::Identifier && t.text.size() >= 2 && t.text.size() <= 4 &&
              (t.text[0] == 'c' || t.text[0] == 's');
    for (size_t k = 1; ok && k < t.text.size(); ++k) ok = t.text[k] >= '0' && t.text[k] <= '9';
    if (!ok) return fail(p, "a register such as c0 or s0");
    decl.reg.present = true;
    decl.reg.set = t.text[0];
    decl.reg.index = std::atoi(t.text.c_str() + 1);
    decl.reg.at = t.at;
    advance(p);
    return expectPunct(p, ')');
}

bool parseParameter(Parser& p, ParameterDecl& decl)
{
    decl.typeAt = cur(p).at;
    bool hasMajor = false;
    if (isWord(cur(p), "row_major") || isWord(cur(p), "column_major")) {
        hasMajor = true;
        decl.rowMajor = cur(p).text == "row_major";
        advance(p);
    }
    if (!parseType(p, decl)) return false;
    if (hasMajor && !decl.isMatrix) {
        addError(p.diags, decl.typeAt, "row_major/column_major applies only to matrix types");
    }
    if (!expectIdentifier(p, "a parameter name", decl.name, decl.at)) return false;
    if (isPunct(cur(p), ':')) {
        advance(p);
        if (!parseRegister(p, decl)) return false;
    }
    if (isPunct(cur(p), '=')) {
        advance(p);
        decl.hasInitializer = true;
        decl.initAt = cur(p).at;
        if (decl.kind == ParamKind::Sampler2D) {
            if (!isWord(cur(p), "sampler_state")) return fail(p, "'sampler_state'");
            advance(p);
            if (!parseStateBlock(p, decl.samplerStates)) return false;
        } else if (decl.kind == ParamKind::Texture) {
            addError(p.diags, decl.initAt, "a texture parameter takes no initialiser");
            return false;
        } else if (!parseInitializerList(p, decl.initializer)) {
            return false;
        }
    }
    return expectPunct(p, ';');
}

bool parsePass(Parser& p, PassDecl& pass)
{
    advance(p);  // 'pass'
    if (!expectIdentifier(p, "a pass name", pass.name, pass.at)) return false;
    return parseStateBlock(p, pass.states);
}

bool parseTechnique(Parser& p, TechniqueDecl& tech)
{
    advance(p);  // 'technique'
    if (!expectIdentifier(p, "a technique name", tech.name, tech.at)) return false;
    if (!expectPunct(p, '{')) return false;
    while (!atEnd(p) && !isPunct(cur(p), '}')) {
        if (!isWord(cur(p), "pass")) {
            fail(p, "'pass'");
            synchronize(p);
            continue;
        }
        PassDecl pass;
        if (parsePass(p, pass)) {
            tech.passes.push_back(std::move(pass));
        } else {
            synchronize(p);
        }
    }
    return expectPunct(p, '}');
}

}  // namespace

EffectDecl parseEffect(const std::vector<Token>& tokens, Diagnostics& diags)
{
    EffectDecl effect;
    Parser p{tokens, 0, diags};
    while (!atEnd(p)) {
        if (isWord(cur(p), "technique")) {
            TechniqueDecl tech;
            if (parseTechnique(p, tech)) {
                effect.techniques.push_back(std::move(tech));
            } else {
                synchronize(p);
                if (isPunct(cur(p), '}')) advance(p);
            }
            continue;
        }
        ParameterDecl decl;
        if (parseParameter(p, decl)) {
            effect.parameters.push_back(std::move(decl));
        } else {
            synchronize(p);
            if (isPunct(cur(p), '}')) advance(p);
        }
    }
    return effect;
}

}  // namespace effectc
