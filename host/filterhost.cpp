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

#include "color_convert.h"
#include "error_boxes.h"
#include "host_session.h"
#include "options.h"
#include "picture_io.h"
#include "precision_run.h"
#include "stage_summary.h"
#include "test_picture.h"
#include "verify.h"

namespace {

enum ExitStatus { exitDone = 0, exitFailed = 1, exitUsage = 2, exitVerify = 3 };

// Failed frames are reported one by one up to this many, then only counted.
constexpr int reportedFrameProblems = 10;

void Complain(const std::string& message)
{
    std::fprintf(stderr, "filterhost: %s\n", message.c_str());
}

bool PrepareInput(const HostOptions& options, std::vector<YCFrame>* frames, std::string* error)
{
    if (options.inputPath.empty()) {
        int width = options.width != 0 ? options.width : defaultTestWidth;
        int height = options.height != 0 ? options.height : defaultTestHeight;
        int maxWidth = options.maxWidth != 0 ? options.maxWidth : width;
        if (!CheckFrameSize(width, height, maxWidth, error)) return false;
        frames->push_back(MakeTestPicture(width, height, maxWidth));
        return true;
    }
    if (options.rawInput) {
        int maxWidth = options.maxWidth != 0 ? options.maxWidth : options.width;
        if (!CheckFrameSize(options.width, options.height, maxWidth, error)) return false;
        return LoadRawFrames(options.inputPath, options.width, options.height, maxWidth, frames,
                             error);
    }
    RgbImage image;
    if (!LoadPicture(options.inputPath, &image, error)) return false;
    int maxWidth = options.maxWidth != 0 ? options.maxWidth : image.width;
    if (!CheckFrameSize(image.width, image.height, maxWidth, error)) {
        *error = options.inputPath + ": " + *error;
        return false;
    }
    frames->push_back(FrameFromRgb(image, maxWidth));
    return true;
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
        if (t.trackMinimums != nullptr && t.trackMaximums != nullptr &&
            (v.value < t.trackMinimums[v.index] || v.value > t.trackMaximums[v.index])) {
            std::fprintf(stderr, "filterhost: note: track %d = %d lies outside its range %d..%d\n",
                         v.index, static_cast<int>(v.value),
                         static_cast<int>(t.trackMinimums[v.index]),
                         static_cast<int>(t.trackMaximums[v.index]));
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
        kind = std::min(std::max(session.trackValues[15], 0), 5);
    }
    return static_cast<TextureFormatKind>(kind);
}

void PrintVerifyReport(const VerifyTotals& totals, const std::string& kinds)
{
    std::printf("verify:    %lld pixels in %lld frames against the reference model (%s)\n",
                static_cast<long long>(totals.pixels), static_cast<long long>(totals.frames),
                kinds.c_str());
    std::printf("  largest error (host units): Y %d  Cb %d  Cr %d\n",
                static_cast<int>(totals.largestError[0]), static_cast<int>(totals.largestError[1]),
                static_cast<int>(totals.largestError[2]));
    std::printf("  outside the accepted range: %lld pixels\n",
                static_cast<long long>(totals.outside));
    if (totals.hasExample) {
        std::printf("  first: frame %lld at (%d, %d): input (%d, %d, %d) expected (%d, %d, %d) "
                    "got (%d, %d, %d)\n",
                    static_cast<long long>(totals.exampleFrame), totals.exampleX, totals.exampleY,
                    totals.exampleInput.y, totals.exampleInput.cb, totals.exampleInput.cr,
                    totals.exampleExpected.y, totals.exampleExpected.cb,
                    totals.exampleExpected.cr, totals.exampleActual.y, totals.exampleActual.cb,
                    totals.exampleActual.cr);
    }
}

int Run(const HostOptions& options)
{
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
    if (!options.showErrors && !CaptureErrorBoxes(session.module, &error)) {
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

    std::vector<YCFrame> inputs;
    bool settingsOk = true;
    if (!PrepareInput(options, &inputs, &error)) {
        Complain(error);
        CloseSession(&session);
        return exitUsage;
    }
    ApplySettings(&session, options, &settingsOk);
    if (!settingsOk) {
        CloseSession(&session);
        return exitUsage;
    }
    std::FILE* rawOutput = nullptr;
    FileKind outputKind =
        options.outputPath.empty() ? FileKind::unknown : FileKindOfPath(options.outputPath, true);
    if (outputKind == FileKind::raw) {
        rawOutput = OpenFile(options.outputPath, "wb");
        if (rawOutput == nullptr) {
            Complain("cannot create " + options.outputPath);
            CloseSession(&session);
            return exitUsage;
        }
    }

    if (StartPlugin(&session) == 0) {
        Complain("the plug-in did not start: onInit returned 0");
        CloseSession(&session);
        if (rawOutput != nullptr) std::fclose(rawOutput);
        return exitFailed;
    }
    // As after loading saved settings, so RGB sync sees the starting values.
    NotifyUpdate(&session);

    const int frameCount = options.frames != 0 ? options.frames : static_cast<int>(inputs.size());
    int failed = 0;
    int pastWidth = 0;
    bool missingDebugText = false;
    std::vector<StageStatistics> statistics;
    std::vector<double> hostTimes;
    DebugReport lastReport;
    std::string lastDebugText;
    Verifier verifier;
    VerifyTotals verifyTotals;
    std::string verifiedKinds;
    bool kindGuessed = false;
    YCFrame lastOutput;
    for (int i = 0; i < frameCount; ++i) {
        if (i > 0 && options.updateEvery != 0 && i % options.updateEvery == 0) {
            NotifyUpdate(&session);
        }
        const YCFrame& input = inputs[static_cast<size_t>(i) % inputs.size()];
        YCFrame frame = input;
        int32_t tracks[16];
        std::copy(session.trackValues.begin(), session.trackValues.begin() + 16, tracks);
        FrameResult result = ProcessFrame(&session, &frame);
        if (!result.paddingIntact && ++pastWidth <= reportedFrameProblems) {
            Complain("frame " + std::to_string(i) + ": the plug-in wrote past the frame width");
        }
        if (result.returned == 0) {
            if (++failed <= reportedFrameProblems) {
                Complain("frame " + std::to_string(i) + ": onProcess returned 0");
            }
        } else if (!result.hasDebugText) {
            missingDebugText = true;
        } else {
            DebugReport report = ParseDebugText(result.debugText);
            AddStageTimes(&statistics, report.stages);
            lastReport = report;
            lastDebugText = result.debugText;
        }
        hostTimes.push_back(result.hostSeconds);
        if (options.verify && result.returned != 0) {
            bool reported = false;
            TextureFormatKind kind = KindOfFrame(lastReport, session, &reported);
            kindGuessed = kindGuessed || !reported;
            static const char* const names[] = {"F32", "F16", "U16", "S16", "U10", "none"};
            if (verifiedKinds.find(names[kind]) == std::string::npos) {
                verifiedKinds += verifiedKinds.empty() ? names[kind] : std::string(", ") + names[kind];
            }
            VerifyFrame(&verifier, tracks, kind, input, frame, &verifyTotals);
        }
        if (rawOutput != nullptr && !WriteRawFrame(rawOutput, frame)) {
            Complain("cannot write " + options.outputPath);
            std::fclose(rawOutput);
            rawOutput = nullptr;
            ++failed;
        }
        if (i == frameCount - 1) {
            lastOutput = std::move(frame);
        }
        if (options.releaseEvery != 0 && (i + 1) % options.releaseEvery == 0 &&
            i + 1 < frameCount) {
            session.active = false;
            SendHostMessage(&session, hostMessageReleaseMemory, 0, 0);
            session.active = true;
        }
    }
    CloseSession(&session);
    if (rawOutput != nullptr && std::fclose(rawOutput) != 0) {
        Complain("cannot write " + options.outputPath);
        ++failed;
    }
    if (!options.outputPath.empty() && outputKind != FileKind::raw &&
        !SavePicture(options.outputPath, RgbFromFrame(lastOutput), &error)) {
        Complain(error);
        ++failed;
    }

    const YCFrame& first = inputs.front();
    std::printf("plugin:    %s\n", Utf8FromWide(pluginPath.c_str()).c_str());
    std::printf("frames:    %d of %dx%d (max width %d), %d failed\n", frameCount, first.width,
                first.height, first.maxWidth, failed);
    if (lastReport.hasSize) {
        std::printf("format:    %s (debug window: %dx%d)\n", lastReport.formatTag.c_str(),
                    lastReport.width, lastReport.height);
    }
    if (!lastDebugText.empty()) {
        // The window's own lines, as a user of the host editor sees them.
        std::string text = lastDebugText;
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        std::printf("debug window after the last frame:\n");
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::printf("  | %s\n", text.substr(start, end - start).c_str());
            start = end + 1;
        }
    }
    if (missingDebugText) {
        std::printf("note:      no \"Debug KELVO\" window owned by the settings window after "
                    "some frames\n");
    }
    if (options.timing) {
        std::vector<StageStatistics> rows = statistics;
        rows.push_back(StageStatistics{"Total", hostTimes});
        std::printf("%s", FormatStageSummary(rows).c_str());
        std::printf("  (Total: the onProcess call on the host's clock)\n");
    }
    int status = exitDone;
    if (options.verify) {
        PrintVerifyReport(verifyTotals, verifiedKinds.empty() ? "no frame" : verifiedKinds);
        if (kindGuessed) {
            std::printf("  note: the debug window named no format; the Format track was used\n");
        }
        if (verifyTotals.outside > 0) status = exitVerify;
    }
    if (pastWidth > 0) {
        std::printf("past width: %d frames had pixels past the width changed\n", pastWidth);
    }
    if (failed > 0 || pastWidth > 0) status = exitFailed;
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Plain line ends: the output is read on the Linux side.
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
    return status;
}
