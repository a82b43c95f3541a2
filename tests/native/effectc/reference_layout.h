// Builds fx_2_0 containers in the reference compiler's layout from a
// description, so the reader is checked against that layout and not only
// against effectc's writer. The layout follows effects compiled by the
// reference compiler and decoded by hand (tools/effectc/README.md); no bytes
// of those effects are used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fx_reader.h"

namespace test {

// Lays out `d` as the reference compiler would: in the unstructured area a
// parameter's typedef, its value, each annotation's value then typedef then
// names, then the parameter's names (outer name before member names); a
// sampler's typedef before its states' values and its state list; every
// state's value before its typedef; pass names before technique names.
// Values, object ids, object data and resources are written as described.
std::vector<uint8_t> buildReferenceLayout(const FxFile& d);

// Every field of `f` as text, for comparing a read-back with its description.
std::string describe(const FxFile& f);

}  // namespace test
