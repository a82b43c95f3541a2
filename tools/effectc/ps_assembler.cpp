#include "ps_assembler.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace effectc {
namespace {

// ---------------------------------------------------------------- lexing

enum class AsmTokenKind { Word, Number, Punct, Newline };

struct AsmToken {
    AsmTokenKind kind;
    std::string text;
    SourceLocation at;
};

std::vector<AsmToken> lexAsm(const std::string& text, SourceLocation origin, Diagnostics& diags)
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
            out.push_back({AsmTokenKind::Newline, "", at});
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
            AsmToken t{AsmTokenKind::Word, "", at};
            while (i < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
                t.text += text[i];
                step();
            }
            out.push_back(t);
        } else if (std::isdigit(static_cast<unsigned char>(ch)) ||
                   (ch == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) {
            AsmToken t{AsmTokenKind::Number, "", at};
            while (i < text.size()) {
                char c = text[i];
                bool exponentSign = (c == '+' || c == '-') && !t.text.empty() &&
                                    (t.text.back() == 'e' || t.text.back() == 'E');
                if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || exponentSign))
                    break;
                t.text += c;
                step();
            }
            out.push_back(t);
        } else if (ch == ',' || ch == '.' || ch == '-') {
            out.push_back({AsmTokenKind::Punct, std::string(1, ch), at});
            step();
        } else {
            addError(diags, at,
                     std::string("unexpected character '") + ch + "' in shader assembly");
            step();
        }
    }
    out.push_back({AsmTokenKind::Newline, "", at});
    return out;
}

// ---------------------------------------------------------------- tables

enum class Slot { None, Arithmetic, Texture };

// How an instruction's sources are read, for the temp-initialisation check.
enum class ReadPattern { PerComponent, Dot3, Dot4, Replicate, TexCoord };

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
    {"nop", 0x00, 0, 0, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"mov", 0x01, 0, 1, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"add", 0x02, 0, 2, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"sub", 0x03, 0, 2, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"mad", 0x04, 0, 3, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"mul", 0x05, 0, 2, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"rcp", 0x06, 0, 1, 1, Slot::Arithmetic, ReadPattern::Replicate},
    {"rsq", 0x07, 0, 1, 1, Slot::Arithmetic, ReadPattern::Replicate},
    {"dp3", 0x08, 0, 2, 1, Slot::Arithmetic, ReadPattern::Dot3},
    {"dp4", 0x09, 0, 2, 1, Slot::Arithmetic, ReadPattern::Dot4},
    {"min", 0x0A, 0, 2, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"max", 0x0B, 0, 2, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"exp", 0x0E, 0, 1, 1, Slot::Arithmetic, ReadPattern::Replicate},
    {"log", 0x0F, 0, 1, 1, Slot::Arithmetic, ReadPattern::Replicate},
    {"lrp", 0x12, 0, 3, 2, Slot::Arithmetic, ReadPattern::PerComponent},
    {"frc", 0x13, 0, 1, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"pow", 0x20, 0, 2, 3, Slot::Arithmetic, ReadPattern::Replicate},
    {"abs", 0x23, 0, 1, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"cmp", 0x58, 0, 3, 1, Slot::Arithmetic, ReadPattern::PerComponent},
    {"texld", 0x42, 0, 2, 1, Slot::Texture, ReadPattern::TexCoord},
    {"texldp", 0x42, 1, 2, 1, Slot::Texture, ReadPattern::TexCoord},
    {"texldb", 0x42, 2, 2, 1, Slot::Texture, ReadPattern::TexCoord},
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

const RegisterInfo* registerInfo(RegisterType type)
{
    for (const RegisterInfo& r : registerTable)
        if (r.type == type) return &r;
    return nullptr;
}

const char* registerPrefix(RegisterType type)
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

std::string registerName(RegisterType type, int index)
{
    if (type == regDepthOut) return "oDepth";
    return registerPrefix(type) + std::to_string(index);
}

// ---------------------------------------------------------------- encoding

uint32_t registerTypeBits(RegisterType type)
{
    // The type is split: bits 0-2 go to 28-30, bits 3-4 to 11-12.
    return ((type & 7u) << 28) | ((type & 0x18u) << 8);
}

uint32_t instructionToken(uint32_t opcode, uint32_t control, uint32_t length)
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

uint32_t destinationToken(const Operand& o, uint32_t resultModifier)
{
    return 0x80000000u | registerTypeBits(o.type) | static_cast<uint32_t>(o.index) |
           (o.mask << 16) | (resultModifier << 20);
}

uint32_t sourceToken(const Operand& o)
{
    return 0x80000000u | registerTypeBits(o.type) | static_cast<uint32_t>(o.index) |
           (o.swizzle << 16) | ((o.negate ? sourceNegate : 0u) << 24);
}

int swizzleComponent(uint32_t swizzle, int channel)
{
    return (swizzle >> (2 * channel)) & 3;
}

bool isReplicate(uint32_t swizzle)
{
    return swizzle == 0x00 || swizzle == 0x55 || swizzle == 0xAA || swizzle == 0xFF;
}

// ps_2_0 has no arbitrary swizzle: identity, the four replicates and three
// rotations are all the hardware is required to support.
bool isPs20Swizzle(uint32_t swizzle)
{
    return swizzle == swizzleIdentity || isReplicate(swizzle) || swizzle == 0xC9 ||
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

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int componentIndex(char c)
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

bool parseRegisterWord(Assembler& a, const AsmToken& t, Operand& o)
{
    o.at = t.at;
    std::string w = lower(t.text);
    if (w == "odepth") {
        o.type = regDepthOut;
        o.index = 0;
        return true;
    }
    if (w.find('_') != std::string::npos) {
        addError(*a.diags, t.at,
                 "register modifier in '" + t.text +
                     "' is not available in ps_2_0 (only '-' negation; use the abs instruction)");
        return false;
    }
    for (const RegisterInfo& r : registerTable) {
        size_t n = std::strlen(r.prefix);
        if (w.size() <= n || w.compare(0, n, r.prefix) != 0) continue;
        std::string digits = w.substr(n);
        if (!std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            continue;
        int index = std::atoi(digits.c_str());
        if (digits.size() > 3 || index >= r.count) {
            addError(*a.diags, t.at,
                     "register '" + t.text + "' is out of range for ps_2_0 (" +
                         registerPrefix(r.type) + "0-" + registerPrefix(r.type) +
                         std::to_string(r.count - 1) + ")");
            return false;
        }
        o.type = r.type;
        o.index = index;
        return true;
    }
    addError(*a.diags, t.at, "'" + t.text + "' is not a ps_2_0 register");
    return false;
}

// Reads "reg[.suffix]" starting at tokens[k]; advances k.
bool parseOperandBody(Assembler& a, const std::vector<AsmToken>& toks, size_t& k, Operand& o,
                      std::string& suffix, SourceLocation& suffixAt)
{
    if (k >= toks.size() || toks[k].kind != AsmTokenKind::Word) {
        SourceLocation at = k < toks.size() ? toks[k].at : a.lastAt;
        addError(*a.diags, at, "expected a register");
        return false;
    }
    if (!parseRegisterWord(a, toks[k], o)) return false;
    ++k;
    suffix.clear();
    if (k < toks.size() && toks[k].kind == AsmTokenKind::Punct && toks[k].text == ".") {
        ++k;
        if (k >= toks.size() || toks[k].kind != AsmTokenKind::Word) {
            addError(*a.diags, toks[k - 1].at, "expected a write mask or swizzle after '.'");
            return false;
        }
        suffix = lower(toks[k].text);
        suffixAt = toks[k].at;
        o.hasSuffix = true;
        ++k;
    }
    return true;
}

bool parseDestination(Assembler& a, const std::vector<AsmToken>& toks, size_t& k, Operand& o)
{
    std::string suffix;
    SourceLocation suffixAt;
    if (!parseOperandBody(a, toks, k, o, suffix, suffixAt)) return false;
    if (suffix.empty()) return true;
    uint32_t mask = 0;
    int last = -1;
    for (char c : suffix) {
        int comp = componentIndex(c);
        if (comp <= last || suffix.size() > 4) {
            addError(*a.diags, suffixAt,
                     "invalid write mask '." + suffix +
                         "' (components must appear once each, in x, y, z, w order)");
            return false;
        }
        last = comp;
        mask |= 1u << comp;
    }
    o.mask = mask;
    return true;
}

bool parseSource(Assembler& a, const std::vector<AsmToken>& toks, size_t& k, Operand& o)
{
    if (k < toks.size() && toks[k].kind == AsmTokenKind::Punct && toks[k].text == "-") {
        o.negate = true;
        ++k;
    }
    std::string suffix;
    SourceLocation suffixAt;
    if (!parseOperandBody(a, toks, k, o, suffix, suffixAt)) return false;
    if (suffix.empty()) return true;
    uint32_t swizzle = 0;
    int comp = 0;
    for (size_t ch = 0; ch < 4; ++ch) {
        if (ch < suffix.size()) {
            comp = componentIndex(suffix[ch]);
            if (comp < 0 || suffix.size() > 4) {
                addError(*a.diags, suffixAt, "invalid swizzle '." + suffix + "'");
                return false;
            }
        }
        swizzle |= static_cast<uint32_t>(comp)
                   << (2 * ch);  // a short swizzle repeats its last letter
    }
    if (!isPs20Swizzle(swizzle)) {
        addError(
            *a.diags, suffixAt,
            "swizzle '." + suffix +
                "' is not available in ps_2_0 (identity, .x/.y/.z/.w, .yzxw, .zxyw, .wzyx only)");
        return false;
    }
    o.swizzle = swizzle;
    return true;
}

bool expectComma(Assembler& a, const std::vector<AsmToken>& toks, size_t& k)
{
    if (k < toks.size() && toks[k].kind == AsmTokenKind::Punct && toks[k].text == ",") {
        ++k;
        return true;
    }
    addError(*a.diags, k < toks.size() ? toks[k].at : a.lastAt, "expected ','");
    return false;
}

bool expectEnd(Assembler& a, const std::vector<AsmToken>& toks, size_t k)
{
    if (k == toks.size()) return true;
    addError(*a.diags, toks[k].at, "unexpected '" + toks[k].text + "' after the operands");
    return false;
}

bool parseFloat(Assembler& a, const std::vector<AsmToken>& toks, size_t& k, float& value)
{
    bool negative = false;
    if (k < toks.size() && toks[k].kind == AsmTokenKind::Punct && toks[k].text == "-") {
        negative = true;
        ++k;
    }
    if (k >= toks.size() || toks[k].kind != AsmTokenKind::Number) {
        addError(*a.diags, k < toks.size() ? toks[k].at : a.lastAt, "expected a number");
        return false;
    }
    std::string text = toks[k].text;
    if (!text.empty() && (text.back() == 'f' || text.back() == 'F')) text.pop_back();
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    if (end != text.c_str() + text.size()) {
        addError(*a.diags, toks[k].at, "malformed number '" + toks[k].text + "'");
        return false;
    }
    if (negative) value = -value;  // keeps -0.0 distinct from 0.0
    ++k;
    return true;
}

void emit(Assembler& a, uint32_t token)
{
    a.out.tokens.push_back(token);
}

uint32_t floatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

bool checkDeclarationOrder(Assembler& a, const AsmToken& t)
{
    if (!a.sawInstruction) return true;
    addError(*a.diags, t.at, "'" + t.text + "' must come before the first instruction");
    return false;
}

void assembleDef(Assembler& a, const Statement& s)
{
    const auto& toks = s.tokens;
    if (!checkDeclarationOrder(a, toks[0])) return;
    size_t k = 1;
    Operand dst;
    if (!parseDestination(a, toks, k, dst)) return;
    if (dst.type != regConst || dst.mask != maskAll) {
        addError(*a.diags, dst.at, "def needs a whole c# register");
        return;
    }
    float v[4];
    for (float& f : v)
        if (!expectComma(a, toks, k) || !parseFloat(a, toks, k, f)) return;
    if (!expectEnd(a, toks, k)) return;
    for (const RegisterUse& d : a.out.constantsDefined) {
        if (d.index == dst.index) {
            addError(*a.diags, dst.at,
                     "c" + std::to_string(dst.index) + " is defined twice (first at " +
                         std::to_string(d.at.line) + ":" + std::to_string(d.at.column) + ")");
            return;
        }
    }
    a.out.constantsDefined.push_back({dst.index, dst.at});
    emit(a, instructionToken(opDef, 0, 5));
    emit(a, destinationToken(dst, 0));
    for (float f : v) emit(a, floatBits(f));
}

void assembleDcl(Assembler& a, const Statement& s, const std::string& textureSuffix)
{
    const auto& toks = s.tokens;
    if (!checkDeclarationOrder(a, toks[0])) return;
    size_t k = 1;
    Operand dst;
    if (!parseDestination(a, toks, k, dst) || !expectEnd(a, toks, k)) return;
    if (!textureSuffix.empty()) {
        SamplerTextureType type = textureSuffix == "2d"     ? texture2D
                                  : textureSuffix == "cube" ? textureCube
                                                            : textureVolume;
        if (dst.type != regSampler || dst.hasSuffix) {
            addError(*a.diags, dst.at, "dcl_" + textureSuffix + " declares a sampler register s#");
            return;
        }
        for (const SamplerDecl& d : a.out.samplers) {
            if (d.index == dst.index) {
                addError(*a.diags, dst.at, "s" + std::to_string(dst.index) + " is declared twice");
                return;
            }
        }
        a.out.samplers.push_back({dst.index, type, dst.at});
        emit(a, instructionToken(opDcl, 0, 2));
        emit(a, 0x80000000u | (static_cast<uint32_t>(type) << 27));
        emit(a, destinationToken(dst, 0));
        return;
    }
    if (dst.type == regSampler) {
        addError(*a.diags, dst.at, "samplers are declared with dcl_2d, dcl_cube or dcl_volume");
        return;
    }
    if (dst.type != regTexture && dst.type != regInput) {
        addError(*a.diags, dst.at, "dcl declares t# or v# registers in ps_2_0");
        return;
    }
    uint32_t& declared = a.declaredMask[dst.type][dst.index];
    if (declared != 0) {
        addError(*a.diags, dst.at, registerName(dst.type, dst.index) + " is declared twice");
        return;
    }
    declared = dst.mask;
    emit(a, instructionToken(opDcl, 0, 2));
    emit(a, 0x80000000u);  // usage 0, index 0: ps_2_0 inputs carry no semantic
    emit(a, destinationToken(dst, 0));
}

// Components of a source that an instruction actually reads.
uint32_t componentsRead(const OpcodeInfo& op, const Operand& src, uint32_t dstMask, int coordSize)
{
    int channels[4];
    int n = 0;
    switch (op.read) {
    case ReadPattern::PerComponent:
        for (int c = 0; c < 4; ++c)
            if (dstMask & (1u << c)) channels[n++] = c;
        break;
    case ReadPattern::Dot3:
        n = 3;
        break;
    case ReadPattern::Dot4:
        n = 4;
        break;
    case ReadPattern::Replicate:
        n = 1;
        break;
    case ReadPattern::TexCoord:
        n = coordSize;
        break;
    }
    if (op.read != ReadPattern::PerComponent)
        for (int c = 0; c < n; ++c) channels[c] = c;
    uint32_t mask = 0;
    for (int c = 0; c < n; ++c) mask |= 1u << swizzleComponent(src.swizzle, channels[c]);
    return mask;
}

void checkOutputWrite(Assembler& a, const OpcodeInfo& op, const Operand& dst,
                      uint32_t resultModifier, const Operand* src)
{
    bool isColor = dst.type == regColorOut;
    const std::string name = registerName(dst.type, dst.index);
    if (std::strcmp(op.name, "mov") != 0) {
        addError(*a.diags, dst.at, name + " can only be written by mov");
        return;
    }
    bool& written = isColor ? a.colorWritten[dst.index] : a.depthWritten;
    if (written) addError(*a.diags, dst.at, name + " is written more than once");
    written = true;
    if (resultModifier != 0 || src->negate)
        addError(*a.diags, dst.at, "a write to " + name + " takes no modifiers");
    if (isColor && (dst.mask != maskAll || src->swizzle != swizzleIdentity))
        addError(*a.diags, dst.at, "a write to " + name + " needs a full mask and no swizzle");
    if (!isColor && (dst.hasSuffix || !isReplicate(src->swizzle)))
        addError(*a.diags, dst.at,
                 "oDepth takes no mask and needs a replicate swizzle (.x, .y, .z or .w)");
}

void assembleInstruction(Assembler& a, const Statement& s, const OpcodeInfo& op,
                         uint32_t resultModifier)
{
    const auto& toks = s.tokens;
    const SourceLocation at = toks[0].at;
    a.sawInstruction = true;

    int& counter = op.slot == Slot::Texture ? a.out.textureSlots : a.out.arithmeticSlots;
    int limit = op.slot == Slot::Texture ? ps20MaxTextureSlots : ps20MaxArithmeticSlots;
    counter += op.slots;
    if (counter > limit && counter - op.slots <= limit) {
        addError(*a.diags, at,
                 std::string("too many ") + (op.slot == Slot::Texture ? "texture" : "arithmetic") +
                     " instruction slots for ps_2_0 (limit " + std::to_string(limit) + ")");
    }

    size_t k = 1;
    if (op.sources == 0) {  // nop
        if (expectEnd(a, toks, k)) emit(a, instructionToken(op.opcode, 0, 0));
        return;
    }
    Operand dst;
    Operand src[3];
    if (!parseDestination(a, toks, k, dst)) return;
    for (int i = 0; i < op.sources; ++i)
        if (!expectComma(a, toks, k) || !parseSource(a, toks, k, src[i])) return;
    if (!expectEnd(a, toks, k)) return;

    bool ok = true;
    auto error = [&](SourceLocation where, const std::string& message) {
        addError(*a.diags, where, message);
        ok = false;
    };

    // Destination.
    bool isTexld = op.slot == Slot::Texture;
    if (dst.type == regColorOut || dst.type == regDepthOut) {
        checkOutputWrite(a, op, dst, resultModifier, &src[0]);
    } else if (dst.type != regTemp) {
        error(dst.at, registerName(dst.type, dst.index) + " cannot be written");
    }
    if (isTexld &&
        (dst.type != regTemp || dst.mask != maskAll || (resultModifier & resultSaturate)))
        error(dst.at, std::string(op.name) + " writes a whole r# register without _sat");
    if (std::strcmp(op.name, "pow") == 0 && dst.type == regTemp && src[1].type == regTemp &&
        src[1].index == dst.index)
        error(dst.at, "pow cannot write the register of its exponent");

    // Sources.
    int coordSize = 2;
    int portsUsed[regSampler + 1] = {};
    std::vector<std::pair<RegisterType, int>> seen;
    for (int i = 0; i < op.sources; ++i) {
        const Operand& o = src[i];
        const std::string name = registerName(o.type, o.index);
        if (isTexld && i == 1) {
            if (o.type != regSampler || o.negate || o.swizzle != swizzleIdentity) {
                error(o.at,
                      std::string(op.name) + " takes a plain s# register as its second source");
                continue;
            }
            auto decl = std::find_if(a.out.samplers.begin(), a.out.samplers.end(),
                                     [&](const SamplerDecl& d) { return d.index == o.index; });
            if (decl == a.out.samplers.end()) {
                error(o.at, name + " is used without a dcl_2d, dcl_cube or dcl_volume");
                continue;
            }
            coordSize = decl->type == texture2D ? 2 : 3;
            if (op.control != 0) coordSize = 4;  // texldp divides by w, texldb biases by w
            continue;
        }
        if (isTexld && (o.negate || o.swizzle != swizzleIdentity ||
                        (o.type != regTexture && o.type != regTemp))) {
            error(o.at,
                  std::string(op.name) + " takes a plain t# or r# register as its coordinate");
            continue;
        }
        if (o.type == regSampler || o.type == regColorOut || o.type == regDepthOut) {
            error(o.at, name + " cannot be read here");
            continue;
        }
        if (op.read == ReadPattern::Replicate && !isReplicate(o.swizzle)) {
            error(o.at, std::string(op.name) + " needs a replicate swizzle (.x, .y, .z or .w) on " +
                            name);
            continue;
        }
        if (std::find(seen.begin(), seen.end(), std::make_pair(o.type, o.index)) == seen.end()) {
            seen.emplace_back(o.type, o.index);
            const RegisterInfo* info = registerInfo(o.type);
            if (++portsUsed[o.type] > info->readPorts) {
                error(o.at, std::string("one ps_2_0 instruction can read at most ") +
                                std::to_string(info->readPorts) + " different " +
                                registerPrefix(o.type) + "# register" +
                                (info->readPorts == 1 ? "" : "s"));
            }
        }
    }
    // Second pass once the coordinate size is known (texld reads its sampler last).
    for (int i = 0; ok && i < op.sources; ++i) {
        const Operand& o = src[i];
        if (isTexld && i == 1) continue;
        uint32_t reads = componentsRead(op, o, dst.mask, coordSize);
        const std::string name = registerName(o.type, o.index);
        if (o.type == regTemp) {
            uint32_t missing = reads & ~a.tempWritten[o.index];
            if (missing) error(o.at, name + " is read before it is written");
        } else if (o.type == regTexture || o.type == regInput) {
            uint32_t declared = a.declaredMask[o.type][o.index];
            if (declared == 0)
                error(o.at, name + " is used without a dcl");
            else if (reads & ~declared)
                error(o.at, name + " reads components its dcl does not declare");
        } else if (o.type == regConst) {
            bool known = std::any_of(a.out.constantsRead.begin(), a.out.constantsRead.end(),
                                     [&](const RegisterUse& u) { return u.index == o.index; });
            if (!known) a.out.constantsRead.push_back({o.index, o.at});
        }
    }
    if (!ok) return;

    if (dst.type == regTemp) a.tempWritten[dst.index] |= dst.mask;
    emit(a, instructionToken(op.opcode, op.control, 1 + static_cast<uint32_t>(op.sources)));
    emit(a, destinationToken(dst, resultModifier));
    for (int i = 0; i < op.sources; ++i) emit(a, sourceToken(src[i]));
}

void assembleStatement(Assembler& a, const Statement& s)
{
    const AsmToken& head = s.tokens[0];
    if (head.kind != AsmTokenKind::Word) {
        addError(*a.diags, head.at, "expected an instruction");
        return;
    }
    std::string mnemonic = lower(head.text);
    if (!a.sawVersion) {
        a.sawVersion = true;
        a.versionAt = head.at;
        if (mnemonic != "ps_2_0") {
            a.badVersion = true;
            addError(*a.diags, head.at,
                     mnemonic.compare(0, 3, "ps_") == 0 || mnemonic.compare(0, 3, "vs_") == 0
                         ? "only ps_2_0 shaders are supported"
                         : "a shader must start with its version, ps_2_0");
            return;
        }
        if (s.tokens.size() > 1) addError(*a.diags, s.tokens[1].at, "unexpected text after ps_2_0");
        emit(a, ps20VersionToken);
        return;
    }

    if (mnemonic == "ps_2_0") {
        addError(*a.diags, head.at, "the version may appear only once, first");
        return;
    }

    // Split "name_mod_mod"; dcl_2d/dcl_cube/dcl_volume keep their texture suffix.
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t u = mnemonic.find('_', start);
        parts.push_back(mnemonic.substr(start, u - start));
        if (u == std::string::npos) break;
        start = u + 1;
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
            addError(*a.diags, head.at, "unknown modifier '_" + parts[i] + "' on '" + base + "'");
            return;
        }
    }

    if (base == "def") return assembleDef(a, s);
    if (base == "dcl") return assembleDcl(a, s, textureSuffix);
    for (const OpcodeInfo& op : opcodeTable)
        if (base == op.name) return assembleInstruction(a, s, op, resultModifier);
    for (const char* name : notInPs20) {
        if (base == name) {
            addError(*a.diags, head.at, "instruction '" + base + "' is not available in ps_2_0");
            return;
        }
    }
    addError(*a.diags, head.at, "unknown instruction '" + head.text + "'");
}

}  // namespace

AssembledShader assemblePixelShader(const std::string& text, SourceLocation origin,
                                    Diagnostics& diags)
{
    Assembler a;
    a.diags = &diags;
    std::vector<AsmToken> toks = lexAsm(text, origin, diags);
    Statement current;
    for (const AsmToken& t : toks) {
        a.lastAt = t.at;
        if (t.kind != AsmTokenKind::Newline) {
            current.tokens.push_back(t);
            continue;
        }
        if (!current.tokens.empty()) assembleStatement(a, current);
        current.tokens.clear();
        if (a.badVersion) return a.out;
    }
    if (!a.sawVersion) {
        addError(diags, origin, "empty shader; expected ps_2_0");
        return a.out;
    }
    // Every ps_2_0 shader must produce a colour, and colour outputs are
    // written from oC0 upwards without gaps. Reported at the version line,
    // which stands for the shader as a whole.
    if (!a.colorWritten[0]) addError(diags, a.versionAt, "the shader never writes oC0");
    for (int i = 1; i < 4; ++i)
        if (a.colorWritten[i] && !a.colorWritten[i - 1])
            addError(diags, a.versionAt,
                     "oC" + std::to_string(i) + " is written but oC" + std::to_string(i - 1) +
                         " is not");
    emit(a, shaderEndToken);
    return a.out;
}

}  // namespace effectc
