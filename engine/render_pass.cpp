#include "render_pass.h"

#include <windows.h>

#include "correction_engine.h"
#include "format_table.h"

bool RenderFrame()
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr || engine->renderTarget == nullptr || engine->device == nullptr) {
        return false;
    }
    // A render target exists only for a working kind, each with a technique.
    D3DXHANDLE CorrectionEngine::*technique = FormatKindEntry(engine->formatKind).technique;
    if (technique == nullptr) {
        return false;
    }
    if (FAILED(engine->device->BeginScene())) {
        return false;
    }
    ID3DXEffect* effect = engine->effect;
    effect->SetTechnique(engine->*technique);
    engine->device->SetVertexDeclaration(engine->vertexDeclaration);
    UINT passes = 0;
    effect->Begin(&passes, 0);  // flags 0: the effect restores the state it changes
    engine->device->SetRenderTarget(0, engine->renderTarget);
    // One pass, whatever count the effect reports.
    effect->BeginPass(0);
    engine->device->SetStreamSource(0, engine->quadVertexBuffer, 0, sizeof(QuadVertex));
    engine->device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    effect->EndPass();
    effect->End();
    engine->device->EndScene();
    return true;
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
