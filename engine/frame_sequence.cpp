// The order in which one frame goes through the engine, and the flags that
// carry what changed from one frame to the next.
#include "correction_engine.h"

#include "correction_parameters.h"
#include "format_table.h"
#include "frame_resources.h"
#include "host_interface/debug_window.h"
#include "pixel_transfer.h"
#include "render_pass.h"

namespace {

// The kind the filter's Format track asks for (ClampFormatKind of its
// value); kindNone, the lowest the device can use, without a Format track.
int FormatKindAskedFor(const CorrectionEngine* engine, const int32_t* tracks)
{
    const int track = engine->filter->formatTrack;
    return track < 0 ? kindNone : ClampFormatKind(tracks[track]);
}

}  // namespace

void ChangeSettings(CorrectionEngine* engine, const int32_t* tracks)
{
    if (engine == nullptr) {
        return;
    }
    engine->paramsChanged = true;
    if (engine->formatKind != FormatKindAskedFor(engine, tracks)) {
        engine->reallocNeeded = true;
    }
}

void ReleaseFrameMemory(CorrectionEngine* engine)
{
    if (engine != nullptr) {
        ReleaseFrameResources(engine);
        engine->reallocNeeded = true;
    }
}

int RunFrameThroughEffect(CorrectionEngine* engine, const int32_t* tracks, FrameInfo* frame,
                          StageMark mark)
{
    if (engine == nullptr || frame == nullptr || frame->pixels == nullptr) {
        return 0;
    }
    WaitForGpu(engine);
    mark(0, stageInit);
    if (frame->width != engine->frameWidth || frame->height != engine->frameHeight) {
        engine->reallocNeeded = true;
    }
    if (!CheckDevice(engine)) {
        return 0;
    }

    int next = 1;
    if (engine->reallocNeeded) {
        ReleaseFrameResources(engine);
        if (!AllocateFrameResources(engine, FormatKindAskedFor(engine, tracks), frame->width,
                                    frame->height, frame->maxWidth)) {
            return 0;  // reallocNeeded stays set: the next frame tries again
        }
        SetCorrectionParameters(tracks, engine);
        WaitForGpu(engine);
        mark(1, stageAlloc);
        engine->reallocNeeded = false;
        engine->paramsChanged = false;
        next = 2;
    } else if (engine->paramsChanged) {
        if (engine->effect != nullptr) {
            SetCorrectionParameters(tracks, engine);
        }
        WaitForGpu(engine);
        mark(1, stageParam);
        engine->paramsChanged = false;
        next = 2;
    }

    // The row pitch is taken from this frame: a host may change its maximum
    // width without changing the frame size, which does not re-allocate.
    if (!UploadFrame(engine, frame->pixels, frame->maxWidth)) {
        return 0;
    }
    WaitForGpu(engine);
    mark(next, stagePut);
    if (!RenderFrame(engine)) {
        return 0;
    }
    WaitForGpu(engine);
    mark(next + 1, stageProc);
    if (!DownloadFrame(engine, frame->pixels, frame->maxWidth)) {
        return 0;
    }
    mark(next + 2, stageGet);
    return next + 3;
}

FrameTag TagOfFrame(const CorrectionEngine* engine)
{
    return {engine->frameWidth, engine->frameHeight, FormatKindName(engine)};
}
