#include "runs/cube_run.h"

#include <cerrno>
#include <cstring>

#include "pictures/picture_io.h"
#include "reports/cube_lut.h"
#include "reports/stage_summary.h"
#include "stop_request.h"
#include "wide_text.h"

namespace {

std::string TrackName(const HostSession& session, int index)
{
    const FilterTable& t = *session.table;
    if (t.trackNames == nullptr || index >= t.trackCount) return "track " + std::to_string(index);
    return FromShiftJis(t.trackNames[index]);
}

}  // namespace

bool RunCubeExport(HostSession* session, const std::string& path, int size, std::FILE* report,
                   std::string* error)
{
    YCFrame frame = MakeLatticeFrame(size);
    const int trackCount = session->table->trackCount;
    const FrameResult result = ProcessFrame(session, &frame);
    if (result.returned == 0) {
        *error = "the plug-in did not correct the lattice frame (onProcess returned 0)";
        return false;
    }
    const DebugReport debug = ParseDebugText(result.debugText);
    const std::string format = debug.hasSize ? debug.formatTag : "not shown";

    std::string changed;
    std::string tracks;
    for (int i = 0; i < trackCount; ++i) {
        const std::string item = TrackName(*session, i) + " " +
                                 std::to_string(session->trackValues[i]);
        tracks += (i == 0 ? "" : ", ") + item;
        if (session->trackValues[i] != 0) changed += (changed.empty() ? "" : ", ") + item;
    }
    std::string checks;
    for (int i = 0; i < session->table->checkCount; ++i) {
        checks += (i == 0 ? "" : ", ") + std::to_string(i) + "=" +
                  std::to_string(session->checkValues[i]);
    }
    const std::string title = FromShiftJis(session->table->displayName) + ": " +
                              (changed.empty() ? "all tracks 0" : changed);
    const std::string plugin = Utf8FromWide(session->path.c_str());
    std::vector<std::string> comments = {
        "Made by filterhost: " + plugin.substr(plugin.find_last_of("\\/") + 1) +
            " corrected a frame holding the lattice",
        "Texture format " + format + "; RGB to and from YCbCr by ITU-R BT.601 full range",
        "Tracks: " + tracks,
        "Check boxes: " + (checks.empty() ? std::string("none") : checks),
    };
    const CubeSummary summary = SummariseCube(frame, size);
    // Written whole or not at all: a tool that finds the file can use it.
    PendingFile file;
    if (!BeginFile(path, &file, error)) return false;
    errno = 0;
    if (!WriteCube(file.file, frame, size, title, comments, StopRequest)) {
        file.firstError = errno != 0 ? errno : EIO;
    }
    if (StopRequest() != nullptr) {
        DiscardFile(&file);
        *error = std::string("stopped by ") + StopRequest() + " before the cube was complete; " +
                 (file.existed ? path + " was left as it was" : "nothing was written");
        return false;
    }
    if (!FinishFile(&file, error)) return false;
    std::fprintf(report, "cube:      %s, %d points per side, texture format %s\n", path.c_str(),
                 size, format.c_str());
    std::fprintf(report, "  settings: %s\n", changed.empty() ? "all tracks 0" : changed.c_str());
    std::fprintf(report, "  clipped to 0..1: %lld of %lld points (furthest outside by %.4f)\n",
                 static_cast<long long>(summary.clipped), static_cast<long long>(summary.points),
                 summary.largestExcess);
    return true;
}
