#include "correction_parameters.h"

#include "show_error.h"

namespace {

// A vector parameter the effect lacks is left alone without a word: an effect
// may do without a correction stage.
void SetVectorParameter(ID3DXEffect* effect, D3DXHANDLE handle, const float value[4])
{
    if (handle == nullptr) {
        return;
    }
    const D3DXVECTOR4 vector(value[0], value[1], value[2], value[3]);
    CHECK_CALL(effect->SetVector(handle, &vector), errorParameter);
}

// The matrices are set whatever their handle: without them no colour comes
// out right, so a missing one is reported every time.
void SetMatrixParameter(ID3DXEffect* effect, D3DXHANDLE handle, const float value[16])
{
    CHECK_CALL(effect->SetValue(handle, value, 16 * sizeof(float)), errorMatrix);
}

}  // namespace

bool SetCorrectionParameters(const int32_t* tracks, CorrectionEngine* engine)
{
    const FilterDescription& filter = *engine->filter;
    ParameterValues values[largestParameterCount];
    ComputeParameterValues(filter.tracks, filter.trackCount, filter.parameters,
                           filter.parameterCount, tracks, values);
    for (int p = 0; p < filter.parameterCount; ++p) {
        if (filter.parameters[p].shape == ParameterShape::matrix) {
            SetMatrixParameter(engine->effect, engine->parameters[p], values[p].components);
        } else {
            SetVectorParameter(engine->effect, engine->parameters[p], values[p].components);
        }
    }
    return true;
}
