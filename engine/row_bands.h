// The CPU side of a frame on every core: a converter call split into bands
// of rows, which the calling thread and the worker threads take in turn.
//
// The converters are per-row functions, so a band is the same call on a
// (first row, row count) range of the frame; the bytes written are those of
// the whole call on one thread. The bands are taken, not dealt: a worker
// that Wine wakes late (after a frame's idle wait it can take longer than
// the whole conversion) leaves its share to the others, and the calling
// thread does not wait for a worker that has not started. A worker converts
// under the calling thread's x87 control word and MXCSR, so rounding follows
// whatever mode the host set. The workers are made once (StartRowBands) and
// wait on events between frames: a frame creates no thread and allocates
// nothing. Whatever fails (a thread, an event, a signal) only costs speed:
// the band is converted on the calling thread.
//
// Which calls go in bands is decided on the frames themselves, from their
// times in ticks of the performance counter: band_choice.h.
#pragma once

#include <cstdint>

#include <windows.h>

#include "engine/band_choice.h"
#include "core/pixel_converters.h"

constexpr int32_t maxRowWorkers = 15;

// Frames below this many pixels stay on the calling thread: under it, waking
// a worker and waiting for it costs more than the band saves (bench/README.md).
constexpr int32_t rowBandsMinimumPixels = 500000;

struct RowBands;

// What the calls of one kind (pack, unpack) came to while the workers
// lived: the debugger line StopRowBands writes, which filterhost prints and
// bench/threads reads (the converters alone, whatever the graphics card
// made the frame wait for).
constexpr int32_t keptCallTimes = 256;
struct CallRecord {
    int64_t ticks[keptCallTimes];  // the latest calls
    int64_t totalTicks;            // of all calls
    int32_t count;                 // calls in all
    int32_t inBands;               // of them, in bands
    int32_t changes;               // of the way chosen
};

// Which way a call goes when the frame is large enough to split.
enum BandsUse {
    bandsMeasured,  // the cheaper, as measured (BandChoice)
    bandsAlways,    // always in bands (KELVO_THREADS=2 or more, tests, the bench)
};

// What a worker is handed at its start.
struct RowWorker {
    RowBands* bands;
    int32_t index;
    HMODULE module;  // the reference it gives back as it leaves
};

// One converter call in flight; written by the calling thread before it
// signals the workers, read by them.
struct BandCall {
    PackRowsFunction pack;  // the one of the two that is set runs
    UnpackRowsFunction unpack;
    YCPixel* host;
    int32_t hostPitch;
    unsigned char* texels;
    int32_t texelPitch;
    ptrdiff_t texelStride;  // bytes between texel rows, as the converters step
    int32_t width;
    int32_t height;
    int32_t bandHeight;     // rows per band
    volatile LONG nextRow;  // first row of the next band to take
    uint16_t x87Control;    // the calling thread's
    uint32_t mxcsr;
    bool stop;  // the workers leave
};

struct RowBands {
    int32_t workerCount;    // 0: everything on the calling thread
    int32_t minimumPixels;  // smaller frames are not split
    bool sseState;          // MXCSR exists and goes with the work
    bool workersFirst;      // for tests: the calling thread takes bands only once
                            // every woken worker has started, so workers always work
    BandsUse use;
    bool traceCalls;  // every timed call's time to the debugger (RowBandsTraceWanted)
    BandChoice packChoice;
    BandChoice unpackChoice;
    CallRecord packCalls;
    CallRecord unpackCalls;
    int64_t counterFrequency;  // ticks a second
    int64_t longestWaitTicks;  // for a worker's last band, after the caller's own
    HANDLE threads[maxRowWorkers];
    HANDLE startEvents[maxRowWorkers];
    HANDLE doneEvents[maxRowWorkers];
    RowWorker workers[maxRowWorkers];
    // Per worker: workerIdle, workerCalled (woken for the call in flight),
    // workerBusy (taking bands), or workerAwaited when the calling thread
    // has stopped spinning for it and sleeps on its done event.
    volatile LONG workerState[maxRowWorkers];
    BandCall call;
};

// An empty pool: no workers, calls run on the calling thread.
void ClearRowBands(RowBands* bands);

// Threads for a frame: the environment variable KELVO_THREADS when it is 1
// or more, else one per processor; at most maxRowWorkers + 1. Read by the
// engine's start. `forced` says whether the environment gave the count: 1
// keeps everything on the calling thread, 2 or more always uses the bands
// (both for comparison); without it the bands are used where they measure
// cheaper.
int32_t RowBandsThreadCount(bool* forced);

// Whether the environment asks for a debugger line per timed converter call
// (KELVO_TRACE_CALLS=1): "kelvo: pack call 2.31 ms in bands", or "on one
// thread". bench/threads records the ways' costs call by call from them.
bool RowBandsTraceWanted();

// Starts threadCount - 1 workers on a cleared or stopped pool. True when all
// of them started; on a failure the pool keeps the workers that did.
// The record must stay where it is until StopRowBands.
bool StartRowBands(RowBands* bands, int32_t threadCount, bool sseState);

// Writes the calls' record to the debugger (once: it starts afresh), ends
// the workers and waits until they are gone; repeatable.
void StopRowBands(RowBands* bands);

// The converter over the frame, in bands when the pool has workers, the
// frame is large enough and `use` says so. texelBytes is the converter's
// texel size.
void PackInBands(RowBands* bands, PackRowsFunction pack, int32_t texelBytes, const YCPixel* host,
                 int32_t hostPitch, void* texels, int32_t texelPitch, int32_t width,
                 int32_t height);
void UnpackInBands(RowBands* bands, UnpackRowsFunction unpack, int32_t texelBytes, YCPixel* host,
                   int32_t hostPitch, const void* texels, int32_t texelPitch, int32_t width,
                   int32_t height);
