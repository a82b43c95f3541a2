#include "diagnostics.h"

namespace effectc {

void addError(Diagnostics& diags, SourceLocation at, std::string message)
{
    diags.errors.push_back(Diagnostic{at, std::move(message)});
}

bool hasErrors(const Diagnostics& diags)
{
    return !diags.errors.empty();
}

std::string formatDiagnostic(const std::string& fileName, const Diagnostic& d)
{
    return fileName + ":" + std::to_string(d.at.line) + ":" + std::to_string(d.at.column) +
           ": error: " + d.message;
}

}  // namespace effectc
