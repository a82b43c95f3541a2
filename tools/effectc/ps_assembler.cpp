#include "ps_assembler.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace effectc {
namespace {

// ---------------------------------------------------------------- lexing

enum class AsmTokenKind { word, number, punct, newline };

struct AsmToken {
    AsmTokenKind kind;
    std::string text;
    SourceLocation at;
};

std::vector<AsmToken> LexAsm(const std::string& text, SourceLocation origin, Diagnostics& diags)
{
    std::vector<AsmToken> out;
    SourceLocation at = origin;
    size_t i = 0;
    auto step = [&]() {
        if (text[i] == '\n') {
            ++at.line;
            at.column = 1;
        } else {
            ++at.column;
        }
        ++i;
    };
    auto peek = [&](size_t ahead) { return i + ahead < text.size() ? text[i + ahead] : '\0'; };
    while (i < text.size()) {
        char ch = text[i];
        if (ch == '\n') {
            out.push_back({AsmTokenKind::newline, "", at});
            step();
        } else if (std::isspace(static_cast<unsigned char>(ch))) {
            step();
        } else if (ch == ';' || (ch == '/' && peek(1) == '/')) {
            while (i < text.size() && text[i] != '\n') step();
        } else if (ch == '/' && peek(1) == '*') {
            // The effect lexer already rejected unterminated comments.
            while (i < text.size() && !(text[i] == '*' && peek(1) == '/')) step();
            if (i < text.size()) {
                step();
                step();
            }
        } else if (std::isalpha(static_cast<unsigned char>(ch)) || ch == '_') {
            AsmToken token{AsmTokenKind::word, "", at};
            while (i < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
                token.text += text[i];
                step();
            }
            out.push_back(token);
        } else if (std::isdigit(static_cast<unsigned char>(ch)) ||
                   (ch == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) {
            AsmToken token{AsmTokenKind::number, "", at};
            while (i < text.size()) {
                char c = text[i];
                bool exponentSign = (c == '+' || c == '-') && !token.text.empty() &&
                                    (token.text.back() == 'e' || token.text.back() == 'E');
                if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || exponentSign))
                    break;
                token.text += c;
                step();
            }
            out.push_back(token);
        } else if (ch == ',' || ch == '.' || ch == '-') {
            out.push_back({AsmTokenKind::punct, std::string(1, ch), at});
            step();
        } else {
            AddError(diags, at,
                     std::string("unexpected character '") + ch + "' in shader assembly");
            step();
        }
    }
    out.push_back({AsmTokenKind::newline, "", at});
    return out;
}

// ---------------------------------------------------------------- tables

enum class Slot { none, arithmetic, texture };

// How an instruction's sources are read, for the temp-initialisation check.
enum class ReadPattern { perComponent, dot3, dot4, replicate, texCoord };

struct OpcodeInfo {
    const char* name;
    uint32_t opcode;
    uint32_t control;  // bits 16-23 of the instruction token
    int sources;
    int slots;
    Slot slot;
    ReadPattern read;
};

// The ps_2_0 instructions this assembler knows. Opcode numbers are
// D3DSHADER_INSTRUCTION_OPCODE_TYPE; slot counts from the ps_2_0 reference
// (lrp and pow are expanded by the driver and cost more than one slot).
const OpcodeInfo opcodeTable[] = {
    {"nop", 0x00, 0, 0, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"mov", 0x01, 0, 1, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"add", 0x02, 0, 2, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"sub", 0x03, 0, 2, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"mad", 0x04, 0, 3, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"mul", 0x05, 0, 2, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"rcp", 0x06, 0, 1, 1, Slot::arithmetic, ReadPattern::replicate},
    {"rsq", 0x07, 0, 1, 1, Slot::arithmetic, ReadPattern::replicate},
    {"dp3", 0x08, 0, 2, 1, Slot::arithmetic, ReadPattern::dot3},
    {"dp4", 0x09, 0, 2, 1, Slot::arithmetic, ReadPattern::dot4},
    {"min", 0x0A, 0, 2, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"max", 0x0B, 0, 2, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"exp", 0x0E, 0, 1, 1, Slot::arithmetic, ReadPattern::replicate},
    {"log", 0x0F, 0, 1, 1, Slot::arithmetic, ReadPattern::replicate},
    {"lrp", 0x12, 0, 3, 2, Slot::arithmetic, ReadPattern::perComponent},
    {"frc", 0x13, 0, 1, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"pow", 0x20, 0, 2, 3, Slot::arithmetic, ReadPattern::replicate},
    {"abs", 0x23, 0, 1, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"cmp", 0x58, 0, 3, 1, Slot::arithmetic, ReadPattern::perComponent},
    {"texld", 0x42, 0, 2, 1, Slot::texture, ReadPattern::texCoord},
    {"texldp", 0x42, 1, 2, 1, Slot::texture, ReadPattern::texCoord},
    {"texldb", 0x42, 2, 2, 1, Slot::texture, ReadPattern::texCoord},
};

constexpr uint32_t opDcl = 0x1F;
constexpr uint32_t opDef = 0x51;

// Rejected with a specific message rather than "unknown instruction".
const char* const notInPs20[] = {
    "slt",   "sge",   "lit",    "dst",     "expp",   "logp",   "defi", "defb",   "if",
    "else",  "endif", "loop",   "endloop", "rep",    "endrep", "call", "callnz", "ret",
    "label", "break", "breakc", "setp",    "texldl", "texldd", "dsx",  "dsy",    "mova"};

struct RegisterInfo {
    const char* prefix;
    RegisterType type;
    int count;      // ps_2_0 register file size
    int readPorts;  // different registers of this file one instruction may read
};

// Sizes and read ports from the ps_2_0 register reference.
const RegisterInfo registerTable[] = {
    {"r", regTemp, 12, 3}, {"c", regConst, 32, 2},   {"t", regTexture, 8, 1},
    {"v", regInput, 2, 1}, {"s", regSampler, 16, 1}, {"oc", regColorOut, 4, 0},
};

const RegisterInfo* FindRegisterInfo(RegisterType type)
{
    for (const RegisterInfo& info : registerTable)
        if (info.type == type) return &info;
    return nullptr;
}

const char* RegisterPrefix(RegisterType type)
{
    switch (type) {
    case regTemp:
        return "r";
    case regInput:
        return "v";
    case regConst:
        return "c";
    case regTexture:
        return "t";
    case regColorOut:
        return "oC";
    case regDepthOut:
        return "oDepth";
    case regSampler:
        return "s";
    }
    return "?";
}

std::string RegisterName(RegisterType type, int index)
{
    if (type == regDepthOut) return "oDepth";
    return RegisterPrefix(type) + std::to_string(index);
}

// ---------------------------------------------------------------- encoding

uint32_t RegisterTypeBits(RegisterType type)
{
    // The type is split: bits 0-2 go to 28-30, bits 3-4 to 11-12.
    return ((type & 7u) << 28) | ((type & 0x18u) << 8);
}

uint32_t InstructionToken(uint32_t opcode, uint32_t control, uint32_t length)
{
    return opcode | (control << 16) | (length << 24);
}

constexpr uint32_t maskAll = 0xF;
constexpr uint32_t swizzleIdentity = 0xE4;
constexpr uint32_t resultSaturate = 1;
constexpr uint32_t resultPartialPrecision = 2;
constexpr uint32_t sourceNegate = 1;

struct Operand {
    RegisterType type = regTemp;
    int index = 0;
    uint32_t mask = maskAll;             // destinations
    uint32_t swizzle = swizzleIdentity;  // sources
    bool negate = false;
    bool hasSuffix = false;  // a '.mask' or '.swizzle' was written
    SourceLocation at;
};

uint32_t DestinationToken(const Operand& operand, uint32_t resultModifier)
{
    return 0x80000000u | RegisterTypeBits(operand.type) | static_cast<uint32_t>(operand.index) |
           (operand.mask << 16) | (resultModifier << 20);
}

uint32_t SourceToken(const Operand& operand)
{
    return 0x80000000u | RegisterTypeBits(operand.type) | static_cast<uint32_t>(operand.index) |
           (operand.swizzle << 16) | ((operand.negate ? sourceNegate : 0u) << 24);
}

int SwizzleComponent(uint32_t swizzle, int channel)
{
    return (swizzle >> (2 * channel)) & 3;
}

bool IsReplicate(uint32_t swizzle)
{
    return swizzle == 0x00 || swizzle == 0x55 || swizzle == 0xAA || swizzle == 0xFF;
}

// ps_2_0 has no arbitrary swizzle: identity, the four replicates and three
// rotations are all the hardware is required to support.
bool IsPs20Swizzle(uint32_t swizzle)
{
    return swizzle == swizzleIdentity || IsReplicate(swizzle) || swizzle == 0xC9 ||
           swizzle == 0xD2 || swizzle == 0x1B;
}

// ---------------------------------------------------------------- parsing

struct Statement {
    std::vector<AsmToken> tokens;
};

struct Assembler {
    Diagnostics* diags = nullptr;
    AssembledShader out;
    bool sawVersion = false;
    bool badVersion = false;  // nothing after a wrong version line is worth checking
    SourceLocation versionAt;
    bool sawInstruction = false;
    uint32_t declaredMask[regSampler + 1][16] = {};  // t#/v# dcl masks
    uint32_t tempWritten[12] = {};                   // components written so far
    bool colorWritten[4] = {};
    bool depthWritten = false;
    SourceLocation lastAt;
};

std::string Lowercase(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int ComponentIndex(char c)
{
    switch (c) {
    case 'x':
    case 'r':
        return 0;
    case 'y':
    case 'g':
        return 1;
    case 'z':
    case 'b':
        return 2;
    case 'w':
    case 'a':
        return 3;
    }
    return -1;
}

bool ParseRegisterWord(Assembler& assembler, const AsmToken& token, Operand& operand)
{
    operand.at = token.at;
    std::string word = Lowercase(token.text);
    if (word == "odepth") {
        operand.type = regDepthOut;
        operand.index = 0;
        return true;
    }
    if (word.find('_') != std::string::npos) {
        AddError(*assembler.diags, token.at,
                 "register modifier in '" + token.text +
                     "' is not available in ps_2_0 (only '-' negation; use the abs instruction)");
        return false;
    }
    for (const RegisterInfo& info : registerTable) {
        size_t prefixLength = std::strlen(info.prefix);
        if (word.size() <= prefixLength || word.compare(0, prefixLength, info.prefix) != 0)
            continue;
        std::string digits = word.substr(prefixLength);
        if (!std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            continue;
        int index = std::atoi(digits.c_str());
        if (digits.size() > 3 || index >= info.count) {
            AddError(*assembler.diags, token.at,
                     "register '" + token.text + "' is out of range for ps_2_0 (" +
                         RegisterPrefix(info.type) + "0-" + RegisterPrefix(info.type) +
                         std::to_string(info.count - 1) + ")");
            return false;
        }
        operand.type = info.type;
        operand.index = index;
        return true;
    }
    AddError(*assembler.diags, token.at, "'" + token.text + "' is not a ps_2_0 register");
    return false;
}

// Reads "reg[.suffix]" starting at tokens[next]; advances next.
bool ParseOperandBody(Assembler& assembler, const std::vector<AsmToken>& tokens, size_t& next,
                      Operand& operand, std::string& suffix, SourceLocation& suffixAt)
{
    if (next >= tokens.size() || tokens[next].kind != AsmTokenKind::word) {
        SourceLocation at = next < tokens.size() ? tokens[next].at : assembler.lastAt;
        AddError(*assembler.diags, at, "expected a register");
        return false;
    }
    if (!ParseRegisterWord(assembler, tokens[next], operand)) return false;
    ++next;
    suffix.clear();
    if (next < tokens.size() && tokens[next].kind == AsmTokenKind::punct &&
        tokens[next].text == ".") {
        ++next;
        if (next >= tokens.size() || tokens[next].kind != AsmTokenKind::word) {
            AddError(*assembler.diags, tokens[next - 1].at,
                     "expected a write mask or swizzle after '.'");
            return false;
        }
        suffix = Lowercase(tokens[next].text);
        suffixAt = tokens[next].at;
        operand.hasSuffix = true;
        ++next;
    }
    return true;
}

bool ParseDestination(Assembler& assembler, const std::vector<AsmToken>& tokens, size_t& next,
                      Operand& operand)
{
    std::string suffix;
    SourceLocation suffixAt;
    if (!ParseOperandBody(assembler, tokens, next, operand, suffix, suffixAt)) return false;
    if (suffix.empty()) return true;
    uint32_t mask = 0;
    int last = -1;
    for (char c : suffix) {
        int component = ComponentIndex(c);
        if (component <= last || suffix.size() > 4) {
            AddError(*assembler.diags, suffixAt,
                     "invalid write mask '." + suffix +
                         "' (components must appear once each, in x, y, z, w order)");
            return false;
        }
        last = component;
        mask |= 1u << component;
    }
    operand.mask = mask;
    return true;
}

bool ParseSource(Assembler& assembler, const std::vector<AsmToken>& tokens, size_t& next,
                 Operand& operand)
{
    if (next < tokens.size() && tokens[next].kind == AsmTokenKind::punct &&
        tokens[next].text == "-") {
        operand.negate = true;
        ++next;
    }
    std::string suffix;
    SourceLocation suffixAt;
    if (!ParseOperandBody(assembler, tokens, next, operand, suffix, suffixAt)) return false;
    if (suffix.empty()) return true;
    uint32_t swizzle = 0;
    int component = 0;
    for (size_t channel = 0; channel < 4; ++channel) {
        // A short swizzle repeats its last letter.
        if (channel < suffix.size()) {
            component = ComponentIndex(suffix[channel]);
            if (component < 0 || suffix.size() > 4) {
                AddError(*assembler.diags, suffixAt, "invalid swizzle '." + suffix + "'");
                return false;
            }
        }
        swizzle |= static_cast<uint32_t>(component) << (2 * channel);
    }
    if (!IsPs20Swizzle(swizzle)) {
        AddError(
            *assembler.diags, suffixAt,
            "swizzle '." + suffix +
                "' is not available in ps_2_0 (identity, .x/.y/.z/.w, .yzxw, .zxyw, .wzyx only)");
        return false;
    }
    operand.swizzle = swizzle;
    return true;
}

bool ExpectComma(Assembler& assembler, const std::vector<AsmToken>& tokens, size_t& next)
{
    if (next < tokens.size() && tokens[next].kind == AsmTokenKind::punct &&
        tokens[next].text == ",") {
        ++next;
        return true;
    }
    AddError(*assembler.diags, next < tokens.size() ? tokens[next].at : assembler.lastAt,
             "expected ','");
    return false;
}

bool ExpectEnd(Assembler& assembler, const std::vector<AsmToken>& tokens, size_t next)
{
    if (next == tokens.size()) return true;
    AddError(*assembler.diags, tokens[next].at,
             "unexpected '" + tokens[next].text + "' after the operands");
    return false;
}

bool ParseFloat(Assembler& assembler, const std::vector<AsmToken>& tokens, size_t& next,
                float& value)
{
    bool negative = false;
    if (next < tokens.size() && tokens[next].kind == AsmTokenKind::punct &&
        tokens[next].text == "-") {
        negative = true;
        ++next;
    }
    if (next >= tokens.size() || tokens[next].kind != AsmTokenKind::number) {
        AddError(*assembler.diags, next < tokens.size() ? tokens[next].at : assembler.lastAt,
                 "expected a number");
        return false;
    }
    std::string text = tokens[next].text;
    if (!text.empty() && (text.back() == 'f' || text.back() == 'F')) text.pop_back();
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    if (end != text.c_str() + text.size()) {
        AddError(*assembler.diags, tokens[next].at, "malformed number '" + tokens[next].text + "'");
        return false;
    }
    if (negative) value = -value;  // keeps -0.0 distinct from 0.0
    ++next;
    return true;
}

void Emit(Assembler& assembler, uint32_t token)
{
    assembler.out.tokens.push_back(token);
}

uint32_t FloatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool CheckDeclarationOrder(Assembler& assembler, const AsmToken& token)
{
    if (!assembler.sawInstruction) return true;
    AddError(*assembler.diags, token.at,
             "'" + token.text + "' must come before the first instruction");
    return false;
}

void AssembleDef(Assembler& assembler, const Statement& statement)
{
    const auto& tokens = statement.tokens;
    if (!CheckDeclarationOrder(assembler, tokens[0])) return;
    size_t next = 1;
    Operand dst;
    if (!ParseDestination(assembler, tokens, next, dst)) return;
    if (dst.type != regConst || dst.mask != maskAll) {
        AddError(*assembler.diags, dst.at, "def needs a whole c# register");
        return;
    }
    float values[4];
    for (float& value : values)
        if (!ExpectComma(assembler, tokens, next) || !ParseFloat(assembler, tokens, next, value))
            return;
    if (!ExpectEnd(assembler, tokens, next)) return;
    for (const RegisterUse& existing : assembler.out.constantsDefined) {
        if (existing.index == dst.index) {
            AddError(*assembler.diags, dst.at,
                     "c" + std::to_string(dst.index) + " is defined twice (first at " +
                         std::to_string(existing.at.line) + ":" +
                         std::to_string(existing.at.column) + ")");
            return;
        }
    }
    assembler.out.constantsDefined.push_back({dst.index, dst.at});
    Emit(assembler, InstructionToken(opDef, 0, 5));
    Emit(assembler, DestinationToken(dst, 0));
    for (float value : values) Emit(assembler, FloatBits(value));
}

void AssembleDcl(Assembler& assembler, const Statement& statement, const std::string& textureSuffix)
{
    const auto& tokens = statement.tokens;
    if (!CheckDeclarationOrder(assembler, tokens[0])) return;
    size_t next = 1;
    Operand dst;
    if (!ParseDestination(assembler, tokens, next, dst) || !ExpectEnd(assembler, tokens, next))
        return;
    if (!textureSuffix.empty()) {
        SamplerTextureType type = textureSuffix == "2d"     ? texture2D
                                  : textureSuffix == "cube" ? textureCube
                                                            : textureVolume;
        if (dst.type != regSampler || dst.hasSuffix) {
            AddError(*assembler.diags, dst.at,
                     "dcl_" + textureSuffix + " declares a sampler register s#");
            return;
        }
        for (const SamplerDecl& existing : assembler.out.samplers) {
            if (existing.index == dst.index) {
                AddError(*assembler.diags, dst.at,
                         "s" + std::to_string(dst.index) + " is declared twice");
                return;
            }
        }
        assembler.out.samplers.push_back({dst.index, type, dst.at});
        Emit(assembler, InstructionToken(opDcl, 0, 2));
        Emit(assembler, 0x80000000u | (static_cast<uint32_t>(type) << 27));
        Emit(assembler, DestinationToken(dst, 0));
        return;
    }
    if (dst.type == regSampler) {
        AddError(*assembler.diags, dst.at,
                 "samplers are declared with dcl_2d, dcl_cube or dcl_volume");
        return;
    }
    if (dst.type != regTexture && dst.type != regInput) {
        AddError(*assembler.diags, dst.at, "dcl declares t# or v# registers in ps_2_0");
        return;
    }
    uint32_t& declared = assembler.declaredMask[dst.type][dst.index];
    if (declared != 0) {
        AddError(*assembler.diags, dst.at,
                 RegisterName(dst.type, dst.index) + " is declared twice");
        return;
    }
    declared = dst.mask;
    Emit(assembler, InstructionToken(opDcl, 0, 2));
    Emit(assembler, 0x80000000u);  // usage 0, index 0: ps_2_0 inputs carry no semantic
    Emit(assembler, DestinationToken(dst, 0));
}

// Components of a source that an instruction actually reads.
uint32_t ComponentsRead(const OpcodeInfo& op, const Operand& src, uint32_t dstMask, int coordSize)
{
    int channels[4];
    int count = 0;
    switch (op.read) {
    case ReadPattern::perComponent:
        for (int c = 0; c < 4; ++c)
            if (dstMask & (1u << c)) channels[count++] = c;
        break;
    case ReadPattern::dot3:
        count = 3;
        break;
    case ReadPattern::dot4:
        count = 4;
        break;
    case ReadPattern::replicate:
        count = 1;
        break;
    case ReadPattern::texCoord:
        count = coordSize;
        break;
    }
    if (op.read != ReadPattern::perComponent)
        for (int c = 0; c < count; ++c) channels[c] = c;
    uint32_t mask = 0;
    for (int c = 0; c < count; ++c) mask |= 1u << SwizzleComponent(src.swizzle, channels[c]);
    return mask;
}

void CheckOutputWrite(Assembler& assembler, const OpcodeInfo& op, const Operand& dst,
                      uint32_t resultModifier, const Operand* src)
{
    bool isColor = dst.type == regColorOut;
    const std::string name = RegisterName(dst.type, dst.index);
    if (std::strcmp(op.name, "mov") != 0) {
        AddError(*assembler.diags, dst.at, name + " can only be written by mov");
        return;
    }
    bool& written = isColor ? assembler.colorWritten[dst.index] : assembler.depthWritten;
    if (written) AddError(*assembler.diags, dst.at, name + " is written more than once");
    written = true;
    if (resultModifier != 0 || src->negate)
        AddError(*assembler.diags, dst.at, "a write to " + name + " takes no modifiers");
    if (isColor && (dst.mask != maskAll || src->swizzle != swizzleIdentity))
        AddError(*assembler.diags, dst.at,
                 "a write to " + name + " needs a full mask and no swizzle");
    if (!isColor && (dst.hasSuffix || !IsReplicate(src->swizzle)))
        AddError(*assembler.diags, dst.at,
                 "oDepth takes no mask and needs a replicate swizzle (.x, .y, .z or .w)");
}

// Reported once, at the instruction that goes over the limit.
void CountSlots(Assembler& assembler, const OpcodeInfo& op, SourceLocation at)
{
    int& counter = op.slot == Slot::texture ? assembler.out.textureSlots
                                            : assembler.out.arithmeticSlots;
    int limit = op.slot == Slot::texture ? ps20MaxTextureSlots : ps20MaxArithmeticSlots;
    counter += op.slots;
    if (counter > limit && counter - op.slots <= limit) {
        AddError(*assembler.diags, at,
                 std::string("too many ") + (op.slot == Slot::texture ? "texture" : "arithmetic") +
                     " instruction slots for ps_2_0 (limit " + std::to_string(limit) + ")");
    }
}

bool ParseOperands(Assembler& assembler, const std::vector<AsmToken>& tokens, const OpcodeInfo& op,
                   Operand& dst, Operand src[3])
{
    size_t next = 1;
    if (!ParseDestination(assembler, tokens, next, dst)) return false;
    for (int i = 0; i < op.sources; ++i)
        if (!ExpectComma(assembler, tokens, next) || !ParseSource(assembler, tokens, next, src[i]))
            return false;
    return ExpectEnd(assembler, tokens, next);
}

// What the instruction may write, beyond the output registers' own rules
// (CheckOutputWrite). False when anything was reported.
bool CheckDestination(Assembler& assembler, const OpcodeInfo& op, const Operand& dst,
                      uint32_t resultModifier, const Operand src[3])
{
    bool ok = true;
    auto error = [&](SourceLocation where, const std::string& message) {
        AddError(*assembler.diags, where, message);
        ok = false;
    };
    bool isOutput = dst.type == regColorOut || dst.type == regDepthOut;
    if (!isOutput && dst.type != regTemp)
        error(dst.at, RegisterName(dst.type, dst.index) + " cannot be written");
    if (op.slot == Slot::texture &&
        (dst.type != regTemp || dst.mask != maskAll || (resultModifier & resultSaturate)))
        error(dst.at, std::string(op.name) + " writes a whole r# register without _sat");
    if (std::strcmp(op.name, "pow") == 0 && dst.type == regTemp && src[1].type == regTemp &&
        src[1].index == dst.index)
        error(dst.at, "pow cannot write the register of its exponent");
    return ok;
}

// What each source may be: texld's operands, readable registers, replicate
// swizzles, read ports. Gives texld's coordinate size, which its sampler's
// dcl decides. False when anything was reported.
bool CheckSources(Assembler& assembler, const OpcodeInfo& op, const Operand src[3], int& coordSize)
{
    bool ok = true;
    auto error = [&](SourceLocation where, const std::string& message) {
        AddError(*assembler.diags, where, message);
        ok = false;
    };
    bool isTexld = op.slot == Slot::texture;
    int portsUsed[regSampler + 1] = {};
    std::vector<std::pair<RegisterType, int>> seen;
    for (int i = 0; i < op.sources; ++i) {
        const Operand& operand = src[i];
        const std::string name = RegisterName(operand.type, operand.index);
        if (isTexld && i == 1) {
            if (operand.type != regSampler || operand.negate ||
                operand.swizzle != swizzleIdentity) {
                error(operand.at,
                      std::string(op.name) + " takes a plain s# register as its second source");
                continue;
            }
            auto decl = std::find_if(
                assembler.out.samplers.begin(), assembler.out.samplers.end(),
                [&](const SamplerDecl& sampler) { return sampler.index == operand.index; });
            if (decl == assembler.out.samplers.end()) {
                error(operand.at, name + " is used without a dcl_2d, dcl_cube or dcl_volume");
                continue;
            }
            coordSize = decl->type == texture2D ? 2 : 3;
            if (op.control != 0) coordSize = 4;  // texldp divides by w, texldb biases by w
            continue;
        }
        if (isTexld && (operand.negate || operand.swizzle != swizzleIdentity ||
                        (operand.type != regTexture && operand.type != regTemp))) {
            error(operand.at,
                  std::string(op.name) + " takes a plain t# or r# register as its coordinate");
            continue;
        }
        if (operand.type == regSampler || operand.type == regColorOut ||
            operand.type == regDepthOut) {
            error(operand.at, name + " cannot be read here");
            continue;
        }
        if (op.read == ReadPattern::replicate && !IsReplicate(operand.swizzle)) {
            error(operand.at, std::string(op.name) +
                                  " needs a replicate swizzle (.x, .y, .z or .w) on " + name);
            continue;
        }
        if (std::find(seen.begin(), seen.end(), std::make_pair(operand.type, operand.index)) ==
            seen.end()) {
            seen.emplace_back(operand.type, operand.index);
            const RegisterInfo* info = FindRegisterInfo(operand.type);
            if (++portsUsed[operand.type] > info->readPorts) {
                error(operand.at, std::string("one ps_2_0 instruction can read at most ") +
                                      std::to_string(info->readPorts) + " different " +
                                      RegisterPrefix(operand.type) + "# register" +
                                      (info->readPorts == 1 ? "" : "s"));
            }
        }
    }
    return ok;
}

// That every component read has a value: temps written before, t#/v# declared;
// and the c# read, for the constant table. Stops at the first error.
bool CheckSourceReads(Assembler& assembler, const OpcodeInfo& op, const Operand src[3],
                      uint32_t dstMask, int coordSize)
{
    bool isTexld = op.slot == Slot::texture;
    for (int i = 0; i < op.sources; ++i) {
        const Operand& operand = src[i];
        if (isTexld && i == 1) continue;
        uint32_t reads = ComponentsRead(op, operand, dstMask, coordSize);
        const std::string name = RegisterName(operand.type, operand.index);
        std::string error;
        if (operand.type == regTemp) {
            uint32_t missing = reads & ~assembler.tempWritten[operand.index];
            if (missing) error = name + " is read before it is written";
        } else if (operand.type == regTexture || operand.type == regInput) {
            uint32_t declared = assembler.declaredMask[operand.type][operand.index];
            if (declared == 0)
                error = name + " is used without a dcl";
            else if (reads & ~declared)
                error = name + " reads components its dcl does not declare";
        } else if (operand.type == regConst) {
            bool known =
                std::any_of(assembler.out.constantsRead.begin(), assembler.out.constantsRead.end(),
                            [&](const RegisterUse& read) { return read.index == operand.index; });
            if (!known) assembler.out.constantsRead.push_back({operand.index, operand.at});
        }
        if (!error.empty()) {
            AddError(*assembler.diags, operand.at, error);
            return false;
        }
    }
    return true;
}

void AssembleInstruction(Assembler& assembler, const Statement& statement, const OpcodeInfo& op,
                         uint32_t resultModifier)
{
    const auto& tokens = statement.tokens;
    assembler.sawInstruction = true;
    CountSlots(assembler, op, tokens[0].at);
    if (op.sources == 0) {  // nop
        size_t next = 1;
        if (ExpectEnd(assembler, tokens, next)) Emit(assembler, InstructionToken(op.opcode, 0, 0));
        return;
    }
    Operand dst;
    Operand src[3];
    if (!ParseOperands(assembler, tokens, op, dst, src)) return;

    if (dst.type == regColorOut || dst.type == regDepthOut)
        CheckOutputWrite(assembler, op, dst, resultModifier, &src[0]);
    bool ok = CheckDestination(assembler, op, dst, resultModifier, src);
    int coordSize = 2;
    ok = CheckSources(assembler, op, src, coordSize) && ok;
    // Once the coordinate size is known (texld names its sampler last).
    if (!ok || !CheckSourceReads(assembler, op, src, dst.mask, coordSize)) return;

    if (dst.type == regTemp) assembler.tempWritten[dst.index] |= dst.mask;
    Emit(assembler, InstructionToken(op.opcode, op.control, 1 + static_cast<uint32_t>(op.sources)));
    Emit(assembler, DestinationToken(dst, resultModifier));
    for (int i = 0; i < op.sources; ++i) Emit(assembler, SourceToken(src[i]));
}

void AssembleStatement(Assembler& assembler, const Statement& statement)
{
    const AsmToken& head = statement.tokens[0];
    if (head.kind != AsmTokenKind::word) {
        AddError(*assembler.diags, head.at, "expected an instruction");
        return;
    }
    std::string mnemonic = Lowercase(head.text);
    if (!assembler.sawVersion) {
        assembler.sawVersion = true;
        assembler.versionAt = head.at;
        if (mnemonic != "ps_2_0") {
            assembler.badVersion = true;
            AddError(*assembler.diags, head.at,
                     mnemonic.compare(0, 3, "ps_") == 0 || mnemonic.compare(0, 3, "vs_") == 0
                         ? "only ps_2_0 shaders are supported"
                         : "a shader must start with its version, ps_2_0");
            return;
        }
        if (statement.tokens.size() > 1)
            AddError(*assembler.diags, statement.tokens[1].at, "unexpected text after ps_2_0");
        Emit(assembler, ps20VersionToken);
        return;
    }

    if (mnemonic == "ps_2_0") {
        AddError(*assembler.diags, head.at, "the version may appear only once, first");
        return;
    }

    // Split "name_mod_mod"; dcl_2d/dcl_cube/dcl_volume keep their texture suffix.
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t underscore = mnemonic.find('_', start);
        parts.push_back(mnemonic.substr(start, underscore - start));
        if (underscore == std::string::npos) break;
        start = underscore + 1;
    }
    const std::string& base = parts[0];
    size_t firstModifier = 1;
    std::string textureSuffix;
    if (base == "dcl" && parts.size() > 1 &&
        (parts[1] == "2d" || parts[1] == "cube" || parts[1] == "volume")) {
        textureSuffix = parts[1];
        firstModifier = 2;
    }
    uint32_t resultModifier = 0;
    for (size_t i = firstModifier; i < parts.size(); ++i) {
        if (parts[i] == "sat" && base != "dcl" && base != "def") {
            resultModifier |= resultSaturate;
        } else if (parts[i] == "pp" && base != "dcl" && base != "def") {
            resultModifier |= resultPartialPrecision;
        } else {
            AddError(*assembler.diags, head.at,
                     "unknown modifier '_" + parts[i] + "' on '" + base + "'");
            return;
        }
    }

    if (base == "def") return AssembleDef(assembler, statement);
    if (base == "dcl") return AssembleDcl(assembler, statement, textureSuffix);
    for (const OpcodeInfo& op : opcodeTable)
        if (base == op.name) return AssembleInstruction(assembler, statement, op, resultModifier);
    for (const char* name : notInPs20) {
        if (base == name) {
            AddError(*assembler.diags, head.at,
                     "instruction '" + base + "' is not available in ps_2_0");
            return;
        }
    }
    AddError(*assembler.diags, head.at, "unknown instruction '" + head.text + "'");
}

}  // namespace

AssembledShader AssemblePixelShader(const std::string& text, SourceLocation origin,
                                    Diagnostics& diags)
{
    Assembler assembler;
    assembler.diags = &diags;
    std::vector<AsmToken> tokens = LexAsm(text, origin, diags);
    Statement current;
    for (const AsmToken& token : tokens) {
        assembler.lastAt = token.at;
        if (token.kind != AsmTokenKind::newline) {
            current.tokens.push_back(token);
            continue;
        }
        if (!current.tokens.empty()) AssembleStatement(assembler, current);
        current.tokens.clear();
        if (assembler.badVersion) return assembler.out;
    }
    if (!assembler.sawVersion) {
        AddError(diags, origin, "empty shader; expected ps_2_0");
        return assembler.out;
    }
    // Every ps_2_0 shader must produce a colour, and colour outputs are
    // written from oC0 upwards without gaps. Reported at the version line,
    // which stands for the shader as a whole.
    if (!assembler.colorWritten[0])
        AddError(diags, assembler.versionAt, "the shader never writes oC0");
    for (int i = 1; i < 4; ++i)
        if (assembler.colorWritten[i] && !assembler.colorWritten[i - 1])
            AddError(diags, assembler.versionAt,
                     "oC" + std::to_string(i) + " is written but oC" + std::to_string(i - 1) +
                         " is not");
    Emit(assembler, shaderEndToken);
    return assembler.out;
}

}  // namespace effectc
