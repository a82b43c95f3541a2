#include "fx_reader.h"

#include <algorithm>
#include <cstring>

namespace test {
namespace {

using namespace effectc;

constexpr uint32_t fxTag = 0xFEFF0901u;
constexpr uint32_t noIndex = 0xFFFFFFFFu;
// Every state inside a sampler value carries this index; D3DX ignores it.
constexpr uint32_t samplerStateIndex = 0x100;
constexpr uint32_t usageData = 0, usageParameterName = 1;

struct Fault {
    std::string what;
};

[[noreturn]] void Fail(const std::string& what)
{
    throw Fault{what};
}

std::string At(uint64_t offset)
{
    return " at " + std::to_string(offset);
}

struct Reader {
    const std::vector<uint8_t>& blob;
    uint64_t areaSize = 0;
    uint64_t next = 0;                 // file offset of the structured area's next word
    std::vector<uint32_t> ids;         // object ids in order of appearance
    std::vector<uint32_t> textureIds;  // the ids that need an (empty) object blob
};

uint32_t FileWord(const Reader& r, uint64_t at)
{
    if (at + 4 > r.blob.size()) Fail("read past the end" + At(at));
    return uint32_t{r.blob[at]} | uint32_t{r.blob[at + 1]} << 8 | uint32_t{r.blob[at + 2]} << 16 |
           uint32_t{r.blob[at + 3]} << 24;
}

uint32_t Next(Reader& r)
{
    r.next += 4;
    return FileWord(r, r.next - 4);
}

// Stored offsets count from the unstructured area's first byte, file offset 8.
uint32_t AreaWord(const Reader& r, uint64_t offset)
{
    if (offset % 4 || offset + 4 > r.areaSize)
        Fail("offset outside the unstructured area" + At(offset));
    return FileWord(r, 8 + offset);
}

// A name: its length counts the NUL, and no name is empty.
std::string AreaName(const Reader& r, uint32_t offset)
{
    const uint32_t length = AreaWord(r, offset);
    if (length < 2 || offset + 4ull + length > r.areaSize) Fail("bad name length" + At(offset));
    const char* text = reinterpret_cast<const char*>(&r.blob[8 + offset + 4]);
    if (std::memchr(text, 0, length) != text + length - 1)
        Fail("name without its NUL" + At(offset));
    return std::string(text, length - 1);
}

// Whole bytes of an object blob or resource, padded to a word in the file.
std::vector<uint8_t> Bytes(Reader& r, uint32_t size)
{
    if (r.next + size > r.blob.size()) Fail("data past the end" + At(r.next));
    std::vector<uint8_t> bytes(r.blob.begin() + r.next, r.blob.begin() + r.next + size);
    r.next += (uint64_t{size} + 3) / 4 * 4;
    return bytes;
}

struct Typedef {
    uint32_t type = 0, cls = 0, nameAt = 0, rows = 0, columns = 0;
};

// Type, class, name, semantic, element count; numeric classes add two
// dimensions, columns first for vectors and rows first otherwise.
Typedef TypedefAt(const Reader& r, uint32_t at)
{
    Typedef t{AreaWord(r, at), AreaWord(r, at + 4), AreaWord(r, at + 8)};
    if (AreaWord(r, at + 12) != 0 || AreaWord(r, at + 16) != 0) Fail("semantic or array" + At(at));
    if (t.cls == classObject) return t;
    if (t.cls > classMatrixColumns) Fail("class " + std::to_string(t.cls) + At(at));
    const uint32_t first = AreaWord(r, at + 20), second = AreaWord(r, at + 24);
    t.rows = t.cls == classVector ? second : first;
    t.columns = t.cls == classVector ? first : second;
    if (t.rows < 1 || t.rows > 4 || t.columns < 1 || t.columns > 4) Fail("numeric size" + At(at));
    return t;
}

// An unnamed INT 1x1 constant of class MATRIX_ROWS, or an object whose
// name or bytecode a resource delivers.
FxState StateAt(Reader& r, uint32_t op, uint32_t index, uint32_t typedefAt, uint32_t valueAt)
{
    const Typedef t = TypedefAt(r, typedefAt);
    FxState s;
    s.op = op;
    s.index = index;
    if (t.nameAt == 0 && t.cls == classObject) {
        s.kind = t.type == typePixelShader || t.type == typeVertexShader ? FxStateKind::shader
                                                                         : FxStateKind::reference;
        (s.kind == FxStateKind::shader ? s.shaderType : s.referenceType) = t.type;
        r.ids.push_back(AreaWord(r, valueAt));
    } else if (t.nameAt == 0 && t.type == typeInt && t.cls == classMatrixRows && t.rows == 1 &&
               t.columns == 1) {
        s.integer = static_cast<int32_t>(AreaWord(r, valueAt));
    } else {
        Fail("state value neither an INT constant nor an object" + At(typedefAt));
    }
    return s;
}

// A float vector or matrix with its value; a texture with its object id; a
// sampler whose value is its state list: a count, then (op, index, typedef,
// value) per state.
FxParameter ParameterAt(Reader& r)
{
    const uint32_t typedefAt = Next(r), valueAt = Next(r);
    if (Next(r) != 0 || Next(r) != 0) Fail("parameter flags or annotations" + At(r.next));
    const Typedef t = TypedefAt(r, typedefAt);
    FxParameter p;
    p.name = AreaName(r, t.nameAt);
    p.type = t.type;
    p.parameterClass = t.cls;
    if (t.cls != classObject) {
        if (t.type != typeFloat) Fail("numeric type " + std::to_string(t.type) + At(typedefAt));
        p.rows = t.rows;
        p.columns = t.columns;
        for (uint32_t k = 0; k < t.rows * t.columns; ++k)
            p.value.push_back(AreaWord(r, valueAt + 4ull * k));
    } else if (t.type == typeSampler2D) {
        const uint32_t count = AreaWord(r, valueAt);
        for (uint64_t k = 0, at = valueAt + 4ull; k < count; ++k, at += 16) {
            if (AreaWord(r, at + 4) != samplerStateIndex) Fail("sampler state index" + At(at));
            p.samplerStates.push_back(
                StateAt(r, AreaWord(r, at), 0, AreaWord(r, at + 8), AreaWord(r, at + 12)));
        }
    } else if (t.type == typeTexture) {
        r.ids.push_back(AreaWord(r, valueAt));
        r.textureIds.push_back(r.ids.back());
    } else {
        Fail("parameter type " + std::to_string(t.type) + At(typedefAt));
    }
    return p;
}

FxTechnique TechniqueAt(Reader& r)
{
    FxTechnique t;
    t.name = AreaName(r, Next(r));
    if (Next(r) != 0) Fail("technique annotations" + At(r.next));
    for (uint32_t p = 0, passes = Next(r); p < passes; ++p) {
        FxPass pass;
        pass.name = AreaName(r, Next(r));
        if (Next(r) != 0) Fail("pass annotations" + At(r.next));
        for (uint32_t s = 0, states = Next(r); s < states; ++s) {
            const uint32_t op = Next(r), index = Next(r), typedefAt = Next(r), valueAt = Next(r);
            pass.states.push_back(StateAt(r, op, index, typedefAt, valueAt));
        }
        t.passes.push_back(pass);
    }
    return t;
}

// The state a resource addresses: a pass state (technique, pass, element
// 0xFFFFFFFF, state) or a sampler's state (0xFFFFFFFF, parameter, element 0,
// state).
FxState* Addressed(FxEffect& e, uint32_t technique, uint32_t pass, uint32_t element, uint32_t state)
{
    std::vector<FxState>* states = nullptr;
    if (technique == noIndex && element == 0 && pass < e.parameters.size())
        states = &e.parameters[pass].samplerStates;
    else if (element == noIndex && technique < e.techniques.size() &&
             pass < e.techniques[technique].passes.size())
        states = &e.techniques[technique].passes[pass].states;
    return states && state < states->size() ? &(*states)[state] : nullptr;
}

// A parameter's name (usage 1, with its NUL) for a reference, bytecode
// (usage 0, whole tokens) for a shader.
void ResourceInto(Reader& r, FxEffect& e, std::vector<const FxState*>& delivered)
{
    const uint32_t technique = Next(r), pass = Next(r), element = Next(r), state = Next(r);
    const uint32_t usage = Next(r), size = Next(r);
    const std::vector<uint8_t> data = Bytes(r, size);
    FxState* s = Addressed(e, technique, pass, element, state);
    if (!s || s->kind == FxStateKind::integer ||
        std::count(delivered.begin(), delivered.end(), s) != 0)
        Fail("resource addressing no object state, or one already served" + At(r.next));
    delivered.push_back(s);
    if (s->kind == FxStateKind::reference) {
        if (usage != usageParameterName || data.empty() || data.back() != 0)
            Fail("reference resource not a name" + At(r.next));
        s->reference.assign(data.begin(), data.end() - 1);
        if (std::none_of(e.parameters.begin(), e.parameters.end(),
                         [&](const FxParameter& p) { return p.name == s->reference; }))
            Fail("resource names no parameter" + At(r.next));
        return;
    }
    if (usage != usageData || size % 4) Fail("shader resource not whole tokens" + At(r.next));
    s->shader.resize(size / 4);
    if (size) std::memcpy(s->shader.data(), data.data(), size);  // little-endian, as here
}

// Object blobs: an empty one for each texture; then the resources, one for
// every object state.
void ObjectsAndResourcesInto(Reader& r, FxEffect& e)
{
    const uint32_t blobs = Next(r), resources = Next(r);
    std::vector<uint32_t> seen;
    for (uint32_t k = 0; k < blobs; ++k) {
        const uint32_t id = Next(r);
        if (Next(r) != 0 || std::count(seen.begin(), seen.end(), id) != 0 ||
            std::count(r.textureIds.begin(), r.textureIds.end(), id) == 0)
            Fail("object blob " + std::to_string(id) + " not one empty texture's" + At(r.next));
        seen.push_back(id);
    }
    if (seen.size() != r.textureIds.size()) Fail("a texture without its object blob");
    std::vector<const FxState*> delivered;
    for (uint32_t k = 0; k < resources; ++k) ResourceInto(r, e, delivered);
    if (delivered.size() + r.textureIds.size() != r.ids.size())
        Fail("an object state without its resource");
}

void ReadInto(Reader& r, FxEffect& e)
{
    if (FileWord(r, 0) != fxTag) Fail("bad tag");
    r.areaSize = FileWord(r, 4);
    if (r.areaSize % 4 || 8 + r.areaSize > r.blob.size()) Fail("bad area size");
    if (AreaWord(r, 0) != 0) Fail("U+0 is not a zero word, the empty string");
    r.next = 8 + r.areaSize;
    const uint32_t parameters = Next(r), techniques = Next(r);
    Next(r);  // "shader count": D3DX reads and ignores it
    const uint32_t objectCount = Next(r);
    for (uint32_t k = 0; k < parameters; ++k) e.parameters.push_back(ParameterAt(r));
    for (uint32_t k = 0; k < techniques; ++k) e.techniques.push_back(TechniqueAt(r));
    // Objects are numbered from 1 in order of appearance; D3DX indexes its
    // table with them unchecked.
    for (size_t k = 0; k < r.ids.size(); ++k)
        if (r.ids[k] != k + 1)
            Fail("object " + std::to_string(k + 1) + " has id " + std::to_string(r.ids[k]));
    if (objectCount != r.ids.size() + 1)
        Fail("object count " + std::to_string(objectCount) + " for " +
             std::to_string(r.ids.size()) + " objects");
    ObjectsAndResourcesInto(r, e);
    if (r.next != r.blob.size()) Fail("bytes after the last resource" + At(r.next));
}

}  // namespace

bool ReadFx20(const std::vector<uint8_t>& blob, FxEffect& effect, std::string& error)
{
    effect = FxEffect{};
    Reader r{blob, 0, 0, {}, {}};
    try {
        ReadInto(r, effect);
        return true;
    } catch (const Fault& fault) {
        error = fault.what;
        return false;
    }
}

}  // namespace test
