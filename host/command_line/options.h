// The development host's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "indexed_value.h"
#include "level_kinds.h"
#include "pictures/picture_io.h"

constexpr int defaultTestWidth = 1280;
constexpr int defaultTestHeight = 720;

struct HostOptions {
    std::string pluginPath;    // empty: kelvo.auf beside the program
    std::string inputPath;     // empty: the built-in test picture
    bool rawInput = false;     // --raw, or implied by a .yc/.raw name
    bool streamInput = false;  // a YUV4MPEG2 stream: - or a name ending in .y4m
    int width = 0;             // --size; 0 when not given
    int height = 0;
    int maxWidth = 0;  // --max-width; 0: the width
    std::vector<IndexedValue> tracks;
    std::vector<IndexedValue> checks;
    int frames = 0;          // --frames; 0 when not given
    int framesExpected = 0;  // --frames-expected: a stream's length for the progress; 0 unknown
    int updateEvery = 0;     // --update-every; 0: never
    int releaseEvery = 0;    // --release-every; 0: never
    std::string outputPath;
    FileKind outputKind = FileKind::unknown;  // by the name; y4m for -; unknown: no output
    std::string beforePath;                   // --before: the input picture as the plug-in got it
    bool verify = false;
    bool timing = true;
    bool showErrors = false;  // show the plug-in's message boxes for real
    bool table = false;
    std::string precisionReportDir;     // --precision-report: write the precision chart there
    std::optional<VideoRange> range;    // --range; otherwise the stream's own, or limited
    std::optional<VideoMatrix> matrix;  // --matrix 601 or 709; otherwise (auto) by the frame size
    bool progress = false;              // --progress, even when stderr is no terminal
    std::string cubePath;               // --cube: write the grade as a 3D LUT and stop
    int cubeSize = 0;                   // --cube-size; 0 when not given
    bool help = false;
};

// Whether a path names a YUV4MPEG2 stream: "-" (standard input or output)
// or a name ending in .y4m.
bool IsStreamPath(const std::string& path);

struct RecipePlaces;

// Parses the arguments after the program name. False with a one-line
// message for anything it does not understand, or with the commands that
// grade a video file given as input (`places`: where they find things;
// null: paths as given).
bool ParseOptions(const std::vector<std::string>& arguments, HostOptions* options,
                  std::string* error, const RecipePlaces* places = nullptr);

// Whether the report has to go to standard error: the output is standard
// output.
bool OutputIsStdout(const HostOptions& options);

const char* UsageText();
