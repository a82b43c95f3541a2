// Serialises an FxEffect into the binary fx_2_0 form that D3DXCreateEffect
// loads: tag, an unstructured area of strings/types/values addressed by
// offset, then the structured records, object blobs and resources.
#pragma once

#include <cstdint>
#include <vector>

#include "fx_model.h"

namespace effectc {

constexpr uint32_t fx20Tag = 0xFEFF0901u;

std::vector<uint8_t> WriteFx20(const FxEffect& effect);

}  // namespace effectc
