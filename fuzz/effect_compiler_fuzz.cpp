// Fuzzes the effect compiler with the input as effect source.
//
// Any input must come back as either errors and no blob, or no errors and a
// blob; never a crash, a hang or a sanitizer report. Every error carries a
// position inside the source (or just past its end). A blob must be
// well-formed: the test-side reader follows each of its offsets, and every
// shader it carries is a ps_2_0 token stream with its constant table and end
// token.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "compiler.h"
#include "fx_reader.h"

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "effect_compiler_fuzz: %s\n", what.c_str());
    std::abort();
}

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void CheckShader(const std::vector<uint8_t>& shader)
{
    if (shader.size() < 8 || shader.size() % 4 != 0) {
        Fail("shader data is not a whole token stream of at least two tokens");
    }
    if (WordAt(shader, 0) != 0xFFFF0200u) {
        Fail("shader does not start with the ps_2_0 version token");
    }
    if (WordAt(shader, shader.size() - 4) != 0x0000FFFFu) {
        Fail("shader does not end with the end token");
    }
    std::vector<test::CtabRecord> table;
    std::string creator, error;
    if (!test::readConstantTable(shader, table, creator, error)) {
        Fail("constant table: " + error);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string source(reinterpret_cast<const char*>(data), size);
    effectc::Diagnostics diags;
    std::vector<uint8_t> blob;
    const bool ok = effectc::CompileEffect(source, "fuzz.fx", blob, diags);

    if (ok != diags.errors.empty()) {
        Fail(ok ? "success with errors" : "failure without an error");
    }
    if (!ok) {
        if (!blob.empty()) {
            Fail("a blob alongside errors");
        }
        // Lines are counted from 1; there is at most one line per newline
        // plus the last one.
        size_t lines = 1;
        for (char c : source) {
            lines += c == '\n';
        }
        for (const auto& d : diags.errors) {
            if (d.at.line < 1 || static_cast<size_t>(d.at.line) > lines || d.at.column < 1 ||
                static_cast<size_t>(d.at.column) > size + 1) {
                Fail("error position outside the source: " +
                     effectc::FormatDiagnostic("fuzz.fx", d));
            }
        }
        return 0;
    }

    test::FxFile fx;
    std::string error;
    if (!test::readFx(blob, fx, error)) {
        Fail("malformed blob: " + error);
    }
    for (const auto& resource : fx.resources) {
        if (resource.usage == 0) {
            CheckShader(resource.data);
        }
    }
    return 0;
}
