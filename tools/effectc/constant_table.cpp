#include "constant_table.h"

namespace effectc {
namespace {

constexpr uint32_t headerSize = 28;  // the runtime ignores a table whose Size differs
constexpr uint32_t entrySize = 20;
constexpr uint32_t typeInfoSize = 16;

struct ByteWriter {
    std::vector<uint8_t> bytes;
};

void put16(ByteWriter& w, uint16_t v)
{
    w.bytes.push_back(static_cast<uint8_t>(v));
    w.bytes.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(ByteWriter& w, uint32_t v)
{
    put16(w, static_cast<uint16_t>(v));
    put16(w, static_cast<uint16_t>(v >> 16));
}

// NUL-terminated and padded to a DWORD with 0xAB, as compilers pad it.
uint32_t putString(ByteWriter& w, const std::string& s)
{
    uint32_t offset = static_cast<uint32_t>(w.bytes.size());
    w.bytes.insert(w.bytes.end(), s.begin(), s.end());
    w.bytes.push_back(0);
    while (w.bytes.size() % 4) w.bytes.push_back(0xAB);
    return offset;
}

}  // namespace

std::vector<uint32_t> buildConstantTableComment(const std::vector<ConstantTableEntry>& entries,
                                                uint32_t version, const std::string& target,
                                                const std::string& creator)
{
    const uint32_t count = static_cast<uint32_t>(entries.size());
    const uint32_t entriesAt = headerSize;
    const uint32_t typesAt = entriesAt + count * entrySize;
    const uint32_t stringsAt = typesAt + count * typeInfoSize;

    // Strings first, so their offsets are known when the fixed part is written.
    ByteWriter strings;
    strings.bytes.resize(stringsAt);
    std::vector<uint32_t> nameAt;
    for (const ConstantTableEntry& e : entries) nameAt.push_back(putString(strings, e.name));
    uint32_t targetAt = putString(strings, target);
    uint32_t creatorAt = putString(strings, creator);

    ByteWriter w;
    put32(w, headerSize);
    put32(w, creatorAt);
    put32(w, version);
    put32(w, count);
    put32(w, entriesAt);
    put32(w, 0);  // flags
    put32(w, targetAt);
    for (uint32_t i = 0; i < count; ++i) {
        const ConstantTableEntry& e = entries[i];
        put32(w, nameAt[i]);
        put16(w, e.registerSet);
        put16(w, e.registerIndex);
        put16(w, e.registerCount);
        put16(w, 0);  // reserved
        put32(w, typesAt + i * typeInfoSize);
        put32(w, 0);  // no default value
    }
    for (const ConstantTableEntry& e : entries) {
        put16(w, e.typeClass);
        put16(w, e.type);
        put16(w, e.rows);
        put16(w, e.columns);
        put16(w, 1);  // elements: 1 for a non-array
        put16(w, 0);  // struct members
        put32(w, 0);  // member info
    }
    w.bytes.insert(w.bytes.end(), strings.bytes.begin() + stringsAt, strings.bytes.end());

    const uint32_t dataWords = static_cast<uint32_t>(w.bytes.size() / 4);
    std::vector<uint32_t> comment;
    comment.push_back(0xFFFEu | ((dataWords + 1) << 16));  // +1: the fourcc
    comment.push_back(ctabFourCC);
    for (uint32_t i = 0; i < dataWords; ++i) {
        const uint8_t* b = &w.bytes[i * 4];
        comment.push_back(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24));
    }
    return comment;
}

std::vector<uint32_t> insertAfterVersion(const std::vector<uint32_t>& shader,
                                         const std::vector<uint32_t>& comment)
{
    std::vector<uint32_t> out;
    out.reserve(shader.size() + comment.size());
    out.push_back(shader.at(0));
    out.insert(out.end(), comment.begin(), comment.end());
    out.insert(out.end(), shader.begin() + 1, shader.end());
    return out;
}

}  // namespace effectc
