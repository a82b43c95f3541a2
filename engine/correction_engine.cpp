// The record's lifetime: defaults, teardown, and the process-wide state.
#include "correction_engine.h"

#include "sse_probe.h"

CorrectionEngine* correctionEngine = nullptr;
bool reallocNeeded = true;

CorrectionEngine* InitEngine(CorrectionEngine* engine)
{
    engine->direct3d = nullptr;
    engine->device = nullptr;
    engine->sourceTexture = nullptr;
    engine->renderTarget = nullptr;
    engine->readbackSurface = nullptr;
    engine->quadVertexBuffer = nullptr;
    engine->vertexDeclaration = nullptr;
    engine->effect = nullptr;
    engine->eventQuery = nullptr;
    engine->hYcOffs = nullptr;
    engine->hYcAmp = nullptr;
    engine->hBgrOffs = nullptr;
    engine->hBgrAmp = nullptr;
    engine->hBgrGamma = nullptr;
    engine->hMatYC2BGR = nullptr;
    engine->hMatBGR2YC = nullptr;
    for (D3DXHANDLE& technique : engine->techniques) {
        technique = nullptr;
    }
    engine->frameWidth = -1;
    engine->frameHeight = -1;
    engine->framePitch = -1;
    engine->sseUsable = ProbeSse();
    engine->formatKind = kindNone;
    for (bool& available : engine->formatAvailable) {
        available = false;
    }
    engine->d3dxModule = nullptr;
    engine->createEffectFromResource = nullptr;
    ClearRowBands(&engine->rowBands);
    return engine;
}

void StartEngineWorkers(CorrectionEngine* engine)
{
    bool forced = false;
    const int32_t threads = RowBandsThreadCount(&forced);
    engine->rowBands.use = forced ? bandsAlways : bandsMeasured;
    StartRowBands(&engine->rowBands, threads, engine->sseUsable);
}

void DestroyEngine(CorrectionEngine* engine)
{
    StopRowBands(&engine->rowBands);
    ReleaseDeviceObjects(engine);
    FreeD3dx(engine);
}
