#include "fx_reader.h"

namespace test {
namespace {

struct Reader {
    const std::vector<uint8_t>& blob;
    size_t areaStart = 8;
    size_t areaSize = 0;
    std::string error;
};

bool word(Reader& r, size_t fileOffset, uint32_t& v)
{
    if (fileOffset + 4 > r.blob.size()) {
        r.error = "read past the end at file offset " + std::to_string(fileOffset);
        return false;
    }
    v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | r.blob[fileOffset + k];
    return true;
}

// A word at an offset into the unstructured area.
bool areaWord(Reader& r, uint32_t offset, uint32_t& v)
{
    if (offset % 4 != 0 || offset + 4 > r.areaSize) {
        r.error = "offset " + std::to_string(offset) + " outside the unstructured area";
        return false;
    }
    return word(r, r.areaStart + offset, v);
}

bool areaString(Reader& r, uint32_t offset, std::string& s)
{
    uint32_t length = 0;
    if (!areaWord(r, offset, length)) return false;
    if (offset + 4 + length > r.areaSize) {
        r.error = "string at " + std::to_string(offset) + " runs past the area";
        return false;
    }
    s.clear();
    if (length == 0) return true;
    const uint8_t* p = &r.blob[r.areaStart + offset + 4];
    if (p[length - 1] != 0) {
        r.error = "string at " + std::to_string(offset) + " lacks its NUL";
        return false;
    }
    s.assign(reinterpret_cast<const char*>(p), length - 1);
    return true;
}

bool isNumeric(uint32_t cls) { return cls <= 3; }

bool typedefAt(Reader& r, uint32_t offset, FxType& t)
{
    uint32_t nameOffset = 0, semantic = 0;
    if (!areaWord(r, offset, t.type) || !areaWord(r, offset + 4, t.cls) || !areaWord(r, offset + 8, nameOffset) ||
        !areaWord(r, offset + 12, semantic) || !areaWord(r, offset + 16, t.elements))
        return false;
    if (nameOffset && !areaString(r, nameOffset, t.name)) return false;
    if (isNumeric(t.cls)) {
        uint32_t a = 0, b = 0;
        if (!areaWord(r, offset + 20, a) || !areaWord(r, offset + 24, b)) return false;
        t.rows = t.cls == 1 ? b : a;  // vectors store columns first
        t.columns = t.cls == 1 ? a : b;
    }
    return true;
}

bool stateAt(Reader& r, size_t& pos, bool inArea, FxStateRecord& s)
{
    uint32_t typeOffset = 0, valueOffset = 0;
    bool ok = inArea ? areaWord(r, static_cast<uint32_t>(pos), s.op) && areaWord(r, static_cast<uint32_t>(pos) + 4, s.index) &&
                           areaWord(r, static_cast<uint32_t>(pos) + 8, typeOffset) &&
                           areaWord(r, static_cast<uint32_t>(pos) + 12, valueOffset)
                     : word(r, pos, s.op) && word(r, pos + 4, s.index) && word(r, pos + 8, typeOffset) &&
                           word(r, pos + 12, valueOffset);
    pos += 16;
    return ok && typedefAt(r, typeOffset, s.type) && areaWord(r, valueOffset, s.value);
}

}  // namespace

bool readFx(const std::vector<uint8_t>& blob, FxFile& out, std::string& error)
{
    Reader r{blob, 8, 0, {}};
    uint32_t tag = 0, areaSize = 0;
    if (!word(r, 0, tag) || !word(r, 4, areaSize)) return error = r.error, false;
    if (tag != 0xFEFF0901u) return error = "bad tag", false;
    if (areaSize % 4 || 8 + areaSize > blob.size()) return error = "bad area size", false;
    r.areaSize = areaSize;
    uint32_t zero = 1;
    if (!areaWord(r, 0, zero) || zero != 0) return error = "U+0 must be a zero word", false;

    size_t pos = 8 + areaSize;
    auto next = [&](uint32_t& v) {
        bool ok = word(r, pos, v);
        pos += 4;
        return ok;
    };
    uint32_t parameterCount = 0, techniqueCount = 0;
    if (!next(parameterCount) || !next(techniqueCount) || !next(out.shaderCount) || !next(out.objectCount))
        return error = r.error, false;
    auto checkObject = [&](uint32_t id) {
        if (id == 0 || id >= out.objectCount) {
            r.error = "object id " + std::to_string(id) + " outside the object table";
            return false;
        }
        return true;
    };

    for (uint32_t i = 0; i < parameterCount; ++i) {
        FxParameterRecord p;
        uint32_t typeOffset = 0, valueOffset = 0, annotations = 0;
        if (!next(typeOffset) || !next(valueOffset) || !next(p.flags) || !next(annotations) ||
            !typedefAt(r, typeOffset, p.type))
            return error = r.error, false;
        if (annotations != 0) return error = "unexpected annotations", false;
        p.name = p.type.name;
        if (p.name.empty()) return error = "unnamed parameter", false;
        if (isNumeric(p.type.cls)) {
            for (uint32_t k = 0; k < p.type.rows * p.type.columns; ++k) {
                uint32_t v = 0;
                if (!areaWord(r, valueOffset + 4 * k, v)) return error = r.error, false;
                p.value.push_back(v);
            }
        } else if (p.type.type >= 10 && p.type.type <= 14) {  // samplers: a state list
            uint32_t count = 0;
            if (!areaWord(r, valueOffset, count)) return error = r.error, false;
            size_t at = valueOffset + 4;
            for (uint32_t k = 0; k < count; ++k) {
                FxStateRecord s;
                if (!stateAt(r, at, true, s)) return error = r.error, false;
                if (s.type.cls == 4 && !checkObject(s.value)) return error = r.error, false;
                p.samplerStates.push_back(s);
            }
        } else {
            uint32_t id = 0;
            if (!areaWord(r, valueOffset, id) || !checkObject(id)) return error = r.error, false;
            p.value.push_back(id);
        }
        out.parameters.push_back(p);
    }

    for (uint32_t t = 0; t < techniqueCount; ++t) {
        FxTechniqueRecord tech;
        uint32_t nameOffset = 0, annotations = 0, passCount = 0;
        if (!next(nameOffset) || !next(annotations) || !next(passCount) || !areaString(r, nameOffset, tech.name))
            return error = r.error, false;
        for (uint32_t p = 0; p < passCount; ++p) {
            FxPassRecord pass;
            uint32_t passName = 0, passAnnotations = 0, stateCount = 0;
            if (!next(passName) || !next(passAnnotations) || !next(stateCount) || !areaString(r, passName, pass.name))
                return error = r.error, false;
            for (uint32_t s = 0; s < stateCount; ++s) {
                FxStateRecord state;
                if (!stateAt(r, pos, false, state)) return error = r.error, false;
                if (state.type.cls == 4 && !checkObject(state.value)) return error = r.error, false;
                pass.states.push_back(state);
            }
            tech.passes.push_back(pass);
        }
        out.techniques.push_back(tech);
    }

    uint32_t objectBlobs = 0, resourceCount = 0;
    if (!next(objectBlobs) || !next(resourceCount)) return error = r.error, false;
    for (uint32_t i = 0; i < objectBlobs; ++i) {
        uint32_t id = 0, size = 0;
        if (!next(id) || !next(size) || !checkObject(id)) return error = r.error, false;
        if (size != 0) return error = "unexpected object data", false;
        out.emptyObjects.push_back(id);
    }
    for (uint32_t i = 0; i < resourceCount; ++i) {
        FxResourceRecord res;
        uint32_t size = 0;
        if (!next(res.technique) || !next(res.pass) || !next(res.element) || !next(res.state) || !next(res.usage) ||
            !next(size))
            return error = r.error, false;
        if (pos + size > blob.size()) return error = "resource data past the end", false;
        res.data.assign(blob.begin() + pos, blob.begin() + pos + size);
        pos += (size + 3) / 4 * 4;
        // The addressed state must exist: parameter-level or pass-level.
        if (res.technique == 0xFFFFFFFFu) {
            if (res.pass >= out.parameters.size() || res.state >= out.parameters[res.pass].samplerStates.size())
                return error = "parameter resource addresses nothing", false;
        } else if (res.technique >= out.techniques.size() || res.pass >= out.techniques[res.technique].passes.size() ||
                   res.state >= out.techniques[res.technique].passes[res.pass].states.size()) {
            return error = "pass resource addresses nothing", false;
        }
        if (res.usage == 1) {
            std::string name(res.data.begin(), res.data.end());
            bool found = !name.empty() && name.back() == '\0';
            if (found) name.pop_back();
            bool named = false;
            for (const auto& p : out.parameters) named = named || p.name == name;
            if (!found || !named) return error = "resource names no parameter", false;
        }
        out.resources.push_back(res);
    }
    if (pos != blob.size()) return error = "trailing bytes after the resources", false;
    return true;
}

bool readConstantTable(const std::vector<uint8_t>& shader, std::vector<CtabRecord>& out, std::string& creator,
                       std::string& error)
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
    if (base + size > shader.size() || size < 28 || at(base, 4) != 28) return error = "bad CTAB header", false;
    auto str = [&](uint32_t offset) {
        std::string s;
        for (size_t k = base + offset; k < base + size && shader[k]; ++k) s += static_cast<char>(shader[k]);
        return s;
    };
    creator = str(at(base + 4, 4));
    uint32_t count = at(base + 12, 4), entries = at(base + 16, 4);
    if (entries + count * 20 > size) return error = "CTAB entries past the table", false;
    for (uint32_t i = 0; i < count; ++i) {
        size_t e = base + entries + i * 20;
        CtabRecord c;
        c.name = str(at(e, 4));
        c.registerSet = at(e + 4, 2);
        c.registerIndex = at(e + 6, 2);
        c.registerCount = at(e + 8, 2);
        uint32_t typeInfo = at(e + 12, 4);
        if (typeInfo + 16 > size) return error = "CTAB type info past the table", false;
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
