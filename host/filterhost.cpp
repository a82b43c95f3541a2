// Development host: loads a filter plug-in of this interface the way the
// video editor does, runs frames through it and reports on them. See
// `filterhost --help`.
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

#include <windows.h>

#include "cube_lut.h"
#include "cube_run.h"
#include "error_boxes.h"
#include "frame_streams.h"
#include "host_session.h"
#include "host_interface/tracks.h"
#include "options.h"
#include "precision_run.h"
#include "run_progress.h"
#include "same_file.h"
#include "seconds_now.h"
#include "stage_summary.h"
#include "verify.h"

namespace {

enum ExitStatus { exitDone = 0, exitFailed = 1, exitUsage = 2, exitVerify = 3 };

// Failed frames are reported one by one up to this many, then only counted.
constexpr int reportedFrameProblems = 10;

void Complain(const std::string& message)
{
    std::fprintf(stderr, "filterhost: %s\n", message.c_str());
}

// Progress on standard error: rewritten in place on a terminal, a line at a
// time (the first frame, then every second) when asked for elsewhere.
struct Progress {
    bool enabled = false;
    bool terminal = false;
    double start = 0;
    double lastShown = -1;
};

void ShowProgress(Progress* progress, int64_t frames, int64_t total, bool last)
{
    if (!progress->enabled) return;
    const double now = SecondsNow();
    const double interval = progress->terminal ? 0.25 : 1.0;
    if (!last && progress->lastShown >= 0 && now - progress->lastShown < interval) return;
    if (last && !progress->terminal) return;
    progress->lastShown = now;
    const std::string text = ProgressText(frames, total, now - progress->start);
    if (progress->terminal) {
        std::fprintf(stderr, "\r%-60s%s", text.c_str(), last ? "\n" : "");
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
}

void ApplySettings(HostSession* session, const HostOptions& options, bool* ok)
{
    const FilterTable& t = *session->table;
    std::string error;
    for (const IndexedValue& v : options.tracks) {
        if (!SetTrack(session, v.index, v.value, &error)) {
            Complain(error);
            *ok = false;
            continue;
        }
        // A slider cannot be moved past its ends, so neither can a track here.
        if (t.trackMinimums != nullptr && t.trackMaximums != nullptr &&
            (v.value < t.trackMinimums[v.index] || v.value > t.trackMaximums[v.index])) {
            Complain("track " + std::to_string(v.index) + " = " + std::to_string(v.value) +
                     " lies outside its range " + std::to_string(t.trackMinimums[v.index]) +
                     ".." + std::to_string(t.trackMaximums[v.index]));
            *ok = false;
        }
    }
    for (const IndexedValue& v : options.checks) {
        if (!SetCheck(session, v.index, v.value, &error)) {
            Complain(error);
            *ok = false;
        }
    }
}

// The kind the plug-in reported, or the requested one when it showed none.
TextureFormatKind KindOfFrame(const DebugReport& report, const HostSession& session,
                              bool* reported)
{
    int kind = FormatKindFromTag(report.formatTag);
    *reported = kind >= 0;
    if (kind < 0) {
        kind = ClampFormatKind(session.trackValues[trackFormat]);
    }
    return static_cast<TextureFormatKind>(kind);
}

void PrintVerifyReport(std::FILE* report, const VerifyTotals& totals, const std::string& kinds)
{
    std::fprintf(report, "verify:    %lld pixels in %lld frames against the reference model (%s)\n",
                static_cast<long long>(totals.pixels), static_cast<long long>(totals.frames),
                kinds.c_str());
    std::fprintf(report, "  largest error (host units): Y %d  Cb %d  Cr %d\n",
                static_cast<int>(totals.largestError[0]), static_cast<int>(totals.largestError[1]),
                static_cast<int>(totals.largestError[2]));
    std::fprintf(report, "  outside the accepted range: %lld pixels\n",
                static_cast<long long>(totals.outside));
    if (totals.hasExample) {
        std::fprintf(report, "  first: frame %lld at (%d, %d): input (%d, %d, %d) expected (%d, %d, %d) "
                    "got (%d, %d, %d)\n",
                    static_cast<long long>(totals.exampleFrame + 1), totals.exampleX, totals.exampleY,
                    totals.exampleInput.y, totals.exampleInput.cb, totals.exampleInput.cr,
                    totals.exampleExpected.y, totals.exampleExpected.cb,
                    totals.exampleExpected.cr, totals.exampleActual.y, totals.exampleActual.cb,
                    totals.exampleActual.cr);
    }
}

int Run(const HostOptions& options)
{
    // With the video on standard output, everything else goes to stderr.
    std::FILE* report = OutputIsStdout(options) ? stderr : stdout;
    std::wstring pluginPath =
        options.pluginPath.empty() ? DefaultPluginPath() : WideFromUtf8(options.pluginPath);
    HostSession session;
    std::string error;
    if (!OpenSession(&session, pluginPath, &error)) {
        Complain(error);
        return exitFailed;
    }
    if (options.table) {
        std::printf("plugin:    %s\n%s", Utf8FromWide(pluginPath.c_str()).c_str(),
                    DescribeTable(*session.table).c_str());
        CloseSession(&session);
        return exitDone;
    }

    // Unattended runs must never wait for a click on a system-modal box.
    if (!options.showErrors && !CaptureErrorBoxes(session.module, EchoErrorBox, &error)) {
        // Nothing to catch; the plug-in shows no boxes through MessageBoxW.
        error.clear();
    }

    if (!options.precisionReportDir.empty()) {
        int status = exitDone;
        if (StartPlugin(&session) == 0) {
            Complain("the plug-in did not start: onInit returned 0");
            status = exitFailed;
        } else if (!RunPrecisionReport(&session, options.precisionReportDir,
                                       "filterhost --precision-report " +
                                           options.precisionReportDir,
                                       &error)) {
            Complain(error);
            status = exitFailed;
        }
        CloseSession(&session);
        return status;
    }

    bool settingsOk = true;
    ApplySettings(&session, options, &settingsOk);
    if (!settingsOk) {
        CloseSession(&session);
        return exitUsage;
    }

    if (!options.cubePath.empty()) {
        int status = exitDone;
        if (StartPlugin(&session) == 0) {
            Complain("the plug-in did not start: onInit returned 0");
            status = exitFailed;
        } else {
            NotifyUpdate(&session);
            const int size = options.cubeSize != 0 ? options.cubeSize : defaultCubeSize;
            if (!RunCubeExport(&session, options.cubePath, size, report, &error)) {
                Complain(error);
                status = exitFailed;
            }
        }
        CloseSession(&session);
        return status;
    }

    // Before anything is opened for writing.
    if (OutputIsInput(options.inputPath, options.outputPath, &error) ||
        OutputIsInput(options.inputPath, options.beforePath, &error)) {
        Complain(error);
        CloseSession(&session);
        return exitUsage;
    }
    FrameFeed feed;
    FrameSink sink;
    std::vector<std::string> notes;
    if (!OpenFeed(options, &feed, &notes, &error)) {
        Complain(error);
        CloseFeed(&feed);
        CloseSession(&session);
        return exitUsage;
    }
    for (const std::string& note : notes) {
        Complain(note);
    }
    if (!OpenSink(options, feed, &sink, &error)) {
        Complain(error);
        CloseSink(&sink, &error);
        CloseFeed(&feed);
        CloseSession(&session);
        return exitFailed;
    }

    if (StartPlugin(&session) == 0) {
        Complain("the plug-in did not start: onInit returned 0");
        CloseSession(&session);
        CloseSink(&sink, &error);
        CloseFeed(&feed);
        return exitFailed;
    }
    // As after loading saved settings, so RGB sync sees the starting values.
    NotifyUpdate(&session);

    Progress progress;
    progress.terminal = _isatty(_fileno(stderr)) != 0;
    progress.enabled = options.progress || progress.terminal;
    progress.start = SecondsNow();
    const bool streamRun = feed.stream || sink.kind == FileKind::y4m;

    const int64_t frameLimit = feed.stream ? options.frames : feed.length;
    int64_t framesDone = 0;
    int failed = 0;
    int pastWidth = 0;
    bool inputBroken = false;
    bool outputBroken = false;
    bool missingDebugText = false;
    std::vector<StageStatistics> statistics;
    std::vector<double> hostTimes;
    std::vector<double> ownTimes;
    std::vector<double> periods;
    double lastStart = 0;
    DebugReport lastReport;
    std::string lastDebugText;
    Verifier verifier;
    VerifyTotals verifyTotals;
    std::string verifiedKinds;
    bool kindGuessed = false;
    YCFrame work;
    const YCFrame* lastInput = nullptr;  // a picture's, held by the feed
    for (int64_t i = 0;; ++i) {
        if (i > 0 && options.updateEvery != 0 && i % options.updateEvery == 0) {
            NotifyUpdate(&session);
        }
        const double readStart = SecondsNow();
        if (i > 0) periods.push_back(readStart - lastStart);
        lastStart = readStart;
        YCFrame* input = NextFrame(&feed, i, frameLimit, &error);
        if (input != nullptr) lastInput = input;
        StartWriting(&sink);
        if (input == nullptr) {
            if (!error.empty()) {
                Complain(error);
                inputBroken = true;
            }
            break;
        }
        // A stream's frame is corrected in place unless the input is still
        // needed for --verify; frames held in memory are used again.
        YCFrame* frame = input;
        if (!feed.stream || options.verify) {
            work = *input;
            frame = &work;
        }
        double ownSeconds = SecondsNow() - readStart;
        int32_t tracks[trackCount];
        std::copy(session.trackValues.begin(), session.trackValues.begin() + 16, tracks);
        FrameResult result = ProcessFrame(&session, frame);
        if (!result.paddingIntact && ++pastWidth <= reportedFrameProblems) {
            Complain("frame " + std::to_string(i + 1) + ": the plug-in wrote past the frame width");
        }
        if (result.returned == 0) {
            if (++failed <= reportedFrameProblems) {
                Complain("frame " + std::to_string(i + 1) + ": onProcess returned 0");
            }
        } else if (!result.hasDebugText) {
            missingDebugText = true;
        } else {
            DebugReport debug = ParseDebugText(result.debugText);
            AddStageTimes(&statistics, debug.stages);
            lastReport = debug;
            lastDebugText = result.debugText;
        }
        hostTimes.push_back(result.hostSeconds);
        if (options.verify && result.returned != 0) {
            bool reported = false;
            TextureFormatKind kind = KindOfFrame(lastReport, session, &reported);
            kindGuessed = kindGuessed || !reported;
            const char* name = textureFormatKindNames[kind];
            if (verifiedKinds.find(name) == std::string::npos) {
                verifiedKinds += verifiedKinds.empty() ? name : std::string(", ") + name;
            }
            VerifyFrame(&verifier, tracks, kind, *input, *frame, &verifyTotals);
        }
        const double writeStart = SecondsNow();
        const bool written = WriteFrame(&sink, *frame, i, &error);
        ownSeconds += SecondsNow() - writeStart;
        if (!written) {
            Complain(error);
            outputBroken = true;
            break;
        }
        ++framesDone;
        ownTimes.push_back(ownSeconds);
        ShowProgress(&progress, framesDone, feed.length, false);
        if (options.releaseEvery != 0 && (i + 1) % options.releaseEvery == 0 &&
            (feed.length < 0 || i + 1 < feed.length)) {
            session.active = false;
            SendHostMessage(&session, messageReleaseResources, 0, 0);
            session.active = true;
        }
    }
    const double runSeconds = SecondsNow() - progress.start;
    if (framesDone > 0) {
        ShowProgress(&progress, framesDone, feed.length, true);
    }
    CloseSession(&session);
    error.clear();
    if (!CloseSink(&sink, &error)) {
        if (!error.empty()) Complain(error);
        outputBroken = true;
        framesDone = sink.framesWritten;
    }
    std::vector<std::string> written;
    // Files only: a stream on standard output speaks for itself.
    if (!outputBroken && sink.kind != FileKind::unknown && sink.path != "-" && framesDone > 0) {
        written.push_back(sink.name + (sink.kind == FileKind::y4m || sink.kind == FileKind::raw
                                           ? " (" + std::to_string(framesDone) + " frames)"
                                           : " (the last frame, corrected)"));
    }
    if (!options.beforePath.empty() && lastInput != nullptr) {
        if (SavePicture(options.beforePath, RgbFromFrame(*lastInput), &error)) {
            written.push_back(options.beforePath + " (the input, as the plug-in received it)");
        } else {
            Complain(error);
            outputBroken = true;
        }
    }
    if (feed.stream && options.frames != 0 && framesDone < options.frames && !inputBroken &&
        !outputBroken) {
        Complain("note: the stream ended after " + std::to_string(framesDone) +
                 " frames, fewer than --frames " + std::to_string(options.frames));
    }
    std::string inputDescription = DescribeFeed(feed);
    if (!feed.stream && sink.kind == FileKind::y4m) {
        inputDescription += ", written as " + DescribeSink(sink);
    }
    const YCFrame& shape = feed.stream ? feed.current : feed.frames.front();
    CloseFeed(&feed);

    std::fprintf(report, "plugin:    %s\n", Utf8FromWide(pluginPath.c_str()).c_str());
    std::fprintf(report, "frames:    %lld of %dx%d (max width %d), %d failed\n",
                 static_cast<long long>(framesDone), shape.width, shape.height, shape.maxWidth,
                 failed);
    for (const std::string& file : written) {
        std::fprintf(report, "wrote:     %s\n", file.c_str());
    }
    if (lastReport.hasSize) {
        std::fprintf(report, "format:    %s (debug window: %dx%d)\n", lastReport.formatTag.c_str(),
                     lastReport.width, lastReport.height);
    }
    if (!lastDebugText.empty()) {
        // The window's own lines, as a user of the host editor sees them.
        std::string text = lastDebugText;
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        std::fprintf(report, "debug window after the last frame:\n");
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::fprintf(report, "  | %s\n", text.substr(start, end - start).c_str());
            start = end + 1;
        }
    }
    if (missingDebugText) {
        std::fprintf(report, "note:      no \"Debug KELVO\" window owned by the settings window "
                             "after some frames\n");
    }
    if (options.timing) {
        std::vector<StageStatistics> rows = statistics;
        rows.push_back(StageStatistics{"Total", hostTimes});
        std::fprintf(report, "%s", FormatStageSummary(rows).c_str());
        std::fprintf(report, "  (Total: the onProcess call on the host's clock)\n");
    }
    int status = exitDone;
    if (options.verify) {
        PrintVerifyReport(report, verifyTotals,
                          verifiedKinds.empty() ? "no frame" : verifiedKinds);
        if (kindGuessed) {
            std::fprintf(report,
                         "  note: the debug window named no format; the Format track was used\n");
        }
        if (verifyTotals.outside > 0) status = exitVerify;
    }
    if (pastWidth > 0) {
        std::fprintf(report, "past width: %d frames had pixels past the width changed\n",
                     pastWidth);
    }
    if (streamRun || progress.enabled) {
        RunFigures figures;
        figures.frames = framesDone;
        figures.seconds = runSeconds;
        figures.ownMilliseconds = 1000.0 * Median(ownTimes);
        figures.pluginMilliseconds = 1000.0 * Median(hostTimes);
        figures.readMilliseconds = 1000.0 * Median(feed.readSeconds);
        figures.writeMilliseconds = 1000.0 * Median(sink.writeSeconds);
        figures.periodMilliseconds = 1000.0 * Median(periods);
        std::fprintf(stderr, "%s\n", SummaryText(figures, inputDescription).c_str());
    }
    if (failed > 0 || pastWidth > 0 || outputBroken) status = exitFailed;
    if (inputBroken) status = exitUsage;
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Plain line ends: the output is read on the Linux side. Standard
    // input and output may also carry video.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(Utf8FromWide(argv[i]));
    }
    HostOptions options;
    std::string error;
    if (!ParseOptions(arguments, &options, &error)) {
        Complain(error + " (see filterhost --help)");
        return exitUsage;
    }
    if (options.help) {
        std::printf("%s", UsageText());
        return exitDone;
    }
    int status = Run(options);
    std::fflush(stdout);
    std::fflush(stderr);
    return status;
}
