// The precision chart: how far each texture format's result lies from the
// exact correction (ExactHostValue: double precision, no quantisation) over
// a sweep of input pixels, for a few representative settings. The
// development host runs the sweeps through the plug-in; this part builds the
// sweep pictures, measures the errors and writes the table and the chart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "effect/correction_reference.h"
#include "core/correction_tracks.h"
#include "indexed_value.h"
#include "pictures/color_convert.h"
#include "pictures/yc_frame.h"

// Y runs over yLo..yHi with every value present; Cb and Cr each take
// chromaSteps values spread evenly over cLo..cHi (both ends included), on
// a grid of every Cb with every Cr.
struct PrecisionSweep {
    const char* name;
    int yLo;
    int yHi;
    int cLo;
    int cHi;
    int chromaSteps;
};

struct PrecisionSetting {
    const char* name;
    std::vector<IndexedValue> tracks;  // the tracks that differ from 0
};

// The two sweeps (the whole input range the formats are meant for, and the
// nominal range) and the four settings of the report.
const std::vector<PrecisionSweep>& PrecisionSweeps();
const std::vector<PrecisionSetting>& PrecisionSettings();
// The Format track is left 0.
void SettingTracks(const PrecisionSetting& setting, int32_t tracks[trackCount]);

// The sweep as one frame, precisionSweepWidth pixels wide: each row holds
// one Cb, Cr pair and every rowsPerPair-th Y value, the following rows of
// the same pair the Y values in between.
constexpr int precisionSweepWidth = 2048;
YCFrame MakeSweepFrame(const PrecisionSweep& sweep);

struct ChannelErrors {
    double largest[3] = {};  // Y, Cb, Cr in host units
    double mean[3] = {};
};

// The exact result of every picture pixel of `input`, row after row.
std::vector<ExactHostPixel> ExactFrame(const CorrectionConstants& constants, const YCFrame& input);

// |output - exact| per channel, the output read as signed host values.
ChannelErrors MeasureErrors(const std::vector<ExactHostPixel>& exact, const YCFrame& output);

struct PrecisionRow {
    int sweep;    // index into PrecisionSweeps()
    int setting;  // index into PrecisionSettings()
    int kind;     // TextureFormatKind 0..4
    bool processed;
    ChannelErrors errors;
};

// Markdown: the sweeps, the settings and one table per sweep.
std::string PrecisionTable(const std::vector<PrecisionRow>& rows, const std::string& command);

// One bar chart panel per sweep: a group of five bars per setting, one per
// format, the light bar the largest error and the dark bar inside it the
// mean error of the worst channel, on a logarithmic scale.
RgbImage PrecisionChart(const std::vector<PrecisionRow>& rows);
