// The constant table ("CTAB" comment) of a shader. D3DX reads it at
// BeginPass to learn which effect parameter goes to which register and which
// sampler parameter to apply to which stage; a shader without one loads fine
// but receives nothing, so every shader this tool emits carries one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace effectc {

enum RegisterSet : uint16_t {
    registerSetBool = 0,
    registerSetInt4 = 1,
    registerSetFloat4 = 2,
    registerSetSampler = 3,
};

struct ConstantTableEntry {
    std::string name;  // must equal the effect parameter's name
    RegisterSet registerSet = registerSetFloat4;
    uint16_t registerIndex = 0;
    uint16_t registerCount = 1;
    // Type description, D3DXPARAMETER_CLASS / D3DXPARAMETER_TYPE values.
    uint16_t typeClass = 0;
    uint16_t type = 0;
    uint16_t rows = 1;
    uint16_t columns = 1;
};

constexpr uint32_t ctabFourCC = 0x42415443u;  // 'C','T','A','B'

// The complete comment: comment token, fourcc, table. version is the shader's
// version token; target its profile name ("ps_2_0").
std::vector<uint32_t> BuildConstantTableComment(const std::vector<ConstantTableEntry>& entries,
                                                uint32_t version, const std::string& target,
                                                const std::string& creator);

// Returns the shader with the comment placed right after the version token,
// where compilers put it.
std::vector<uint32_t> InsertAfterVersion(const std::vector<uint32_t>& shader,
                                         const std::vector<uint32_t>& comment);

}  // namespace effectc
