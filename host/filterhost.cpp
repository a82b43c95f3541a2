// Development host: loads a filter plug-in of this interface the way the
// video editor does, runs frames through it and reports on them. See
// `filterhost --help`.
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <windows.h>

#include "command_line/options.h"
#include "command_line/recipe_places.h"
#include "reports/cube_lut.h"
#include "runs/stderr_message.h"
#include "runs/cube_run.h"
#include "runs/frame_run.h"
#include "runs/precision_run.h"
#include "runs/run_endings.h"
#include "runs/run_report.h"
#include "stop_request.h"
#include "session/error_boxes.h"
#include "session/host_session.h"
#include "video/frame_streams.h"
#include "video/output_places.h"
#include "video/output_targets.h"
#include "video/same_file.h"
#include "wide_text.h"

namespace {

enum ExitStatus { exitDone = 0, exitFailed = 1, exitUsage = 2, exitVerify = 3, exitStopped = 4 };

struct OpenedRun;
bool CloseOpened(OpenedRun* run, std::string* error);

// What a run opens, closed in one place and one order however the run
// ends: the plug-in first (onExit as soon as it has no frame left), then the
// output (its last write may still be under way), then the input, which
// nothing reads any more. What was never opened is passed over.
struct OpenedRun {
    HostSession session;
    FrameFeed feed;
    FrameSink sink;
    bool sessionOpen = false;
    bool feedOpen = false;
    bool sinkOpen = false;

    OpenedRun() = default;
    OpenedRun(const OpenedRun&) = delete;
    OpenedRun& operator=(const OpenedRun&) = delete;
    ~OpenedRun()
    {
        std::string ignored;
        CloseOpened(this, &ignored);
    }
};

// False when the output's last write or its closing failed, with a message
// unless WriteFrame gave it already.
bool CloseOpened(OpenedRun* run, std::string* error)
{
    bool ok = true;
    if (run->sessionOpen) CloseSession(&run->session);
    run->sessionOpen = false;
    if (run->sinkOpen) ok = CloseSink(&run->sink, error);
    run->sinkOpen = false;
    if (run->feedOpen) CloseFeed(&run->feed);
    run->feedOpen = false;
    return ok;
}

bool StartPluginOrTellUser(HostSession* session)
{
    if (StartPlugin(session) != 0) return true;
    TellUser("the plug-in did not start: onInit returned 0");
    return false;
}

void ApplySettings(HostSession* session, const HostOptions& options, bool* ok)
{
    const FilterTable& t = *session->table;
    std::string error;
    for (const IndexedValue& v : options.tracks) {
        if (!SetTrack(session, v.index, v.value, &error)) {
            TellUser(error);
            *ok = false;
            continue;
        }
        // A slider cannot be moved past its ends, so neither can a track here.
        if (t.trackMinimums != nullptr && t.trackMaximums != nullptr &&
            (v.value < t.trackMinimums[v.index] || v.value > t.trackMaximums[v.index])) {
            const std::string number = std::to_string(v.index);
            const std::string track =
                t.trackNames == nullptr ? number
                                        : FromShiftJis(t.trackNames[v.index]) + " (" + number + ")";
            TellUser("track " + track + " = " + std::to_string(v.value) +
                     " lies outside its range " + std::to_string(t.trackMinimums[v.index]) + ".." +
                     std::to_string(t.trackMaximums[v.index]));
            *ok = false;
        }
    }
    for (const IndexedValue& v : options.checks) {
        if (!SetCheck(session, v.index, v.value, &error)) {
            TellUser(error);
            *ok = false;
        }
    }
}

int RunPrecision(HostSession* session, const HostOptions& options)
{
    if (!StartPluginOrTellUser(session)) return exitFailed;
    std::string error;
    if (!RunPrecisionReport(session, options.precisionReportDir,
                            "filterhost --precision-report " + options.precisionReportDir,
                            &error)) {
        TellUser(error);
        return StopRequest() != nullptr ? exitStopped : exitFailed;
    }
    return exitDone;
}

int RunCube(HostSession* session, const HostOptions& options, std::FILE* report)
{
    if (!StartPluginOrTellUser(session)) return exitFailed;
    NotifyUpdate(session);
    const int size = options.cubeSize != 0 ? options.cubeSize : defaultCubeSize;
    std::string error;
    if (!CheckOutputPath(options.cubePath, "--cube", false, &error)) {
        TellUser(error);
        return exitUsage;
    }
    if (!RunCubeExport(session, options.cubePath, size, report, &error)) {
        TellUser(error);
        return StopRequest() != nullptr ? exitStopped : exitFailed;
    }
    return exitDone;
}

// The input and the output, checked and opened before the plug-in starts;
// an exit status when that fails, exitDone otherwise.
int OpenStreams(OpenedRun* run, const HostOptions& options)
{
    std::string error;
    // Before anything is opened for writing.
    const bool streamOutput = options.outputKind == FileKind::y4m ||
                              options.outputKind == FileKind::raw;
    if (OutputIsInput(options.inputPath, options.outputPath, &error) ||
        OutputIsInput(options.inputPath, options.beforePath, &error) ||
        OutputsAreOneFile(options.outputPath, options.beforePath, &error) ||
        !CheckOutputPath(options.outputPath, "output", streamOutput, &error) ||
        !CheckOutputPath(options.beforePath, "--before", false, &error)) {
        TellUser(error);
        return exitUsage;
    }
    std::vector<std::string> notes;
    run->feedOpen = true;
    if (!OpenFeed(options, &run->feed, &notes, &error)) {
        TellUser(error);
        return StopRequest() != nullptr ? exitStopped : exitUsage;
    }
    for (const std::string& note : notes) {
        TellUser(note);
    }
    run->sinkOpen = true;
    if (!OpenSink(options, run->feed, &run->sink, &error)) {
        TellUser(error);
        // A stop request may end the wait for a pipe's reader.
        return StopRequest() != nullptr ? exitStopped : exitFailed;
    }
    return exitDone;
}

// The exit status of a frame run, from what its frames came to.
int FrameRunStatus(const FrameTally& tally, const HostOptions& options)
{
    int status = exitDone;
    if (options.verify && tally.verifyTotals.outside > 0) status = exitVerify;
    if (tally.failed > 0 || tally.pastWidth > 0 || tally.outputBroken) status = exitFailed;
    if (tally.inputBroken) status = exitUsage;
    if (tally.stoppedBy != nullptr) status = exitStopped;
    return status;
}

// Closes what the run opened and ends its files: they take their names
// only when the run succeeded. What became of them, for the report.
std::vector<OutputFate> FinishOutputs(OpenedRun* run, const HostOptions& options, FrameTally* tally)
{
    std::string error;
    FrameSink& sink = run->sink;
    if (!CloseOpened(run, &error)) {
        if (!error.empty()) TellUser(error);
        tally->outputBroken = true;
        tally->framesDone = sink.framesWritten;
    }
    // A stop request after the last frame still keeps the files from
    // taking their names.
    if (tally->stoppedBy == nullptr) tally->stoppedBy = StopRequest();
    std::vector<OutputFate> fates;
    std::vector<std::string> errors;
    const bool complete = FrameRunStatus(*tally, options) == exitDone;
    if (!EndSink(&sink, complete, tally->lastInput, tally->framesDone, &fates, &errors)) {
        for (const std::string& e : errors) TellUser(e);
        tally->outputBroken = true;
    }
    if (run->feed.sequential && options.frames != 0 && tally->framesDone < options.frames &&
        !tally->inputBroken && !tally->outputBroken && tally->stoppedBy == nullptr) {
        TellUser("note: the stream ended after " + std::to_string(tally->framesDone) +
                 " frames, fewer than --frames " + std::to_string(options.frames));
    }
    return fates;
}

int RunFrameFiles(OpenedRun* run, const HostOptions& options, std::FILE* report,
                  const std::string& pluginName)
{
    const int opened = OpenStreams(run, options);
    if (opened != exitDone) return opened;
    if (!StartPluginOrTellUser(&run->session)) return exitFailed;
    // As after loading saved settings, so RGB sync sees the starting values.
    NotifyUpdate(&run->session);

    FrameTally tally;
    RunFrames(&run->session, &run->feed, &run->sink, options, &tally);
    const std::vector<OutputFate> fates = FinishOutputs(run, options, &tally);
    const FrameFeed& feed = run->feed;
    PrintRunReport(report, pluginName, options, tally, FeedShape(feed), WrittenLines(fates));
    if (feed.stream || run->sink.kind == FileKind::y4m || tally.progressShown) {
        PrintRunSummary(tally, feed, run->sink);
    }
    const int status = FrameRunStatus(tally, options);
    if (status != exitDone && (tally.stoppedBy != nullptr || !fates.empty())) {
        TellUser(EndingText(tally.stoppedBy, tally.framesDone, fates));
    }
    return status;
}

int Run(const HostOptions& given)
{
    HostOptions options = given;
    // With the video on standard output, everything else goes to stderr.
    std::FILE* report = OutputIsStdout(options) ? stderr : stdout;
    const std::wstring pluginPath = options.pluginPath.empty() ? DefaultPluginPath()
                                                               : WideFromUtf8(options.pluginPath);
    const std::string pluginName = Utf8FromWide(pluginPath.c_str());
    std::string error;
    // Before a frame is corrected: a result with nowhere to go would be lost.
    std::vector<std::string> notes;
    const bool settled = SettleOutputNames(&options, &notes, &error);
    for (const std::string& note : notes) TellUser(note);
    if (!settled || !CheckOutputPlaces(options, &error)) {
        TellUser(error);
        return exitUsage;
    }
    // On the heap: a reading thread left in a read still uses the feed.
    const std::unique_ptr<OpenedRun, void (*)(OpenedRun*)> held(new OpenedRun, [](OpenedRun* r) {
        if (!ReadLeftUnfinished()) delete r;
    });
    OpenedRun& run = *held;
    if (!OpenSession(&run.session, pluginPath, &error)) {
        TellUser(error);
        return exitFailed;
    }
    run.sessionOpen = true;
    if (options.table) {
        std::printf("plugin:    %s\n%s", pluginName.c_str(),
                    DescribeTable(*run.session.table).c_str());
        return exitDone;
    }
    // Unattended runs must never wait for a click on a system-modal box.
    // A module that imports no MessageBoxW shows no boxes to catch.
    if (!options.showErrors) CaptureErrorBoxes(run.session.module, EchoErrorBox, &error);
    // What the plug-in tells a debugger (which threads convert, a failing
    // call's code) goes to stderr with the rest.
    CaptureDebuggerLines(run.session.module, EchoDebuggerLine);
    if (!options.precisionReportDir.empty()) return RunPrecision(&run.session, options);
    bool settingsOk = true;
    ApplySettings(&run.session, options, &settingsOk);
    if (!settingsOk) return exitUsage;
    if (!options.cubePath.empty()) return RunCube(&run.session, options, report);
    return RunFrameFiles(&run, options, report, pluginName);
}

// Every text here is UTF-8. A console (a terminal, also under Wine) reads
// the bytes of each write in its output code page (437 or 932), which
// turned the plug-in's Japanese into mojibake: it is set to UTF-8. Each
// write must then hold whole characters, and msvcrt writes an unbuffered
// stream a byte at a time, so a stream that is a console is buffered;
// messages flush it as they go (runs/stderr_message.h). A pipe or a file takes
// the bytes as they are. The console's page is put back at the end, for
// the window the program was started in.
struct Utf8Console {
    UINT before = GetConsoleOutputCP();
    Utf8Console()
    {
        SetConsoleOutputCP(CP_UTF8);
        for (std::FILE* stream : {stdout, stderr}) {
            if (_isatty(_fileno(stream))) std::setvbuf(stream, nullptr, _IOFBF, 1 << 16);
        }
    }
    ~Utf8Console()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        if (before != 0) SetConsoleOutputCP(before);
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // From the start Ctrl-C ends the run in its own time, with its files
    // whole, never the process on the spot: one that comes while the
    // plug-in loads stops the run before its first frame.
    ListenForStopRequests();
    const Utf8Console console;
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
    const RecipePlaces places = HostRecipePlaces();
    if (!ParseOptions(arguments, &options, &error, &places)) {
        // A message of several lines ends in a command to copy as it is.
        TellUser(error.find('\n') == std::string::npos ? error + " (see --help)" : error);
        return exitUsage;
    }
    if (options.help) {
        std::printf("%s", UsageText());
        return exitDone;
    }
    int status = exitFailed;
    try {
        status = Run(options);
    } catch (const std::bad_alloc&) {
        // What the run opened was closed on the way here (OpenedRun): a
        // file it was writing is removed, an older file of its name kept.
        TellUser("out of memory: filterhost is a 32-bit program, with at most 4 GB of address "
                 "space for every frame it holds; give smaller frames");
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // The C library's clean-up would wait for a read that may never end.
    if (ReadLeftUnfinished()) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return status;
}
