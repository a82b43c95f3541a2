// Error reporting shared by every stage: each stage appends to one list and
// keeps going where it can, so a single run shows as many mistakes as possible.
#pragma once

#include <string>
#include <vector>

namespace effectc {

struct SourceLocation {
    int line = 1;    // 1-based
    int column = 1;  // 1-based, counted in bytes
};

struct Diagnostic {
    SourceLocation at;
    std::string message;
};

struct Diagnostics {
    std::vector<Diagnostic> errors;
};

void AddError(Diagnostics& diags, SourceLocation at, std::string message);
bool HasErrors(const Diagnostics& diags);

// "file:line:column: error: message", the form editors and build logs parse.
std::string FormatDiagnostic(const std::string& fileName, const Diagnostic& diagnostic);

}  // namespace effectc
