// The CPU side of a frame on every core: a converter call split into bands
// of rows, which the calling thread and the worker threads take in turn.
//
// The converters are per-row functions, so a band is the same call on a
// (first row, row count) range of the frame; the bytes written are those of
// the whole call on one thread. The bands are taken, not dealt: a worker
// that Wine wakes late (after a frame's idle wait it can take longer than
// the whole conversion) leaves its share to the others, and the calling
// thread does not wait for a worker that has not started. A worker converts under the calling thread's
// x87 control word and MXCSR, so rounding follows whatever mode the host set.
// The workers are made once (StartRowBands) and wait on events between
// frames: a frame creates no thread and allocates nothing. Whatever fails
// (a thread, an event, a signal) only costs speed: the band is converted on
// the calling thread.
#pragma once

#include <cstdint>

#include <windows.h>

#include "engine/pixel_converters.h"

constexpr int32_t maxRowWorkers = 15;

// Frames below this many pixels stay on the calling thread: under it, waking
// a worker and waiting for it costs more than the band saves (bench/README.md).
constexpr int32_t rowBandsMinimumPixels = 500000;

struct RowBands;

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
// or more (1 keeps everything on the calling thread, for comparison), else
// one per processor; at most maxRowWorkers + 1. Read by the engine's start.
int32_t RowBandsThreadCount();

// Starts threadCount - 1 workers on a cleared or stopped pool. True when all
// of them started; on a failure the pool keeps the workers that did.
// The record must stay where it is until StopRowBands.
bool StartRowBands(RowBands* bands, int32_t threadCount, bool sseState);

// Ends the workers and waits until they are gone; repeatable.
void StopRowBands(RowBands* bands);

// The converter over the frame, in bands when the pool has workers and the
// frame is large enough. texelBytes is the converter's texel size.
void PackInBands(RowBands* bands, PackRowsFunction pack, int32_t texelBytes, const YCPixel* host,
                 int32_t hostPitch, void* texels, int32_t texelPitch, int32_t width,
                 int32_t height);
void UnpackInBands(RowBands* bands, UnpackRowsFunction unpack, int32_t texelBytes, YCPixel* host,
                   int32_t hostPitch, const void* texels, int32_t texelPitch, int32_t width,
                   int32_t height);
