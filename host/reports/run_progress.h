// The progress line of a run and its one-line summary, both for standard
// error.
#pragma once

#include <cstdint>
#include <string>

// "frame 120 of 300 (40 %), 24.3 fps, 0:07 left" ("frame 120, 24.3 fps"
// when the length is unknown, `total` < 0). `frames` done in `seconds`.
std::string ProgressText(int64_t frames, int64_t total, double seconds);

// "1:02:03" or "2:05" (minutes and seconds under an hour).
std::string ClockText(double seconds);

struct RunFigures {
    int64_t frames = 0;
    double seconds = 0;             // the whole run, from the first read
    double ownMilliseconds = 0;     // median per frame: the host's thread outside onProcess
    double pluginMilliseconds = 0;  // median per frame: the onProcess call
    double readMilliseconds = 0;    // median per frame: reading and decoding, on its own thread
    double writeMilliseconds = 0;   // median per frame: writing, on its own thread
    double periodMilliseconds = 0;  // median per frame: from one frame's start to the next
    double verifyMilliseconds = 0;  // median per frame: --verify's reference model, on the CPU
};

// "filterhost: 120 frames of 1920x1080 C444p16, limited range, BT.709 (by
// frame size) in 4.9 s (24.3 fps); own work 8.1 ms per frame, 3.2 % of the
// plug-in's 251.0 ms; alongside it 4.2 ms reading and 11.0 ms writing; a
// frame every 259.3 ms (medians)". `what` describes the frames; each part
// only when there was some. With --verify its time per frame is named
// after the own work, as the frames per second include it.
std::string SummaryText(const RunFigures& figures, const std::string& what);
