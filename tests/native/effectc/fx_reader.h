// Test-side reader for fx_2_0 blobs: reads a compiled effect back into the
// compiler's own records, following every offset the way D3DX does but
// checking each against the data, so that a layout fault in the writer shows
// up as a named failure instead of garbage. It takes only what the effect
// compiler emits (no annotations, semantics, arrays or structs) and states
// the format's rules on its own, without the writer's code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fx_model.h"

namespace test {

// Returns false with a message on a bad tag or area size, a non-zero U+0, an
// offset outside the unstructured area, a name without its NUL or empty, a
// type outside the compiler's subset, object ids other than 1, 2, ... in
// order of appearance with the object count one past the last, a state
// value that is neither an INT 1x1 constant nor an object, an object state
// without exactly one resource of its kind, a resource addressing nothing,
// a texture without its empty object blob, or bytes after the last resource.
bool ReadFx20(const std::vector<uint8_t>& blob, effectc::FxEffect& effect, std::string& error);

}  // namespace test
