#include "reports/stage_summary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/format_kinds.h"
#include "host_interface/debug_window.h"
#include "host_interface/texture_format_kind.h"

namespace {

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool ParseSizeLine(const std::string& line, DebugReport* report)
{
    const std::string prefix = KELVO_DEBUG_SIZE_LINE_START;
    if (line.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    size_t open = line.find('(', prefix.size());
    size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    int width = 0;
    int height = 0;
    char end = 0;
    std::string size = line.substr(prefix.size(), open - prefix.size());
    if (std::sscanf(size.c_str(), "%dx%d%c", &width, &height, &end) != 2) {
        return false;
    }
    report->hasSize = true;
    report->width = width;
    report->height = height;
    report->formatTag = line.substr(open + 1, close - open - 1);
    return true;
}

bool ParseStageLine(const std::string& line, StageTime* stage)
{
    size_t colon = line.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string label = Trim(line.substr(0, colon));
    std::string number = line.substr(colon + 1);
    if (label.empty() || number.empty()) {
        return false;
    }
    char* end = nullptr;
    double seconds = std::strtod(number.c_str(), &end);
    if (end == number.c_str() || *end != '\0') {
        return false;
    }
    stage->label = label;
    stage->seconds = seconds;
    return true;
}

}  // namespace

DebugReport ParseDebugText(const std::string& text)
{
    DebugReport report;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        start = end + 1;
        if (!report.hasSize && ParseSizeLine(line, &report)) {
            continue;
        }
        // A second or unreadable size line is still no stage: its label is
        // the size line's start without the ':'.
        StageTime stage;
        if (line.compare(0, debugSizeLineStartLength - 1, KELVO_DEBUG_SIZE_LINE_START,
                         debugSizeLineStartLength - 1) != 0 &&
            ParseStageLine(line, &stage)) {
            report.stages.push_back(stage);
        }
    }
    return report;
}

int FormatKindFromTag(const std::string& tag)
{
    for (int i = 0; i < textureFormatKindCount; ++i) {
        if (tag == formatKinds[i].name) {
            return i;
        }
    }
    return -1;
}

void AddStageTimes(std::vector<StageStatistics>* statistics, const std::vector<StageTime>& stages)
{
    for (const StageTime& stage : stages) {
        auto found = std::find_if(statistics->begin(), statistics->end(),
                                  [&](const StageStatistics& s) { return s.label == stage.label; });
        if (found == statistics->end()) {
            statistics->push_back(StageStatistics{stage.label, {}});
            found = statistics->end() - 1;
        }
        found->seconds.push_back(stage.seconds);
    }
}

double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

std::string FormatStageSummary(const std::vector<StageStatistics>& statistics)
{
    std::string text = "stage     frames    median ms      min ms      max ms\n";
    char line[128];
    for (const StageStatistics& s : statistics) {
        auto range = std::minmax_element(s.seconds.begin(), s.seconds.end());
        double lo = s.seconds.empty() ? 0.0 : *range.first;
        double hi = s.seconds.empty() ? 0.0 : *range.second;
        std::snprintf(line, sizeof line, "%-8s %7d %12.3f %11.3f %11.3f\n", s.label.c_str(),
                      static_cast<int>(s.seconds.size()), Median(s.seconds) * 1e3, lo * 1e3,
                      hi * 1e3);
        text += line;
    }
    return text;
}
