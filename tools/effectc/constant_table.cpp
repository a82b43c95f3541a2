#include "constant_table.h"

namespace effectc {
namespace {

constexpr uint32_t headerSize = 28;  // the runtime ignores a table whose Size differs
constexpr uint32_t entrySize = 20;
constexpr uint32_t typeInfoSize = 16;

struct ByteWriter {
    std::vector<uint8_t> bytes;
};

void Put16(ByteWriter& writer, uint16_t value)
{
    writer.bytes.push_back(static_cast<uint8_t>(value));
    writer.bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(ByteWriter& writer, uint32_t value)
{
    Put16(writer, static_cast<uint16_t>(value));
    Put16(writer, static_cast<uint16_t>(value >> 16));
}

// NUL-terminated and padded to a DWORD with 0xAB, as compilers pad it.
uint32_t PutString(ByteWriter& writer, const std::string& text)
{
    uint32_t offset = static_cast<uint32_t>(writer.bytes.size());
    writer.bytes.insert(writer.bytes.end(), text.begin(), text.end());
    writer.bytes.push_back(0);
    while (writer.bytes.size() % 4) writer.bytes.push_back(0xAB);
    return offset;
}

}  // namespace

std::vector<uint32_t> BuildConstantTableComment(const std::vector<ConstantTableEntry>& entries,
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
    for (const ConstantTableEntry& entry : entries)
        nameAt.push_back(PutString(strings, entry.name));
    uint32_t targetAt = PutString(strings, target);
    uint32_t creatorAt = PutString(strings, creator);

    ByteWriter writer;
    Put32(writer, headerSize);
    Put32(writer, creatorAt);
    Put32(writer, version);
    Put32(writer, count);
    Put32(writer, entriesAt);
    Put32(writer, 0);  // flags
    Put32(writer, targetAt);
    for (uint32_t i = 0; i < count; ++i) {
        const ConstantTableEntry& entry = entries[i];
        Put32(writer, nameAt[i]);
        Put16(writer, entry.registerSet);
        Put16(writer, entry.registerIndex);
        Put16(writer, entry.registerCount);
        Put16(writer, 0);  // reserved
        Put32(writer, typesAt + i * typeInfoSize);
        Put32(writer, 0);  // no default value
    }
    for (const ConstantTableEntry& entry : entries) {
        Put16(writer, entry.typeClass);
        Put16(writer, entry.type);
        Put16(writer, entry.rows);
        Put16(writer, entry.columns);
        Put16(writer, 1);  // elements: 1 for a non-array
        Put16(writer, 0);  // struct members
        Put32(writer, 0);  // member info
    }
    writer.bytes.insert(writer.bytes.end(), strings.bytes.begin() + stringsAt, strings.bytes.end());

    const uint32_t dataWords = static_cast<uint32_t>(writer.bytes.size() / 4);
    std::vector<uint32_t> comment;
    comment.push_back(0xFFFEu | ((dataWords + 1) << 16));  // +1: the fourcc
    comment.push_back(ctabFourCC);
    for (uint32_t i = 0; i < dataWords; ++i) {
        const uint8_t* bytes = &writer.bytes[i * 4];
        comment.push_back(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                          (static_cast<uint32_t>(bytes[3]) << 24));
    }
    return comment;
}

std::vector<uint32_t> InsertAfterVersion(const std::vector<uint32_t>& shader,
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
