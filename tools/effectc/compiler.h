// The whole pipeline: effect source text -> fx_2_0 blob.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics.h"

namespace effectc {

// Returns true and fills blob when the source compiled without errors. On
// failure blob is left empty and diags holds every error found.
bool CompileEffect(const std::string& source, const std::string& sourceName,
                   std::vector<uint8_t>& blob, Diagnostics& diags);

}  // namespace effectc
