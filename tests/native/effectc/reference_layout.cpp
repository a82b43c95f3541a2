#include "reference_layout.h"

namespace test {
namespace {

constexpr uint32_t classVector = 1, classStruct = 5;

struct Builder {
    std::vector<uint32_t> area{0};  // a zero word first, so offset 0 reads as "no string"
    // Typedefs whose name and semantic are still to be written, with the
    // word at which each starts.
    std::vector<std::pair<size_t, const FxType*>> unnamed;
};

uint32_t here(const Builder& b)
{
    return static_cast<uint32_t>(b.area.size() * 4);
}

void appendBytes(std::vector<uint32_t>& words, const std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < bytes.size(); i += 4) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4 && i + k < bytes.size(); ++k)
            v |= uint32_t{bytes[i + k]} << (8 * k);
        words.push_back(v);
    }
}

uint32_t putString(Builder& b, const std::string& s)
{
    uint32_t at = here(b);
    std::vector<uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    b.area.push_back(static_cast<uint32_t>(bytes.size()));
    appendBytes(b.area, bytes);
    return at;
}

// Type, class, name, semantic, elements, then rows/columns (columns first for
// vectors) or a struct's member count and its members' typedefs, once
// whatever the element count.
uint32_t putTypedef(Builder& b, const FxType& t)
{
    uint32_t at = here(b);
    b.unnamed.emplace_back(b.area.size(), &t);
    b.area.insert(b.area.end(), {t.type, t.cls, 0u, 0u, t.elements});
    if (t.cls == classStruct) {
        b.area.push_back(static_cast<uint32_t>(t.members.size()));
        for (const FxType& m : t.members) putTypedef(b, m);
    } else if (t.cls == classVector) {
        b.area.insert(b.area.end(), {t.columns, t.rows});
    } else if (t.cls <= 3) {
        b.area.insert(b.area.end(), {t.rows, t.columns});
    }
    return at;
}

// Names follow what they name: outer name, its semantic, then the members'.
void putNames(Builder& b)
{
    for (const auto& [word, type] : b.unnamed) {
        if (!type->name.empty()) b.area[word + 2] = putString(b, type->name);
        if (!type->semantic.empty()) b.area[word + 3] = putString(b, type->semantic);
    }
    b.unnamed.clear();
}

struct Pair {
    uint32_t typedefAt, valueAt;
};

Pair putAnnotation(Builder& b, const FxAnnotationRecord& a)
{
    Pair p{};
    p.valueAt = here(b);
    b.area.insert(b.area.end(), a.value.begin(), a.value.end());
    p.typedefAt = putTypedef(b, a.type);
    putNames(b);
    return p;
}

Pair putState(Builder& b, const FxStateRecord& s)
{
    Pair p{};
    p.valueAt = here(b);
    b.area.push_back(s.value);
    p.typedefAt = putTypedef(b, s.type);
    putNames(b);
    return p;
}

Pair putParameter(Builder& b, const FxParameterRecord& p, std::vector<Pair>& annotations)
{
    Pair at{};
    at.typedefAt = putTypedef(b, p.type);
    // The parameter's names come after its states and annotations.
    std::vector<std::pair<size_t, const FxType*>> own;
    own.swap(b.unnamed);
    if (p.type.cls == 4 && p.type.type >= 10 && p.type.type <= 14) {
        // value holds each element's state count; the states follow in order.
        std::vector<Pair> states;
        for (const FxStateRecord& s : p.samplerStates) states.push_back(putState(b, s));
        at.valueAt = here(b);
        size_t next = 0;
        for (uint32_t count : p.value) {
            b.area.push_back(count);
            for (uint32_t k = 0; k < count && next < states.size(); ++k, ++next) {
                const FxStateRecord& s = p.samplerStates[next];
                b.area.insert(b.area.end(),
                              {s.op, s.index, states[next].typedefAt, states[next].valueAt});
            }
        }
    } else {
        at.valueAt = here(b);
        b.area.insert(b.area.end(), p.value.begin(), p.value.end());
    }
    for (const FxAnnotationRecord& a : p.annotations) annotations.push_back(putAnnotation(b, a));
    b.unnamed.swap(own);
    putNames(b);
    return at;
}

void putAnnotationRecords(std::vector<uint32_t>& s, const std::vector<Pair>& annotations)
{
    for (const Pair& a : annotations) s.insert(s.end(), {a.typedefAt, a.valueAt});
}

void putBlob(std::vector<uint32_t>& s, const std::vector<uint8_t>& data)
{
    s.push_back(static_cast<uint32_t>(data.size()));
    appendBytes(s, data);
}

void describeType(std::string& out, const FxType& t, const std::string& indent)
{
    out += indent + "type " + std::to_string(t.type) + " class " + std::to_string(t.cls) + " '" +
           t.name + "' : '" + t.semantic + "' elements " + std::to_string(t.elements) + " " +
           std::to_string(t.rows) + "x" + std::to_string(t.columns) + "\n";
    for (const FxType& m : t.members) describeType(out, m, indent + "  ");
}

void describeWords(std::string& out, const std::vector<uint32_t>& words, const std::string& indent)
{
    out += indent + "value";
    for (uint32_t w : words) out += " " + std::to_string(w);
    out += "\n";
}

void describeBytes(std::string& out, const std::vector<uint8_t>& bytes)
{
    out += " " + std::to_string(bytes.size()) + " bytes:";
    for (uint8_t c : bytes) out += " " + std::to_string(c);
    out += "\n";
}

void describeAnnotations(std::string& out, const std::vector<FxAnnotationRecord>& annotations,
                         const std::string& indent)
{
    for (const FxAnnotationRecord& a : annotations) {
        out += indent + "annotation\n";
        describeType(out, a.type, indent + "  ");
        describeWords(out, a.value, indent + "  ");
    }
}

void describeStates(std::string& out, const std::vector<FxStateRecord>& states,
                    const std::string& indent)
{
    for (const FxStateRecord& s : states) {
        out += indent + "state " + std::to_string(s.op) + "[" + std::to_string(s.index) +
               "] = " + std::to_string(s.value) + "\n";
        describeType(out, s.type, indent + "  ");
    }
}

}  // namespace

std::vector<uint8_t> buildReferenceLayout(const FxFile& d)
{
    Builder b;
    std::vector<uint32_t> s;  // the structured area
    s.insert(s.end(), {static_cast<uint32_t>(d.parameters.size()),
                       static_cast<uint32_t>(d.techniques.size()), d.shaderCount, d.objectCount});
    for (const FxParameterRecord& p : d.parameters) {
        std::vector<Pair> annotations;
        Pair at = putParameter(b, p, annotations);
        s.insert(s.end(),
                 {at.typedefAt, at.valueAt, p.flags, static_cast<uint32_t>(annotations.size())});
        putAnnotationRecords(s, annotations);
    }
    for (const FxTechniqueRecord& t : d.techniques) {
        std::vector<Pair> annotations;
        for (const FxAnnotationRecord& a : t.annotations)
            annotations.push_back(putAnnotation(b, a));
        std::vector<uint32_t> passes;
        for (const FxPassRecord& p : t.passes) {
            std::vector<Pair> passAnnotations, states;
            for (const FxAnnotationRecord& a : p.annotations)
                passAnnotations.push_back(putAnnotation(b, a));
            for (const FxStateRecord& st : p.states) states.push_back(putState(b, st));
            passes.insert(passes.end(),
                          {putString(b, p.name), static_cast<uint32_t>(passAnnotations.size()),
                           static_cast<uint32_t>(states.size())});
            putAnnotationRecords(passes, passAnnotations);
            for (size_t k = 0; k < states.size(); ++k)
                passes.insert(passes.end(), {p.states[k].op, p.states[k].index, states[k].typedefAt,
                                             states[k].valueAt});
        }
        s.insert(s.end(), {putString(b, t.name), static_cast<uint32_t>(annotations.size()),
                           static_cast<uint32_t>(t.passes.size())});
        putAnnotationRecords(s, annotations);
        s.insert(s.end(), passes.begin(), passes.end());
    }
    s.insert(s.end(),
             {static_cast<uint32_t>(d.objects.size()), static_cast<uint32_t>(d.resources.size())});
    for (const FxObjectRecord& o : d.objects) {
        s.push_back(o.id);
        putBlob(s, o.data);
    }
    for (const FxResourceRecord& r : d.resources) {
        s.insert(s.end(), {r.technique, r.pass, r.element, r.state, r.usage});
        putBlob(s, r.data);
    }

    std::vector<uint32_t> file{0xFEFF0901u, here(b)};
    file.insert(file.end(), b.area.begin(), b.area.end());
    file.insert(file.end(), s.begin(), s.end());
    std::vector<uint8_t> bytes;
    for (uint32_t v : file)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(v >> shift));
    return bytes;
}

std::string describe(const FxFile& f)
{
    std::string out = "shaders " + std::to_string(f.shaderCount) + " objects " +
                      std::to_string(f.objectCount) + "\n";
    for (const FxParameterRecord& p : f.parameters) {
        out += "parameter '" + p.name + "' flags " + std::to_string(p.flags) + "\n";
        describeType(out, p.type, "  ");
        describeWords(out, p.value, "  ");
        describeStates(out, p.samplerStates, "  ");
        describeAnnotations(out, p.annotations, "  ");
    }
    for (const FxTechniqueRecord& t : f.techniques) {
        out += "technique '" + t.name + "'\n";
        describeAnnotations(out, t.annotations, "  ");
        for (const FxPassRecord& p : t.passes) {
            out += "  pass '" + p.name + "'\n";
            describeAnnotations(out, p.annotations, "    ");
            describeStates(out, p.states, "    ");
        }
    }
    for (const FxObjectRecord& o : f.objects) {
        out += "object " + std::to_string(o.id);
        describeBytes(out, o.data);
    }
    for (const FxResourceRecord& r : f.resources) {
        out += "resource " + std::to_string(r.technique) + " " + std::to_string(r.pass) + " " +
               std::to_string(r.element) + " " + std::to_string(r.state) + " usage " +
               std::to_string(r.usage);
        describeBytes(out, r.data);
    }
    return out;
}

}  // namespace test
