#include "core/correction_constants.h"

#include <cstring>

CorrectionConstants ComputeCorrectionConstants(const int32_t tracks[trackCount])
{
    ParameterValues values[correctionParameterCount];
    ComputeParameterValues(correctionTracks, trackCount, correctionParameters,
                           correctionParameterCount, tracks, values);
    CorrectionConstants c{};
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&c);
    for (int p = 0; p < correctionParameterCount; ++p) {
        std::memcpy(bytes + sizeof(float) * ParameterOffset(p), values[p].components,
                    sizeof(float) * ComponentCount(correctionParameters[p].shape));
    }
    return c;
}
