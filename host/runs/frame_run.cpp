#include "runs/frame_run.h"

#include <algorithm>
#include <cstdio>
#include <io.h>

#include "core/format_kinds.h"
#include "core/correction_tracks.h"
#include "reports/run_progress.h"
#include "runs/stderr_message.h"
#include "stop_request.h"
#include "seconds_now.h"

namespace {

// Failed frames are reported one by one up to this many, then only counted.
constexpr int reportedFrameProblems = 10;

// Progress on standard error: rewritten in place on a terminal, a line at a
// time (the first frame, then every second, and the last) when asked for
// elsewhere.
struct Progress {
    bool enabled = false;
    bool terminal = false;
    double start = 0;
    double lastShown = -1;
    int64_t framesShown = -1;
};

void ShowProgress(Progress* progress, int64_t frames, int64_t total, bool last)
{
    if (!progress->enabled) return;
    const double now = SecondsNow();
    const double interval = progress->terminal ? 0.25 : 1.0;
    if (!last && progress->lastShown >= 0 && now - progress->lastShown < interval) return;
    if (last && !progress->terminal && progress->framesShown == frames) return;
    progress->lastShown = now;
    progress->framesShown = frames;
    const std::string text = ProgressText(frames, total, now - progress->start);
    if (progress->terminal) {
        std::fprintf(stderr, "\r%-60s%s", text.c_str(), last ? "\n" : "");
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
}

// The kind the plug-in reported, or the requested one when it showed none.
TextureFormatKind KindOfFrame(const DebugReport& report, const HostSession& session, bool* reported)
{
    int kind = FormatKindFromTag(report.formatTag);
    *reported = kind >= 0;
    if (kind < 0) {
        kind = ClampFormatKind(session.trackValues[trackFormat]);
    }
    return static_cast<TextureFormatKind>(kind);
}

// What the plug-in made of frame `index` (`frame`, corrected in place):
// its error messages, its debug window's text and, with --verify, the
// comparison with the reference model.
void TallyFrame(HostSession* session, const HostOptions& options, int64_t index,
                const YCFrame& input, YCFrame* frame, Verifier* verifier, FrameTally* tally)
{
    int32_t tracks[trackCount];
    std::copy(session->trackValues.begin(), session->trackValues.begin() + 16, tracks);
    FrameResult result = ProcessFrame(session, frame);
    const std::string number = std::to_string(index + 1);
    if (!result.paddingIntact && ++tally->pastWidth <= reportedFrameProblems) {
        TellUser("frame " + number + ": the plug-in wrote past the frame width");
    }
    if (result.returned == 0) {
        if (++tally->failed <= reportedFrameProblems) {
            TellUser("frame " + number + ": onProcess returned 0");
        }
    } else if (!result.hasDebugText) {
        tally->missingDebugText = true;
    } else {
        DebugReport debug = ParseDebugText(result.debugText);
        AddStageTimes(&tally->statistics, debug.stages);
        tally->lastReport = debug;
        tally->lastDebugText = result.debugText;
    }
    tally->hostTimes.push_back(result.hostSeconds);
    if (!options.verify || result.returned == 0) return;
    bool reported = false;
    TextureFormatKind kind = KindOfFrame(tally->lastReport, *session, &reported);
    tally->kindGuessed = tally->kindGuessed || !reported;
    if (FormatKindRowOf(kind) == nullptr) {
        // The debug window named no format and the Format track names none:
        // the model has no kind to follow.
        TellUser("frame " + number + ": no format kind to verify against");
        return;
    }
    const char* name = formatKinds[kind].name;
    std::string& kinds = tally->verifiedKinds;
    if (kinds.find(name) == std::string::npos) {
        kinds += kinds.empty() ? name : std::string(", ") + name;
    }
    const double verifyStart = SecondsNow();
    VerifyFrame(verifier, tracks, kind, input, *frame, &tally->verifyTotals);
    tally->verifyTimes.push_back(SecondsNow() - verifyStart);
}

// Before a frame, as the editor would after a settings change: onUpdate
// every --update-every frames.
void BeforeFrame(HostSession* session, const HostOptions& options, int64_t index)
{
    if (index > 0 && options.updateEvery != 0 && index % options.updateEvery == 0) {
        NotifyUpdate(session);
    }
}

// After every --release-every frames but the last: the filter switched
// off, told to free its frame memory and switched on again.
void AfterFrame(HostSession* session, const HostOptions& options, const FrameFeed& feed,
                int64_t index)
{
    if (options.releaseEvery != 0 && (index + 1) % options.releaseEvery == 0 &&
        (feed.length < 0 || index + 1 < feed.length)) {
        session->active = false;
        SendHostMessage(session, messageReleaseResources, 0, 0);
        session->active = true;
    }
}

}  // namespace

void RunFrames(HostSession* session, FrameFeed* feed, FrameSink* sink, const HostOptions& options,
               FrameTally* tally)
{
    Progress progress;
    progress.terminal = _isatty(_fileno(stderr)) != 0;
    progress.enabled = options.progress || progress.terminal;
    progress.start = SecondsNow();
    tally->progressShown = progress.enabled;
    const int64_t frameLimit = feed->sequential ? options.frames : feed->length;
    // A pipe has no length; --frames-expected gives it for the progress alone.
    const int64_t total = feed->length >= 0        ? feed->length
                          : options.framesExpected ? options.framesExpected
                                                   : -1;
    double lastStart = 0;
    Verifier verifier;
    YCFrame work;
    std::string error;
    for (int64_t i = 0;; ++i) {
        BeforeFrame(session, options, i);
        const double readStart = SecondsNow();
        if (i > 0) tally->periods.push_back(readStart - lastStart);
        lastStart = readStart;
        // The last frame's write waits for the next frame's read, unless the
        // input keeps it waiting (a pipe whose writer pauses).
        if (!NextFrameReady(feed)) StartWriting(sink);
        YCFrame* input = StopRequest() ? nullptr : NextFrame(feed, i, frameLimit, &error);
        StartWriting(sink);
        // A stop request may also have closed the input (ffmpeg before us
        // in a pipeline gets the same Ctrl-C): the request is the reason. A
        // frame that had arrived when it came is still corrected.
        if (StopRequest() != nullptr && input == nullptr) {
            tally->stoppedBy = StopRequest();
            break;
        }
        if (input == nullptr) {
            if (!error.empty()) {
                TellUser(error);
                tally->inputBroken = true;
            }
            break;
        }
        tally->lastInput = input;
        // A stream's frame is corrected in place unless the input is still
        // needed for --verify; frames held in memory are used again.
        YCFrame* frame = input;
        if (!feed->stream || options.verify) {
            work = *input;
            frame = &work;
        }
        double ownSeconds = SecondsNow() - readStart;
        TallyFrame(session, options, i, *input, frame, &verifier, tally);
        ++tally->framesProcessed;
        const double writeStart = SecondsNow();
        const bool written = WriteFrame(sink, *frame, i, &error);
        ownSeconds += SecondsNow() - writeStart;
        if (!written) {
            TellUser(error);
            tally->outputBroken = true;
            break;
        }
        ++tally->framesDone;
        tally->ownTimes.push_back(ownSeconds);
        ShowProgress(&progress, tally->framesDone, total, false);
        AfterFrame(session, options, *feed, i);
    }
    tally->runSeconds = SecondsNow() - progress.start;
    if (tally->framesDone > 0) {
        ShowProgress(&progress, tally->framesDone, total, true);
    }
}
