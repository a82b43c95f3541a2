#include "parser.h"

#include <cstdlib>

namespace effectc {
namespace {

struct Parser {
    const std::vector<Token>& tokens;
    size_t pos;
    Diagnostics& diags;
};

const Token& Current(const Parser& parser)
{
    return parser.tokens[parser.pos];
}
bool AtEnd(const Parser& parser)
{
    return Current(parser).kind == TokenKind::end;
}
void Advance(Parser& parser)
{
    if (!AtEnd(parser)) ++parser.pos;
}

bool IsPunct(const Token& token, char ch)
{
    return token.kind == TokenKind::punct && token.text[0] == ch;
}

bool IsWord(const Token& token, const char* word)
{
    return token.kind == TokenKind::identifier && token.text == word;
}

std::string Describe(const Token& token)
{
    switch (token.kind) {
    case TokenKind::end:
        return "end of file";
    case TokenKind::asmBlock:
        return "asm block";
    default:
        return "'" + token.text + "'";
    }
}

bool Fail(Parser& parser, const std::string& expected)
{
    AddError(parser.diags, Current(parser).at,
             "expected " + expected + ", found " + Describe(Current(parser)));
    return false;
}

bool ExpectPunct(Parser& parser, char ch)
{
    if (!IsPunct(Current(parser), ch)) return Fail(parser, std::string("'") + ch + "'");
    Advance(parser);
    return true;
}

bool ExpectIdentifier(Parser& parser, const char* what, std::string& name, SourceLocation& at)
{
    if (Current(parser).kind != TokenKind::identifier) return Fail(parser, what);
    name = Current(parser).text;
    at = Current(parser).at;
    Advance(parser);
    return true;
}

// Skips to just after the next ';' or to the next '}' of the current nesting
// level, so that one mistake does not hide the rest of the file.
void Synchronize(Parser& parser)
{
    int depth = 0;
    while (!AtEnd(parser)) {
        const Token& token = Current(parser);
        if (IsPunct(token, '{')) ++depth;
        if (IsPunct(token, '}')) {
            if (depth == 0) return;
            --depth;
            if (depth == 0) {
                Advance(parser);
                if (IsPunct(Current(parser), ';')) Advance(parser);
                return;
            }
        }
        if (IsPunct(token, ';') && depth == 0) {
            Advance(parser);
            return;
        }
        Advance(parser);
    }
}

bool ParseNumber(Parser& parser, double& value, SourceLocation& at)
{
    at = Current(parser).at;
    bool negative = false;
    if (IsPunct(Current(parser), '-')) {
        negative = true;
        Advance(parser);
    }
    if (Current(parser).kind != TokenKind::number) return Fail(parser, "a number");
    std::string text = Current(parser).text;
    if (text.back() == 'f' || text.back() == 'F') text.pop_back();
    value = std::strtod(text.c_str(), nullptr);
    if (negative) value = -value;
    Advance(parser);
    return true;
}

// Types: float, floatN, floatRxC (N, R, C in 1..4), texture, sampler2D.
bool ParseType(Parser& parser, ParameterDecl& decl)
{
    const Token& token = Current(parser);
    if (token.kind != TokenKind::identifier) return Fail(parser, "a type");
    const std::string& typeName = token.text;
    auto digit = [](char ch) { return ch >= '1' && ch <= '4'; };
    if (typeName == "float") {
        decl.kind = ParamKind::numeric;
    } else if (typeName.size() == 6 && typeName.compare(0, 5, "float") == 0 && digit(typeName[5])) {
        decl.kind = ParamKind::numeric;
        decl.isVector = true;
        decl.columns = typeName[5] - '0';
    } else if (typeName.size() == 8 && typeName.compare(0, 5, "float") == 0 && digit(typeName[5]) &&
               typeName[6] == 'x' && digit(typeName[7])) {
        decl.kind = ParamKind::numeric;
        decl.isMatrix = true;
        decl.rows = typeName[5] - '0';
        decl.columns = typeName[7] - '0';
    } else if (typeName == "texture") {
        decl.kind = ParamKind::texture;
    } else if (typeName == "sampler2D") {
        decl.kind = ParamKind::sampler2D;
    } else {
        AddError(parser.diags, token.at, "unsupported type '" + typeName + "'");
        return false;
    }
    Advance(parser);
    return true;
}

bool ParseStateValue(Parser& parser, StateValue& value)
{
    const Token& token = Current(parser);
    value.at = token.at;
    if (IsPunct(token, '<')) {
        Advance(parser);
        SourceLocation at;
        if (!ExpectIdentifier(parser, "a parameter name", value.text, at)) return false;
        value.kind = ValueKind::reference;
        return ExpectPunct(parser, '>');
    }
    if (token.kind == TokenKind::asmBlock) {
        value.kind = ValueKind::asmBlock;
        value.text = token.text;
        value.bodyAt = token.bodyAt;
        Advance(parser);
        return true;
    }
    if (token.kind == TokenKind::identifier) {
        value.kind = ValueKind::identifier;
        value.text = token.text;
        Advance(parser);
        return true;
    }
    if (token.kind == TokenKind::number || IsPunct(token, '-')) {
        value.kind = ValueKind::number;
        SourceLocation at;
        return ParseNumber(parser, value.number, at);
    }
    return Fail(parser, "a state value");
}

bool ParseStateAssignment(Parser& parser, StateAssignment& state)
{
    if (!ExpectIdentifier(parser, "a state name", state.name, state.at)) return false;
    if (IsPunct(Current(parser), '[')) {
        Advance(parser);
        double index = 0;
        SourceLocation at;
        if (!ParseNumber(parser, index, at)) return false;
        state.hasIndex = true;
        state.index = static_cast<int>(index);
        if (!ExpectPunct(parser, ']')) return false;
    }
    if (!ExpectPunct(parser, '=')) return false;
    if (!ParseStateValue(parser, state.value)) return false;
    return ExpectPunct(parser, ';');
}

// Reads "{ state; state; ... }" and recovers inside it after a bad state.
bool ParseStateBlock(Parser& parser, std::vector<StateAssignment>& states)
{
    if (!ExpectPunct(parser, '{')) return false;
    while (!AtEnd(parser) && !IsPunct(Current(parser), '}')) {
        StateAssignment state;
        if (ParseStateAssignment(parser, state)) {
            states.push_back(std::move(state));
        } else {
            Synchronize(parser);
        }
    }
    return ExpectPunct(parser, '}');
}

bool ParseInitializerList(Parser& parser, std::vector<double>& values)
{
    if (!IsPunct(Current(parser), '{')) {
        double number = 0;
        SourceLocation at;
        if (!ParseNumber(parser, number, at)) return false;
        values.push_back(number);
        return true;
    }
    Advance(parser);
    while (!IsPunct(Current(parser), '}')) {
        if (!ParseInitializerList(parser, values)) return false;  // nested rows flatten
        if (IsPunct(Current(parser), ',')) {
            Advance(parser);
        } else if (!IsPunct(Current(parser), '}')) {
            return Fail(parser, "',' or '}'");
        }
    }
    Advance(parser);
    return true;
}

bool ParseRegister(Parser& parser, ParameterDecl& decl)
{
    if (!IsWord(Current(parser), "register")) {
        AddError(parser.diags, Current(parser).at,
                 "semantics are not supported; only ': register(...)' may follow a parameter name");
        return false;
    }
    Advance(parser);
    if (!ExpectPunct(parser, '(')) return false;
    const Token& token = Current(parser);
    bool ok = token.kind == TokenKind::identifier && token.text.size() >= 2 &&
              token.text.size() <= 4 && (token.text[0] == 'c' || token.text[0] == 's');
    for (size_t i = 1; ok && i < token.text.size(); ++i)
        ok = token.text[i] >= '0' && token.text[i] <= '9';
    if (!ok) return Fail(parser, "a register such as c0 or s0");
    decl.reg.present = true;
    decl.reg.set = token.text[0];
    decl.reg.index = std::atoi(token.text.c_str() + 1);
    decl.reg.at = token.at;
    Advance(parser);
    return ExpectPunct(parser, ')');
}

bool ParseParameter(Parser& parser, ParameterDecl& decl)
{
    decl.typeAt = Current(parser).at;
    bool hasMajor = false;
    if (IsWord(Current(parser), "row_major") || IsWord(Current(parser), "column_major")) {
        hasMajor = true;
        decl.rowMajor = Current(parser).text == "row_major";
        Advance(parser);
    }
    if (!ParseType(parser, decl)) return false;
    if (hasMajor && !decl.isMatrix) {
        AddError(parser.diags, decl.typeAt, "row_major/column_major applies only to matrix types");
    }
    if (!ExpectIdentifier(parser, "a parameter name", decl.name, decl.at)) return false;
    if (IsPunct(Current(parser), ':')) {
        Advance(parser);
        if (!ParseRegister(parser, decl)) return false;
    }
    if (IsPunct(Current(parser), '=')) {
        Advance(parser);
        decl.hasInitializer = true;
        decl.initAt = Current(parser).at;
        if (decl.kind == ParamKind::sampler2D) {
            if (!IsWord(Current(parser), "sampler_state")) return Fail(parser, "'sampler_state'");
            Advance(parser);
            if (!ParseStateBlock(parser, decl.samplerStates)) return false;
        } else if (decl.kind == ParamKind::texture) {
            AddError(parser.diags, decl.initAt, "a texture parameter takes no initialiser");
            return false;
        } else if (!ParseInitializerList(parser, decl.initializer)) {
            return false;
        }
    }
    return ExpectPunct(parser, ';');
}

bool ParsePass(Parser& parser, PassDecl& pass)
{
    Advance(parser);  // 'pass'
    if (!ExpectIdentifier(parser, "a pass name", pass.name, pass.at)) return false;
    return ParseStateBlock(parser, pass.states);
}

bool ParseTechnique(Parser& parser, TechniqueDecl& tech)
{
    Advance(parser);  // 'technique'
    if (!ExpectIdentifier(parser, "a technique name", tech.name, tech.at)) return false;
    if (!ExpectPunct(parser, '{')) return false;
    while (!AtEnd(parser) && !IsPunct(Current(parser), '}')) {
        if (!IsWord(Current(parser), "pass")) {
            Fail(parser, "'pass'");
            Synchronize(parser);
            continue;
        }
        PassDecl pass;
        if (ParsePass(parser, pass)) {
            tech.passes.push_back(std::move(pass));
        } else {
            Synchronize(parser);
        }
    }
    return ExpectPunct(parser, '}');
}

}  // namespace

EffectDecl ParseEffect(const std::vector<Token>& tokens, Diagnostics& diags)
{
    EffectDecl effect;
    Parser parser{tokens, 0, diags};
    while (!AtEnd(parser)) {
        if (IsWord(Current(parser), "technique")) {
            TechniqueDecl tech;
            if (ParseTechnique(parser, tech)) {
                effect.techniques.push_back(std::move(tech));
            } else {
                Synchronize(parser);
                if (IsPunct(Current(parser), '}')) Advance(parser);
            }
            continue;
        }
        ParameterDecl decl;
        if (ParseParameter(parser, decl)) {
            effect.parameters.push_back(std::move(decl));
        } else {
            Synchronize(parser);
            if (IsPunct(Current(parser), '}')) Advance(parser);
        }
    }
    return effect;
}

}  // namespace effectc
