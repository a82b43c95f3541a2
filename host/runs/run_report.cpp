#include "runs/run_report.h"

#include <algorithm>
#include <cstdlib>

#include "host_interface/debug_window.h"
#include "reports/run_progress.h"
#include "runs/stderr_message.h"

namespace {

// scripts/wine-run says so where 32-bit programs run only under the
// emulator, whose times are not the machine's.
bool UnderEmulator()
{
    const char* emulated = std::getenv("KELVO_I386_EMULATED");
    return emulated != nullptr && *emulated == '1';
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
        std::fprintf(report,
                     "  first: frame %lld at (%d, %d): input (%d, %d, %d) expected (%d, %d, %d) "
                     "got (%d, %d, %d)\n",
                     static_cast<long long>(totals.exampleFrame + 1), totals.exampleX,
                     totals.exampleY, totals.exampleInput.y, totals.exampleInput.cb,
                     totals.exampleInput.cr, totals.exampleExpected.y, totals.exampleExpected.cb,
                     totals.exampleExpected.cr, totals.exampleActual.y, totals.exampleActual.cb,
                     totals.exampleActual.cr);
    }
}

// The window's own lines, as a user of the host editor sees them.
void PrintDebugWindow(std::FILE* report, const std::string& debugText)
{
    std::string text = debugText;
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

}  // namespace

void PrintRunReport(std::FILE* report, const std::string& pluginName, const HostOptions& options,
                    const FrameTally& tally, const YCFrame& shape,
                    const std::vector<std::string>& written)
{
    std::fprintf(report, "plugin:    %s\n", pluginName.c_str());
    std::fprintf(report, "frames:    %lld of %dx%d (max width %d), %d failed",
                 static_cast<long long>(tally.framesProcessed), shape.width, shape.height,
                 shape.maxWidth, tally.failed);
    // Frames the plug-in corrected that never reached the output whole.
    if (tally.framesDone != tally.framesProcessed) {
        std::fprintf(report, ", %s written (the output failed)",
                     tally.framesDone == 0 ? "none" : std::to_string(tally.framesDone).c_str());
    }
    std::fprintf(report, "\n");
    for (const std::string& file : written) {
        std::fprintf(report, "wrote:     %s\n", file.c_str());
    }
    // The corrected frames go nowhere without --output: said where the
    // files would be listed, so that nobody looks for them.
    if (options.outputPath.empty()) {
        std::fprintf(report, "wrote:     %s (no --output given)\n",
                     written.empty() ? "nothing" : "no corrected frame");
    }
    const DebugReport& last = tally.lastReport;
    if (last.hasSize) {
        std::fprintf(report, "format:    %s (debug window: %dx%d)\n", last.formatTag.c_str(),
                     last.width, last.height);
    }
    if (!tally.lastDebugText.empty()) PrintDebugWindow(report, tally.lastDebugText);
    if (tally.missingDebugText) {
        std::fprintf(report, "note:      no \"" KELVO_DEBUG_WINDOW_TITLE
                             "\" window owned by the settings window "
                             "after some frames\n");
    }
    if (options.timing) {
        std::vector<StageStatistics> rows = tally.statistics;
        rows.push_back(StageStatistics{"Total", tally.hostTimes});
        std::fprintf(report, "%s", FormatStageSummary(rows).c_str());
        std::fprintf(report, "  (Total: the onProcess call on the host's clock)\n");
        if (UnderEmulator()) {
            std::fprintf(report, "  (times of qemu's i386 emulator, which runs this machine's "
                                 "32-bit code: several times those of a machine that runs it "
                                 "natively)\n");
        }
    }
    if (options.verify) {
        PrintVerifyReport(report, tally.verifyTotals,
                          tally.verifiedKinds.empty() ? "no frame" : tally.verifiedKinds);
        if (tally.kindGuessed) {
            std::fprintf(report,
                         "  note: the debug window named no format; the Format track was used\n");
        }
    }
    if (tally.pastWidth > 0) {
        std::fprintf(report, "past width: %d frames had pixels past the width changed\n",
                     tally.pastWidth);
    }
}

void PrintRunSummary(const FrameTally& tally, const FrameFeed& feed, const FrameSink& sink)
{
    std::string inputDescription = DescribeFeed(feed);
    if (!feed.stream && sink.kind == FileKind::y4m) {
        inputDescription += ", written as " + DescribeSink(sink);
    }
    RunFigures figures;
    figures.frames = tally.framesProcessed;
    figures.seconds = tally.runSeconds;
    figures.ownMilliseconds = 1000.0 * Median(tally.ownTimes);
    figures.pluginMilliseconds = 1000.0 * Median(tally.hostTimes);
    figures.readMilliseconds = 1000.0 * Median(feed.readSeconds);
    figures.writeMilliseconds = 1000.0 * Median(sink.writeSeconds);
    figures.periodMilliseconds = 1000.0 * Median(tally.periods);
    figures.verifyMilliseconds = 1000.0 * Median(tally.verifyTimes);
    SayOnStderr(SummaryText(figures, inputDescription) +
                (UnderEmulator() ? " (under qemu's i386 emulator)" : ""));
}
