// The five callbacks the host drives, for the module's one filter. All state
// lives in a few process-wide variables: the host calls these one at a time
// on one thread, and passes no place of the plug-in's own.
#include "filter_callbacks.h"

#include "engine/engine_interface.h"
#include "host_interface/debug_window.h"
#include "core/slider_sync.h"
#include "stage_timer.h"

namespace {

// The process-wide engine: null while none exists.
CorrectionEngine* correctionEngine = nullptr;

StageCheckpoint stageTimer[stageCheckpointCount];
double counterFrequency = 1.0;
HWND debugWindow = nullptr;

void MarkFrameStage(int index, const wchar_t* label)
{
    MarkStage(stageTimer, index, label);
}

void ShowStageTimes(int count)
{
    if (debugWindow == nullptr) {
        return;
    }
    wchar_t text[stageTextCapacity];
    const FrameTag tag = TagOfFrame(correctionEngine);
    FormatStageText(text, tag.width, tag.height, tag.kindName, stageTimer, count, counterFrequency);
    SendMessageW(debugWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
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

int32_t InitFilter(const FilterDescription& filter, FilterContext* context)
{
    if (context == nullptr || correctionEngine != nullptr) {
        return context != nullptr ? 1 : 0;
    }
    correctionEngine = StartEngine(&filter, context);
    if (correctionEngine == nullptr) {
        return 0;
    }
    counterFrequency = ReadCounterFrequency(counterFrequency);
    debugWindow = CreateDebugWindow(context->window, context->moduleInstance);
    return 1;
}

int32_t ExitFilter(FilterContext*)
{
    if (debugWindow != nullptr) {
        DestroyWindow(debugWindow);
        debugWindow = nullptr;
    }
    EndEngine(correctionEngine);
    correctionEngine = nullptr;
    return 1;
}

int32_t ProcessFilterFrame(FilterContext* context, FrameInfo* frame)
{
    if (correctionEngine == nullptr || !UsableContext(context)) {
        return 0;
    }
    const int count = RunFrameThroughEffect(correctionEngine, context->trackValues, frame,
                                            MarkFrameStage);
    if (count == 0) {
        return 0;
    }
    ShowStageTimes(count);
    return 1;
}

int32_t UpdateFilter(const FilterDescription& filter, FilterContext* context, int32_t)
{
    if (!UsableContext(context)) {
        return 1;
    }
    int32_t* tracks = context->trackValues;
    ChangeSettings(correctionEngine, tracks);
    if (filter.rgbSyncCheck < 0 || context->checkValues == nullptr ||
        context->checkValues[filter.rgbSyncCheck] == 0) {
        return 1;
    }
    if (SyncRgbTracks(filter.tracks, filter.trackCount, tracks)) {
        HostFunctions* functions = context->hostFunctions;
        if (functions != nullptr && functions->refreshWindow != nullptr) {
            functions->refreshWindow(context);
        }
    }
    return 1;
}

int32_t HandleFilterMessage(const FilterDescription& filter, uint32_t message, int32_t wParam,
                            FilterContext* context)
{
    if (context == nullptr) {
        return 0;
    }
    if (message == messageReleaseResources) {
        // While the filter is switched off its GPU memory is given back; the
        // first frame after it is switched on again rebuilds it.
        if (correctionEngine != nullptr && IsFilterActive(context) == 0) {
            ReleaseFrameMemory(correctionEngine);
        }
    } else if (message == messageSettingsChanged) {
        if (IsFilterActive(context) == 0) {
            UpdateFilter(filter, context, wParam);
        }
    }
    return 0;
}
