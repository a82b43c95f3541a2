#include "diagnostics.h"

namespace effectc {

void AddError(Diagnostics& diags, SourceLocation at, std::string message)
{
    diags.errors.push_back(Diagnostic{at, std::move(message)});
}

bool HasErrors(const Diagnostics& diags)
{
    return !diags.errors.empty();
}

std::string FormatDiagnostic(const std::string& fileName, const Diagnostic& diagnostic)
{
    return fileName + ":" + std::to_string(diagnostic.at.line) + ":" +
           std::to_string(diagnostic.at.column) + ": error: " + diagnostic.message;
}

}  // namespace effectc
