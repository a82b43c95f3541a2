#include "runs/precision_run.h"

#include <cstdio>

#include <windows.h>

#include "host_interface/tracks.h"
#include "pictures/picture_io.h"
#include "reports/precision_report.h"
#include "session/error_boxes.h"

bool RunPrecisionReport(HostSession* session, const std::string& dir, const std::string& command,
                        std::string* error)
{
    if (!CreateDirectoryW(WideFromUtf8(dir).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = "cannot make the folder " + dir;
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
                std::fprintf(stderr, "precision: %s, %s, format %d%s\n", sweeps[sweep].name,
                             settings[setting].name, kind, row.processed ? "" : ": failed");
            }
        }
    }
    const std::string table = PrecisionTable(rows, command);
    std::printf("%s", table.c_str());
    const std::string tablePath = dir + "/precision.md";
    std::FILE* file = OpenFile(tablePath, "wb");
    if (file == nullptr) {
        *error = "cannot create " + tablePath;
        return false;
    }
    bool written = std::fwrite(table.data(), 1, table.size(), file) == table.size();
    written = std::fclose(file) == 0 && written;
    if (!written) {
        *error = "cannot write " + tablePath;
        return false;
    }
    return SavePicture(dir + "/precision.png", PrecisionChart(rows), error);
}
