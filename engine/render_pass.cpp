#include "render_pass.h"

#include <windows.h>

#include "correction_engine.h"
#include "format_table.h"
#include "show_error.h"

namespace {

// The draw inside a begun scene: the technique of the kind, one pass of the
// effect over the quad. Every step that was begun is ended again, whatever
// fails after it, so the device and the effect are left as they were.
HRESULT DrawCorrection(CorrectionEngine* engine, D3DXHANDLE technique)
{
    ID3DXEffect* effect = engine->effect;
    HRESULT result = effect->SetTechnique(technique);
    if (FAILED(result)) {
        return ReportFailure(result, L"SetTechnique", errorNone);
    }
    engine->device->SetVertexDeclaration(engine->vertexDeclaration);
    UINT passes = 0;
    result = effect->Begin(&passes, 0);  // flags 0: the effect restores the state it changes
    if (FAILED(result)) {
        return ReportFailure(result, L"Begin", errorNone);
    }
    engine->device->SetRenderTarget(0, engine->renderTarget);
    // One pass, whatever count the effect reports.
    result = effect->BeginPass(0);
    if (FAILED(result)) {
        ReportFailure(result, L"BeginPass", errorNone);
    } else {
        engine->device->SetStreamSource(0, engine->quadVertexBuffer, 0, sizeof(QuadVertex));
        result = engine->device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        if (FAILED(result)) {
            ReportFailure(result, L"DrawPrimitive", errorNone);
        }
        effect->EndPass();
    }
    effect->End();
    return result;
}

}  // namespace

bool RenderFrame()
{
    CorrectionEngine* engine = correctionEngine;
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
    HRESULT result = engine->device->BeginScene();
    if (FAILED(result)) {
        ReportFailure(result, L"BeginScene", errorNone);
        return false;
    }
    result = DrawCorrection(engine, engine->techniques[engine->formatKind]);
    const HRESULT ended = engine->device->EndScene();
    if (FAILED(ended)) {
        ReportFailure(ended, L"EndScene", errorNone);
    }
    return SUCCEEDED(result) && SUCCEEDED(ended);
}

void WaitForGpu()
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr || engine->eventQuery == nullptr) {
        return;
    }
    engine->eventQuery->Issue(D3DISSUE_END);
    // FLUSH hands the queued commands to the GPU while we wait. Short waits
    // end within the first polls; after those, every poll gives up the rest
    // of the time slice, so that a driver or a software renderer working on
    // this processor gets it instead of a spinning thread. A yield returns
    // at once when nothing else is ready, so the wait still ends as soon as
    // the GPU does, and the stage times keep their precision.
    for (int poll = 0; engine->eventQuery->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE;
         ++poll) {
        __builtin_ia32_pause();
        if (poll >= gpuWaitSpinPolls) {
            SwitchToThread();
        }
    }
}
