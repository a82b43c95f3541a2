// filterhost's frame run: frames from the feed through the started plug-in
// into the sink, one at a time, with what the report needs of every frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "command_line/options.h"
#include "reports/stage_summary.h"
#include "reports/verify.h"
#include "session/host_session.h"
#include "video/frame_streams.h"

// What the frames came to, for the report and the exit status.
struct FrameTally {
    int64_t framesProcessed = 0;      // onProcess calls
    int64_t framesDone = 0;           // of them, written whole (all when there is no output)
    int failed = 0;                   // frames onProcess returned 0 for
    int pastWidth = 0;                // frames with pixels past the width changed
    bool inputBroken = false;         // the stream turned out cut short or damaged
    bool outputBroken = false;        // a write failed
    const char* stoppedBy = nullptr;  // a stop request ended the run early
    bool missingDebugText = false;
    bool progressShown = false;
    double runSeconds = 0;  // from the first read to the last write
    std::vector<StageStatistics> statistics;
    std::vector<double> hostTimes;  // the onProcess calls
    std::vector<double> ownTimes;   // the host's thread outside onProcess
    std::vector<double> periods;    // from one frame's start to the next
    DebugReport lastReport;
    std::string lastDebugText;
    VerifyTotals verifyTotals;
    std::vector<double> verifyTimes;     // the comparisons with the model
    std::string verifiedKinds;           // "F32, U16"
    bool kindGuessed = false;            // a frame's format came from the Format track
    const YCFrame* lastInput = nullptr;  // held by the feed
};

// Runs every frame of the feed (the session's plug-in started, the feed
// and the sink open), or those before a stop request. Messages about single
// frames go to stderr as they happen.
void RunFrames(HostSession* session, FrameFeed* feed, FrameSink* sink, const HostOptions& options,
               FrameTally* tally);
