// Fuzzes the effect compiler with the input as effect source.
//
// Any input must come back as either errors and no blob, or no errors and a
// blob; never a crash, a hang or a sanitizer report. Every error carries a
// position inside the source (or just past its end). A blob must be
// well-formed: the test-side reader follows each of its offsets, what it
// reads writes the same bytes again, and every shader it carries is a
// ps_2_0 token stream with its constant table and end token.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "compiler.h"
#include "fx_reader.h"
#include "fx_writer.h"

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "effect_compiler_fuzz: %s\n", what.c_str());
    std::abort();
}

// The version token, the constant table's comment right after it (fourcc
// 'CTAB', a 28-byte header, the constant records inside the comment), and
// the end token.
void CheckShader(const std::vector<uint32_t>& shader)
{
    if (shader.size() < 11 || shader[0] != 0xFFFF0200u || shader.back() != 0x0000FFFFu) {
        Fail("shader is not a ps_2_0 token stream with its end token");
    }
    const uint64_t tableBytes = ((shader[1] >> 16) - 1) * 4ull;
    if ((shader[1] & 0xFFFF) != 0xFFFE || shader[2] != 0x42415443u || tableBytes < 28 ||
        3 + tableBytes / 4 >= shader.size() || shader[3] != 28 ||
        shader[7] + shader[6] * 20ull > tableBytes) {
        Fail("no constant table after the version token");
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

    effectc::FxEffect effect;
    std::string error;
    if (!test::ReadFx20(blob, effect, error)) {
        Fail("malformed blob: " + error);
    }
    if (effectc::WriteFx20(effect) != blob) {
        Fail("the blob as read back does not write the same bytes");
    }
    for (const auto& technique : effect.techniques) {
        for (const auto& pass : technique.passes) {
            for (const auto& state : pass.states) {
                if (state.kind == effectc::FxStateKind::shader) {
                    CheckShader(state.shader);
                }
            }
        }
    }
    return 0;
}
