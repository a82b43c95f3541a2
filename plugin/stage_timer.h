// Stage timing of the last frame and the text the debug window shows.
#pragma once

#include <cstdint>

#include <windows.h>

struct StageCheckpoint {
    int64_t counter;    // performance-counter value taken at the checkpoint
    wchar_t label[16];  // the stage that ends here
};

constexpr int stageCheckpointCount = 6;
constexpr size_t stageTextCapacity = 512;
constexpr size_t stageLineCapacity = 64;

// Records the performance counter, then the label, into slot `index`
// (0..5); the label has at most 15 characters.
void MarkStage(StageCheckpoint timer[stageCheckpointCount], int index, const wchar_t* label);

// The debug window's text for the first `count` checkpoints: a size line with
// the frame size and the format tag, then one line per stage with the seconds
// between a checkpoint and the one before it, named after the later one.
void FormatStageText(wchar_t text[stageTextCapacity], int width, int height,
                     const wchar_t* formatTag, const StageCheckpoint timer[stageCheckpointCount],
                     int count, double counterFrequency);

// Ticks per second of the performance counter, or `current` (the frequency
// in use so far) when the system does not report a usable one; the plug-in
// starts from 1.0, so times then read in ticks.
double ReadCounterFrequency(double current);

// The "Debug KELVO" window: a read-only multi-line edit control owned by the
// host's settings window. Null when it cannot be created, which is not an
// error.
HWND CreateDebugWindow(HWND owner, HINSTANCE moduleInstance);
