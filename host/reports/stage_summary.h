// The plug-in's debug window text, read back after each frame, and the
// statistics of the stage times over a run. The text looks like
//   Size :1920x1080(F32)\r\n
//   Alloc:1.23456E-002\r\n      (only on frames that allocate or set params)
//   Put  :2.50000E-003\r\n
//   Proc :...\r\n
//   Get  :...\r\n
#pragma once

#include <string>
#include <vector>

struct StageTime {
    std::string label;  // without the padding blanks: "Put", "Proc", ...
    double seconds;
};

struct DebugReport {
    bool hasSize = false;  // a size line was found
    int width = 0;
    int height = 0;
    std::string formatTag;  // a kind's name (core/format_kinds.h), "Unknown" or "?"
    std::vector<StageTime> stages;
};

// Lines may end in "\r\n" or "\n"; lines that are neither a size line nor a
// "label:number" line are skipped.
DebugReport ParseDebugText(const std::string& text);

// The format kind whose name is a size-line tag, or -1 for any other tag.
int FormatKindFromTag(const std::string& tag);

struct StageStatistics {
    std::string label;
    std::vector<double> seconds;  // one per frame that showed the stage
};

// Labels in the order they first appeared.
void AddStageTimes(std::vector<StageStatistics>* statistics, const std::vector<StageTime>& stages);

double Median(std::vector<double> values);  // 0 for no values

// One row per stage: frames, median, smallest and largest in milliseconds.
std::string FormatStageSummary(const std::vector<StageStatistics>& statistics);
