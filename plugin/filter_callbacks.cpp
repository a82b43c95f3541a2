// The five callbacks the host drives, and the order in which one frame goes
// through the engine. All state lives in a few process-wide variables: the
// host calls these one at a time on one thread.
#include <new>

#include "correction_parameters.h"
#include "filter_table.h"
#include "format_table.h"
#include "frame_resources.h"
#include "host_interface/debug_window.h"
#include "pixel_transfer.h"
#include "render_pass.h"
#include "slider_sync.h"
#include "stage_timer.h"

namespace {

// Set at load and by every settings change; the next frame recomputes the
// effect constants. (reallocNeeded, its sibling, belongs to the engine,
// since a device reset sets it too.)
bool paramsChanged = true;

StageCheckpoint stageTimer[stageCheckpointCount];
double counterFrequency = 1.0;
HWND debugWindow = nullptr;

void ShowStageTimes(int count)
{
    if (debugWindow == nullptr) {
        return;
    }
    wchar_t text[stageTextCapacity];
    const CorrectionEngine* engine = correctionEngine;
    FormatStageText(text, engine != nullptr ? engine->frameWidth : 0,
                    engine != nullptr ? engine->frameHeight : 0,
                    engine != nullptr ? FormatKindName() : L"?", stageTimer, count,
                    counterFrequency);
    SendMessageW(debugWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void DestroyProcessEngine()
{
    if (correctionEngine != nullptr) {
        DestroyEngine(correctionEngine);
        delete correctionEngine;
        correctionEngine = nullptr;
    }
}

// A host may hand over a broken context; nothing is touched through one.
bool UsableContext(const FilterContext* context)
{
    return context != nullptr && context->trackValues != nullptr;
}

int32_t IsFilterActive(FilterContext* context)
{
    HostFunctions* functions = context->hostFunctions;
    // Without the host's answer the filter counts as switched on, so
    // nothing is released or changed on a guess.
    if (functions == nullptr || functions->isActive == nullptr) {
        return 1;
    }
    return functions->isActive(context);
}

}  // namespace

int32_t __cdecl onInit(FilterContext* context)
{
    if (context == nullptr || correctionEngine != nullptr) {
        return context != nullptr ? 1 : 0;
    }
    CorrectionEngine* engine = new (std::nothrow) CorrectionEngine;
    if (engine == nullptr) {
        return 0;
    }
    correctionEngine = InitEngine(engine);
    if (!CreateEngineDevice(context)) {
        DestroyProcessEngine();
        return 0;
    }
    StartEngineWorkers(engine);
    counterFrequency = ReadCounterFrequency(counterFrequency);
    debugWindow = CreateDebugWindow(context->window, context->moduleInstance);
    return 1;
}

int32_t __cdecl onExit(FilterContext*)
{
    if (debugWindow != nullptr) {
        DestroyWindow(debugWindow);
        debugWindow = nullptr;
    }
    DestroyProcessEngine();
    return 1;
}

int32_t __cdecl onProcess(FilterContext* context, FrameInfo* frame)
{
    CorrectionEngine* engine = correctionEngine;
    if (engine == nullptr || !UsableContext(context) || frame == nullptr ||
        frame->pixels == nullptr) {
        return 0;
    }
    WaitForGpu();
    MarkStage(stageTimer, 0, stageInit);
    if (frame->width != engine->frameWidth || frame->height != engine->frameHeight) {
        reallocNeeded = true;
    }
    if (!CheckDevice()) {
        return 0;
    }

    int next = 1;
    if (reallocNeeded) {
        ReleaseFrameResources(engine);
        if (!AllocateFrameResources(ClampedFormatTrack(context->trackValues), frame->width,
                                    frame->height, frame->maxWidth)) {
            return 0;  // reallocNeeded stays set: the next frame tries again
        }
        if (engine->effect != nullptr) {
            SetCorrectionParameters(context->trackValues, engine);
        }
        WaitForGpu();
        MarkStage(stageTimer, 1, stageAlloc);
        reallocNeeded = false;
        paramsChanged = false;
        next = 2;
    } else if (paramsChanged) {
        if (engine->effect != nullptr) {
            SetCorrectionParameters(context->trackValues, engine);
        }
        WaitForGpu();
        MarkStage(stageTimer, 1, stageParam);
        paramsChanged = false;
        next = 2;
    }

    // The row pitch is taken from this frame: a host may change its maximum
    // width without changing the frame size, which does not re-allocate.
    if (!UploadFrame(frame->pixels, frame->maxWidth)) {
        return 0;
    }
    WaitForGpu();
    MarkStage(stageTimer, next, stagePut);
    if (!RenderFrame()) {
        return 0;
    }
    WaitForGpu();
    MarkStage(stageTimer, next + 1, stageProc);
    if (!DownloadFrame(frame->pixels, frame->maxWidth)) {
        return 0;
    }
    MarkStage(stageTimer, next + 2, stageGet);
    ShowStageTimes(next + 3);
    return 1;
}

int32_t __cdecl onUpdate(FilterContext* context, int32_t)
{
    if (!UsableContext(context)) {
        return 1;
    }
    paramsChanged = true;
    int32_t* tracks = context->trackValues;
    if (correctionEngine != nullptr && correctionEngine->formatKind != ClampedFormatTrack(tracks)) {
        reallocNeeded = true;
    }
    if (context->checkValues == nullptr || context->checkValues[0] == 0) {
        return 1;
    }
    if (SyncRgbTracks(tracks)) {
        HostFunctions* functions = context->hostFunctions;
        if (functions != nullptr && functions->refreshWindow != nullptr) {
            functions->refreshWindow(context);
        }
    }
    return 1;
}

int32_t __cdecl onWindowMessage(HWND, uint32_t message, int32_t wParam, int32_t, void*,
                                FilterContext* context)
{
    if (context == nullptr) {
        return 0;
    }
    if (message == messageReleaseResources) {
        // While the filter is switched off its GPU memory is given back; the
        // first frame after it is switched on again rebuilds it.
        if (correctionEngine != nullptr && IsFilterActive(context) == 0) {
            ReleaseFrameResources(correctionEngine);
            reallocNeeded = true;
        }
    } else if (message == messageSettingsChanged) {
        if (IsFilterActive(context) == 0) {
            onUpdate(context, wParam);
        }
    }
    return 0;
}
