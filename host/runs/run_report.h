// What filterhost says after a frame run: the report (plug-in, frames,
// files written, the debug window, timings, --verify) and, for a stream or
// with progress shown, the one-line summary on standard error.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "command_line/options.h"
#include "runs/frame_run.h"
#include "video/frame_streams.h"

// The report on `report`; the exit status's verify part is the caller's.
void PrintRunReport(std::FILE* report, const std::string& pluginName, const HostOptions& options,
                    const FrameTally& tally, const YCFrame& shape,
                    const std::vector<std::string>& written);

// The summary line: figures per frame and what the input was.
void PrintRunSummary(const FrameTally& tally, const FrameFeed& feed, const FrameSink& sink);
