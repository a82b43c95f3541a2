// What filterhost says of its output files at the end of a frame run: the
// report's "wrote:" lines, and for a run that did not succeed (stopped,
// failed, or checked with pixels outside the model) the last whole frame
// and where the frames it wrote are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "video/frame_streams.h"

// "out.y4m (10 frames)", "out.partial.y4m (4 frames; the run did not
// succeed, so out.y4m was left as it was)": one per file that holds frames.
std::vector<std::string> WrittenLines(const std::vector<OutputFate>& fates);

// "stopped by Ctrl-C (interrupt) after frame 12, before the end;
// out.partial.y4m holds frames 1 to 12, and out.y4m was left as it was".
// `stoppedBy` null: the run ended otherwise ("the last whole frame written
// is frame 12; ...").
std::string EndingText(const char* stoppedBy, int64_t framesDone,
                       const std::vector<OutputFate>& fates);
