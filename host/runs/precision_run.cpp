#include "runs/precision_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <direct.h>
#include <windows.h>

#include "core/correction_tracks.h"
#include "pictures/picture_io.h"
#include "reports/precision_report.h"
#include "runs/stderr_message.h"
#include "stop_request.h"
#include "wide_text.h"

namespace {

bool MakeFolder(const std::string& dir, std::string* error)
{
    const std::wstring wide = WideFromUtf8(dir);
    if (_wmkdir(wide.c_str()) == 0) return true;
    const int code = errno;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (code == EEXIST && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return true;
    }
    *error = "cannot make the folder " + dir + ": " +
             (code == EEXIST ? std::string("a file of that name is in the way")
                             : std::strerror(code));
    return false;
}

bool Stopped(const PendingFile& table, std::string* error)
{
    if (StopRequest() == nullptr) return false;
    *error = std::string("stopped by ") + StopRequest() + " before the report was complete; " +
             (table.existed ? "the files of the last report were left as they were"
                            : "nothing was written");
    return true;
}

}  // namespace

bool RunPrecisionReport(HostSession* session, const std::string& dir, const std::string& command,
                        std::string* error)
{
    if (!MakeFolder(dir, error)) return false;
    // Both files are held from the start, so that a name that cannot be
    // written fails before the sweeps, and both take their names together.
    PendingFile table;
    PendingFile chart;
    if (!BeginFile(dir + "/precision.md", &table, error) ||
        !BeginFile(dir + "/precision.png", &chart, error)) {
        return false;
    }
    std::vector<PrecisionRow> rows;
    const auto& sweeps = PrecisionSweeps();
    const auto& settings = PrecisionSettings();
    for (size_t sweep = 0; sweep < sweeps.size(); ++sweep) {
        const YCFrame input = MakeSweepFrame(sweeps[sweep]);
        for (size_t setting = 0; setting < settings.size(); ++setting) {
            int32_t tracks[trackCount];
            SettingTracks(settings[setting], tracks);
            const std::vector<ExactHostPixel> exact = ExactFrame(ComputeCorrectionConstants(tracks),
                                                                 input);
            for (int kind = 0; kind < textureFormatKindCount; ++kind) {
                if (Stopped(table, error)) return false;
                tracks[trackFormat] = kind;
                for (int t = 0; t < trackCount; ++t) {
                    SetTrack(session, t, tracks[t], error);
                }
                NotifyUpdate(session);
                YCFrame frame = input;
                FrameResult result = ProcessFrame(session, &frame);
                PrecisionRow row;
                row.sweep = static_cast<int>(sweep);
                row.setting = static_cast<int>(setting);
                row.kind = kind;
                row.processed = result.returned != 0;
                if (row.processed) row.errors = MeasureErrors(exact, frame);
                rows.push_back(row);
                SayOnStderr(std::string("precision: ") + sweeps[sweep].name + ", " +
                            settings[setting].name + ", format " + std::to_string(kind) +
                            (row.processed ? "" : ": failed"));
            }
        }
    }
    const std::string text = PrecisionTable(rows, command);
    PutBytes(&table, text.data(), text.size());
    if (!PutPicture(&chart, PrecisionChart(rows), error) || Stopped(table, error)) return false;
    std::printf("%s", text.c_str());
    return FinishFile(&table, error) && FinishFile(&chart, error);
}
