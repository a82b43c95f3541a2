#include "render_pass.h"

#include <windows.h>

#include "correction_engine.h"
#include "format_table.h"
#include "show_error.h"

namespace {

// The first failure of two steps, or the second step's answer.
HRESULT FirstFailure(HRESULT first, HRESULT second)
{
    return FAILED(first) ? first : second;
}

// The draw inside a begun scene: the technique of the kind, one pass of the
// effect over the quad. Every step that was begun is ended again, whatever
// fails after it, so the device and the effect are left as they were; the
// first failure is the answer.
HRESULT DrawCorrection(CorrectionEngine* engine, D3DXHANDLE technique)
{
    ID3DXEffect* effect = engine->effect;
    IDirect3DDevice9* device = engine->device;
    HRESULT result = CHECK_CALL(effect->SetTechnique(technique), errorNone);
    if (SUCCEEDED(result)) {
        result = CHECK_CALL(device->SetVertexDeclaration(engine->vertexDeclaration), errorNone);
    }
    if (FAILED(result)) {
        return result;
    }
    UINT passes = 0;
    // Flags 0: the effect restores the state it changes.
    result = CHECK_CALL(effect->Begin(&passes, 0), errorNone);
    if (FAILED(result)) {
        return result;
    }
    result = CHECK_CALL(device->SetRenderTarget(0, engine->renderTarget), errorNone);
    if (SUCCEEDED(result)) {
        // One pass, whatever count the effect reports.
        result = CHECK_CALL(effect->BeginPass(0), errorNone);
        if (SUCCEEDED(result)) {
            result = CHECK_CALL(
                device->SetStreamSource(0, engine->quadVertexBuffer, 0, sizeof(QuadVertex)),
                errorNone);
            if (SUCCEEDED(result)) {
                result = CHECK_CALL(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), errorNone);
            }
            result = FirstFailure(result, CHECK_CALL(effect->EndPass(), errorNone));
        }
    }
    return FirstFailure(result, CHECK_CALL(effect->End(), errorNone));
}

}  // namespace

bool RenderFrame(CorrectionEngine* engine)
{
    if (engine == nullptr || engine->renderTarget == nullptr || engine->device == nullptr) {
        return false;
    }
    // A render target exists only for a kind of the table, each with a
    // technique.
    if (FormatKindRowOf(engine->formatKind) == nullptr) {
        return false;
    }
    // A frame whose draw failed is refused: the render target would hand an
    // older frame, or none, back to the host as if it were this one.
    if (FAILED(CHECK_CALL(engine->device->BeginScene(), errorNone))) {
        return false;
    }
    const HRESULT result = DrawCorrection(engine, engine->techniques[engine->formatKind]);
    const HRESULT ended = CHECK_CALL(engine->device->EndScene(), errorNone);
    return SUCCEEDED(result) && SUCCEEDED(ended);
}

void WaitForGpu(CorrectionEngine* engine)
{
    if (engine == nullptr || engine->eventQuery == nullptr) {
        return;
    }
    IDirect3DQuery9* query = engine->eventQuery;
    BEST_EFFORT(query->Issue(D3DISSUE_END));
    // FLUSH hands the queued commands to the GPU while we wait. Short waits
    // end within the first polls; after those, every poll gives up the rest
    // of the time slice, so that a driver or a software renderer working on
    // this processor gets it instead of a spinning thread. A yield returns
    // at once when nothing else is ready, so the wait still ends as soon as
    // the GPU does, and the stage times keep their precision.
    for (int poll = 0;
         CHECK_CALL(query->GetData(nullptr, 0, D3DGETDATA_FLUSH), errorNone, {S_FALSE}) == S_FALSE;
         ++poll) {
        __builtin_ia32_pause();
        if (poll >= gpuWaitSpinPolls) {
            SwitchToThread();
        }
    }
}
