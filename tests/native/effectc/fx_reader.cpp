#include "fx_reader.h"

#include <algorithm>

namespace test {
namespace {

constexpr uint32_t classVector = 1, classObject = 4, classStruct = 5;
constexpr uint32_t noIndex = 0xFFFFFFFFu;
// Struct members and state values that are samplers are followed
// recursively; offsets may point backwards, so a loop must end somewhere.
constexpr int maxDepth = 8;

struct Reader {
    const std::vector<uint8_t>& blob;
    size_t areaStart = 8;
    uint64_t areaSize = 0;
    uint32_t objectCount = 0;
    std::string error;
    uint64_t pos = 0;  // the next word of the structured part, past the area
};

bool fail(Reader& r, const std::string& message)
{
    r.error = message;
    return false;
}

bool word(Reader& r, uint64_t fileOffset, uint32_t& v)
{
    if (fileOffset + 4 > r.blob.size())
        return fail(r, "read past the end at file offset " + std::to_string(fileOffset));
    v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | r.blob[fileOffset + k];
    return true;
}

// A word at an offset into the unstructured area.
bool areaWord(Reader& r, uint64_t offset, uint32_t& v)
{
    if (offset % 4 != 0 || offset + 4 > r.areaSize)
        return fail(r, "offset " + std::to_string(offset) + " outside the unstructured area");
    return word(r, r.areaStart + offset, v);
}

bool areaString(Reader& r, uint32_t offset, std::string& s)
{
    uint32_t length = 0;
    if (!areaWord(r, offset, length)) return false;
    if (uint64_t{offset} + 4 + length > r.areaSize)
        return fail(r, "string at " + std::to_string(offset) + " runs past the area");
    s.clear();
    if (length == 0) return true;
    const uint8_t* p = &r.blob[r.areaStart + offset + 4];
    if (p[length - 1] != 0)
        return fail(r, "string at " + std::to_string(offset) + " lacks its NUL");
    s.assign(reinterpret_cast<const char*>(p), length - 1);
    return true;
}

bool isNumeric(uint32_t cls)
{
    return cls <= 3;
}
bool isSampler(uint32_t type)
{
    return type >= 10 && type <= 14;
}

bool checkObject(Reader& r, uint32_t id)
{
    if (id == 0 || id >= r.objectCount)
        return fail(r, "object id " + std::to_string(id) + " outside the object table");
    return true;
}

// Reads the typedef at `offset`; `end` receives the offset just past it,
// where the next member of an enclosing struct begins.
bool typedefAt(Reader& r, uint64_t offset, FxType& t, uint64_t& end, int depth)
{
    if (depth > maxDepth) return fail(r, "types nested deeper than " + std::to_string(maxDepth));
    uint32_t nameOffset = 0, semanticOffset = 0;
    if (!areaWord(r, offset, t.type) || !areaWord(r, offset + 4, t.cls) ||
        !areaWord(r, offset + 8, nameOffset) || !areaWord(r, offset + 12, semanticOffset) ||
        !areaWord(r, offset + 16, t.elements))
        return false;
    if (nameOffset && !areaString(r, nameOffset, t.name)) return false;
    if (semanticOffset && !areaString(r, semanticOffset, t.semantic)) return false;
    end = offset + 20;
    if (isNumeric(t.cls)) {
        uint32_t a = 0, b = 0;
        if (!areaWord(r, end, a) || !areaWord(r, end + 4, b)) return false;
        end += 8;
        t.rows = t.cls == classVector ? b : a;  // vectors store columns first
        t.columns = t.cls == classVector ? a : b;
        if (t.rows < 1 || t.rows > 4 || t.columns < 1 || t.columns > 4)
            return fail(r, "numeric type " + std::to_string(t.rows) + "x" +
                               std::to_string(t.columns) + " at " + std::to_string(offset));
    } else if (t.cls == classStruct) {
        // The member typedefs follow the count once, however many elements.
        uint32_t count = 0;
        if (!areaWord(r, end, count)) return false;
        end += 4;
        if (count == 0) return fail(r, "struct without members at " + std::to_string(offset));
        if (end + uint64_t{count} * 20 > r.areaSize)  // every typedef takes at least 20 bytes
            return fail(r, "struct members at " + std::to_string(offset) + " run past the area");
        for (uint32_t k = 0; k < count; ++k) {
            FxType m;
            if (!typedefAt(r, end, m, end, depth + 1)) return false;
            if (m.name.empty())
                return fail(r, "unnamed struct member at " + std::to_string(offset));
            t.members.push_back(m);
        }
    } else if (t.cls != classObject) {
        return fail(r, "unknown class " + std::to_string(t.cls) + " at " + std::to_string(offset));
    }
    return true;
}

// Element counts multiply through nested arrays of structs; anything past
// this is past any area, and the product must not wrap to a small size.
constexpr uint64_t sizeCap = 1ull << 40;

uint64_t times(uint64_t count, uint64_t bytes)
{
    return bytes && count > sizeCap / bytes ? sizeCap : count * bytes;
}

// Smallest value one element of `t` can take, so an element count can be
// checked against the area before anything is read.
uint64_t elementBytes(const FxType& t)
{
    if (isNumeric(t.cls)) return 4ull * t.rows * t.columns;
    if (t.cls != classStruct) return 4;  // an object id, or a sampler's state count
    uint64_t sum = 0;
    for (const FxType& m : t.members)
        sum = std::min(sizeCap, sum + times(m.elements ? m.elements : 1, elementBytes(m)));
    return sum;
}

bool stateAt(Reader& r, uint64_t at, bool inArea, FxStateRecord& s, int depth);

// Reads the value of `t` at `at` (advanced past it): numeric words and object
// ids into `words`, sampler states into `states`.
bool valueAt(Reader& r, const FxType& t, uint64_t& at, std::vector<uint32_t>& words,
             std::vector<FxStateRecord>& states, int depth)
{
    const uint64_t count = t.elements ? t.elements : 1;
    if (at + times(count, elementBytes(t)) > r.areaSize)
        return fail(r, "value of " + std::to_string(count) + " element(s) at " +
                           std::to_string(at) + " runs past the area");
    for (uint64_t e = 0; e < count; ++e) {
        if (t.cls == classStruct) {
            for (const FxType& m : t.members)
                if (!valueAt(r, m, at, words, states, depth)) return false;
        } else if (isNumeric(t.cls)) {
            for (uint32_t k = 0; k < t.rows * t.columns; ++k, at += 4) {
                uint32_t v = 0;
                if (!areaWord(r, at, v)) return false;
                words.push_back(v);
            }
        } else if (isSampler(t.type)) {  // a state list: count, then (op, index, typedef, value)
            if (depth > maxDepth)
                return fail(r, "sampler values nested deeper than " + std::to_string(maxDepth));
            uint32_t n = 0;
            if (!areaWord(r, at, n)) return false;
            if (at + 4 + uint64_t{n} * 16 > r.areaSize)
                return fail(r, "sampler states at " + std::to_string(at) + " run past the area");
            words.push_back(n);
            at += 4;
            for (uint32_t k = 0; k < n; ++k, at += 16) {
                FxStateRecord s;
                if (!stateAt(r, at, true, s, depth + 1)) return false;
                states.push_back(s);
            }
        } else {
            uint32_t id = 0;
            if (!areaWord(r, at, id) || !checkObject(r, id)) return false;
            words.push_back(id);
            at += 4;
        }
    }
    return true;
}

// A state: op, index, typedef offset, value offset; in a pass (file offset)
// or inside a sampler value (area offset).
bool stateAt(Reader& r, uint64_t at, bool inArea, FxStateRecord& s, int depth)
{
    uint32_t fields[4] = {};
    for (int k = 0; k < 4; ++k)
        if (!(inArea ? areaWord(r, at + 4 * k, fields[k]) : word(r, at + 4 * k, fields[k])))
            return false;
    s.op = fields[0];
    s.index = fields[1];
    uint64_t end = 0, valueOffset = fields[3];
    std::vector<uint32_t> words;
    std::vector<FxStateRecord> nested;
    if (!typedefAt(r, fields[2], s.type, end, 0) ||
        !valueAt(r, s.type, valueOffset, words, nested, depth))
        return false;
    s.value = words.empty() ? 0 : words[0];
    return true;
}

// Annotation pairs (typedef offset, value offset) in the structured area.
bool annotationsAt(Reader& r, uint64_t& pos, uint32_t count, std::vector<FxAnnotationRecord>& out)
{
    for (uint32_t k = 0; k < count; ++k, pos += 8) {
        uint32_t typeOffset = 0, valueOffset = 0;
        if (!word(r, pos, typeOffset) || !word(r, pos + 4, valueOffset)) return false;
        FxAnnotationRecord a;
        uint64_t end = 0, at = valueOffset;
        std::vector<FxStateRecord> states;
        if (!typedefAt(r, typeOffset, a.type, end, 0) ||
            !valueAt(r, a.type, at, a.value, states, 0))
            return false;
        if (a.type.name.empty()) return fail(r, "unnamed annotation");
        out.push_back(a);
    }
    return true;
}

// The sampler states a parameter-level resource addresses: element `element`
// of a sampler parameter, whose value holds each element's state count.
bool addressesSamplerState(const FxParameterRecord& p, uint32_t element, uint32_t state)
{
    if (!isSampler(p.type.type) || p.type.cls != classObject) return false;
    uint32_t e = element == noIndex ? 0 : element;
    if (e >= p.value.size()) return false;
    return state < p.value[e];
}

// The next word of the structured part, moving on.
bool next(Reader& r, uint32_t& v)
{
    const bool ok = word(r, r.pos, v);
    r.pos += 4;
    return ok;
}

// An object's or resource's bytes, padded to whole words in the file.
bool data(Reader& r, uint32_t size, std::vector<uint8_t>& bytes)
{
    if (r.pos + size > r.blob.size())
        return fail(r, "data of " + std::to_string(size) + " bytes past the end");
    bytes.assign(r.blob.begin() + r.pos, r.blob.begin() + r.pos + size);
    r.pos += (uint64_t{size} + 3) / 4 * 4;
    return true;
}

// Tag, unstructured area (starting with a zero word) and the counts.
bool readHeader(Reader& r, uint32_t& parameterCount, uint32_t& techniqueCount, FxFile& out)
{
    uint32_t tag = 0, areaSize = 0;
    if (!word(r, 0, tag) || !word(r, 4, areaSize)) return false;
    if (tag != 0xFEFF0901u) return fail(r, "bad tag");
    if (areaSize % 4 || 8ull + areaSize > r.blob.size()) return fail(r, "bad area size");
    r.areaSize = areaSize;
    uint32_t zero = 1;
    if (!areaWord(r, 0, zero) || zero != 0) return fail(r, "U+0 must be a zero word");
    r.pos = 8ull + areaSize;
    if (!next(r, parameterCount) || !next(r, techniqueCount) || !next(r, out.shaderCount) ||
        !next(r, out.objectCount))
        return false;
    r.objectCount = out.objectCount;
    return true;
}

bool readParameter(Reader& r, FxParameterRecord& p)
{
    uint32_t typeOffset = 0, valueOffset = 0, annotations = 0;
    uint64_t end = 0;
    if (!next(r, typeOffset) || !next(r, valueOffset) || !next(r, p.flags) ||
        !next(r, annotations) || !typedefAt(r, typeOffset, p.type, end, 0))
        return false;
    p.name = p.type.name;
    if (p.name.empty()) return fail(r, "unnamed parameter");
    uint64_t at = valueOffset;
    return valueAt(r, p.type, at, p.value, p.samplerStates, 0) &&
           annotationsAt(r, r.pos, annotations, p.annotations);
}

bool readPass(Reader& r, FxPassRecord& pass)
{
    uint32_t passName = 0, passAnnotations = 0, stateCount = 0;
    if (!next(r, passName) || !next(r, passAnnotations) || !next(r, stateCount) ||
        !areaString(r, passName, pass.name) ||
        !annotationsAt(r, r.pos, passAnnotations, pass.annotations))
        return false;
    if (pass.name.empty()) return fail(r, "unnamed pass");
    for (uint32_t s = 0; s < stateCount; ++s, r.pos += 16) {
        FxStateRecord state;
        if (!stateAt(r, r.pos, false, state, 0)) return false;
        pass.states.push_back(state);
    }
    return true;
}

bool readTechnique(Reader& r, FxTechniqueRecord& tech)
{
    uint32_t nameOffset = 0, annotations = 0, passCount = 0;
    if (!next(r, nameOffset) || !next(r, annotations) || !next(r, passCount) ||
        !areaString(r, nameOffset, tech.name) ||
        !annotationsAt(r, r.pos, annotations, tech.annotations))
        return false;
    if (tech.name.empty()) return fail(r, "unnamed technique");
    for (uint32_t p = 0; p < passCount; ++p) {
        FxPassRecord pass;
        if (!readPass(r, pass)) return false;
        tech.passes.push_back(pass);
    }
    return true;
}

// A resource, which must address an existing state (parameter-level or
// pass-level) and, when it names a parameter, a parameter that exists.
bool readResource(Reader& r, const FxFile& out, FxResourceRecord& res)
{
    uint32_t size = 0;
    if (!next(r, res.technique) || !next(r, res.pass) || !next(r, res.element) ||
        !next(r, res.state) || !next(r, res.usage) || !next(r, size) || !data(r, size, res.data))
        return false;
    if (res.technique == noIndex) {
        if (res.pass >= out.parameters.size() ||
            !addressesSamplerState(out.parameters[res.pass], res.element, res.state))
            return fail(r, "parameter resource addresses nothing");
    } else if (res.technique >= out.techniques.size() ||
               res.pass >= out.techniques[res.technique].passes.size() ||
               res.state >= out.techniques[res.technique].passes[res.pass].states.size()) {
        return fail(r, "pass resource addresses nothing");
    }
    if (res.usage == 1) {
        std::string name(res.data.begin(), res.data.end());
        bool found = !name.empty() && name.back() == '\0';
        if (found) name.pop_back();
        bool named = false;
        for (const auto& p : out.parameters) named = named || p.name == name;
        if (!found || !named) return fail(r, "resource names no parameter");
    }
    return true;
}

bool readObjectsAndResources(Reader& r, FxFile& out)
{
    uint32_t objectCount = 0, resourceCount = 0;
    if (!next(r, objectCount) || !next(r, resourceCount)) return false;
    for (uint32_t i = 0; i < objectCount; ++i) {
        FxObjectRecord o;
        uint32_t size = 0;
        if (!next(r, o.id) || !next(r, size) || !checkObject(r, o.id) || !data(r, size, o.data))
            return false;
        out.objects.push_back(o);
    }
    for (uint32_t i = 0; i < resourceCount; ++i) {
        FxResourceRecord res;
        if (!readResource(r, out, res)) return false;
        out.resources.push_back(res);
    }
    return true;
}

}  // namespace

bool readFx(const std::vector<uint8_t>& blob, FxFile& out, std::string& error)
{
    Reader r{blob, 8, 0, 0, {}, 0};
    uint32_t parameterCount = 0, techniqueCount = 0;
    bool ok = readHeader(r, parameterCount, techniqueCount, out);
    for (uint32_t i = 0; ok && i < parameterCount; ++i) {
        FxParameterRecord p;
        ok = readParameter(r, p);
        if (ok) out.parameters.push_back(p);
    }
    for (uint32_t t = 0; ok && t < techniqueCount; ++t) {
        FxTechniqueRecord tech;
        ok = readTechnique(r, tech);
        if (ok) out.techniques.push_back(tech);
    }
    ok = ok && readObjectsAndResources(r, out);
    if (ok && r.pos != blob.size()) ok = fail(r, "trailing bytes after the resources");
    if (!ok) error = r.error;
    return ok;
}

bool readConstantTable(const std::vector<uint8_t>& shader, std::vector<CtabRecord>& out,
                       std::string& creator, std::string& error)
{
    auto at = [&](size_t offset, size_t size) -> uint32_t {
        uint32_t v = 0;
        for (size_t k = size; k-- > 0;) v = (v << 8) | shader[offset + k];
        return v;
    };
    // The table follows the version token: comment token, 'CTAB', data.
    if (shader.size() < 12 || (at(4, 4) & 0xFFFF) != 0xFFFE || at(8, 4) != 0x42415443u)
        return error = "no CTAB comment after the version token", false;
    const size_t base = 12;
    const size_t size = (at(4, 4) >> 16) * 4 - 4;
    if (base + size > shader.size() || size < 28 || at(base, 4) != 28)
        return error = "bad CTAB header", false;
    auto str = [&](uint32_t offset) {
        std::string s;
        for (size_t k = base + offset; k < base + size && shader[k]; ++k)
            s += static_cast<char>(shader[k]);
        return s;
    };
    creator = str(at(base + 4, 4));
    uint32_t count = at(base + 12, 4), entries = at(base + 16, 4);
    if (uint64_t{entries} + uint64_t{count} * 20 > size)
        return error = "CTAB entries past the table", false;
    for (uint32_t i = 0; i < count; ++i) {
        size_t e = base + entries + i * 20;
        CtabRecord c;
        c.name = str(at(e, 4));
        c.registerSet = at(e + 4, 2);
        c.registerIndex = at(e + 6, 2);
        c.registerCount = at(e + 8, 2);
        uint32_t typeInfo = at(e + 12, 4);
        if (uint64_t{typeInfo} + 16 > size) return error = "CTAB type info past the table", false;
        size_t t = base + typeInfo;
        c.cls = at(t, 2);
        c.type = at(t + 2, 2);
        c.rows = at(t + 4, 2);
        c.columns = at(t + 6, 2);
        out.push_back(c);
    }
    return true;
}

}  // namespace test
