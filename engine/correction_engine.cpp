// The record's lifetime: defaults, the start with its workers, teardown.
#include "correction_engine.h"

#include <new>

#include "sse_probe.h"

namespace {

// One worker per processor beside the calling thread (RowBandsThreadCount),
// used where they measure cheaper unless the environment forces a count. A
// failure leaves fewer or none, which costs speed alone.
void StartEngineWorkers(CorrectionEngine* engine)
{
    bool forced = false;
    const int32_t threads = RowBandsThreadCount(&forced);
    engine->rowBands.use = forced ? bandsAlways : bandsMeasured;
    engine->rowBands.traceCalls = RowBandsTraceWanted();
    StartRowBands(&engine->rowBands, threads, engine->sseUsable);
}

}  // namespace

CorrectionEngine* InitEngine(CorrectionEngine* engine, const FilterDescription* filter)
{
    engine->filter = filter;
    engine->direct3d = nullptr;
    engine->device = nullptr;
    engine->sourceTexture = nullptr;
    engine->renderTarget = nullptr;
    engine->readbackSurface = nullptr;
    engine->quadVertexBuffer = nullptr;
    engine->vertexDeclaration = nullptr;
    engine->effect = nullptr;
    engine->eventQuery = nullptr;
    for (D3DXHANDLE& parameter : engine->parameters) {
        parameter = nullptr;
    }
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
    engine->reallocNeeded = true;
    engine->paramsChanged = true;
    return engine;
}

CorrectionEngine* StartEngine(const FilterDescription* filter, const FilterContext* context)
{
    CorrectionEngine* engine = new (std::nothrow) CorrectionEngine;
    if (engine == nullptr) {
        return nullptr;
    }
    InitEngine(engine, filter);
    if (!CreateEngineDevice(engine, context)) {
        EndEngine(engine);
        return nullptr;
    }
    StartEngineWorkers(engine);
    return engine;
}

void EndEngine(CorrectionEngine* engine)
{
    if (engine != nullptr) {
        DestroyEngine(engine);
        delete engine;
    }
}

void DestroyEngine(CorrectionEngine* engine)
{
    StopRowBands(&engine->rowBands);
    ReleaseDeviceObjects(engine);
    FreeD3dx(engine);
}
