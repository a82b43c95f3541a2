#include "correction_parameters.h"

#include "core/correction_constants.h"
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

bool SetCorrectionParameters(const int32_t tracks[trackCount], CorrectionEngine* engine)
{
    const CorrectionConstants constants = ComputeCorrectionConstants(tracks);
    ID3DXEffect* effect = engine->effect;
    SetVectorParameter(effect, engine->hYcOffs, constants.ycOffs);
    SetVectorParameter(effect, engine->hYcAmp, constants.ycAmp);
    SetVectorParameter(effect, engine->hBgrOffs, constants.bgrOffs);
    SetVectorParameter(effect, engine->hBgrAmp, constants.bgrAmp);
    SetVectorParameter(effect, engine->hBgrGamma, constants.bgrGamma);
    SetMatrixParameter(effect, engine->hMatYC2BGR, constants.matYC2BGR);
    SetMatrixParameter(effect, engine->hMatBGR2YC, constants.matBGR2YC);
    return true;
}
