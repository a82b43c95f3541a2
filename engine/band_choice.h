// Whether a converter call goes in row bands or on the calling thread,
// decided from the times of the calls themselves. This is the one full
// description of the choice; the worker pool, the guides and the bench
// point here.
//
// Whether the bands pay depends on what else the machine is doing at that
// moment (an encoder on every core, the graphics driver's own threads), so
// no rule fixed at the start decides it. Each kind of call (pack, unpack)
// keeps a current way, times it on every call and gives the other way a
// trial now and then:
//
// - Cost. A way's cost is the mean of its last bandSamples calls: a clip's
//   time is the sum of its calls, so bands whose worker now and then wakes
//   late cost the mean of the quick and the slow calls.
// - Start. A new converter or frame size starts afresh, in bands: at worst
//   they cost one thread and a wake-up (the calling thread takes a late
//   worker's bands), while one thread can cost half again what the bands
//   do. Its first call is no sample: it touches the frame's memory for the
//   first time and can cost several times a later call. Its third call
//   starts one thread's trial.
// - Trial. Up to bandSamples calls of the other way, each right after a
//   call of the current way and judged against those paired calls, so that
//   a stretch of calls that costs more for both ways (other work coming and
//   going) does not count against the tried way. The tried way takes over
//   when its calls were 3 % cheaper on the whole (two ways of equal cost do
//   not alternate on noise). The trial ends sooner once its calls clearly
//   cost more or less than both the paired calls and the current way's
//   mean: by half after one call, a quarter after two, a sixth after three
//   and so on, so one late call does not decide it and a way that costs
//   half the other takes over after a call or two.
// - Spacing. The next trial comes after as many calls as the trial's calls
//   times the per cent the other way cost more (8 to 64), so trying a
//   costlier way costs the calls about 1 %, and ways close in cost, where a
//   change of load soonest turns the choice, are tried often. Early in a
//   clip it comes within twice the calls so far, so that a first trial that
//   met a bad moment does not hold the costlier way for 64 calls.
// - Changed load. Once the current way's cost has moved by half since the
//   last trial, the next trial comes sooner: after the per cent the other
//   way cost more than the current way costs now, divided by 8 (at least 8
//   calls). A far costlier way is then tried no sooner than before, since
//   the mean of short calls on a busy machine moves by a quarter on noise
//   alone.
//
// The choice changes which threads convert, never a byte of the result.
// Plain integers and no system calls: the worker pool (row_bands.h) times
// the calls, forces a way when KELVO_THREADS asks for one and writes a
// debugger line when the way changes; the choice is tested and replayed on
// recorded costs anywhere (bench/choice_replay.cpp).
#pragma once

#include <cstdint>

// The times of the latest calls of one way, in ticks of whatever clock the
// caller reads; the way's cost is their mean. Integers throughout:
// the host's x87 and SSE exception flags must come back from a frame as they
// went in, and a floating-point step would leave an inexact flag behind.
constexpr int32_t bandSamples = 8;
struct BandCosts {
    int64_t ticks[bandSamples];
    int32_t count;  // samples held, up to bandSamples
    int32_t next;   // where the next one goes
};

// How one kind of call runs, as described above.
struct BandChoice {
    const void* converter;  // the call the costs belong to; another starts afresh
    int64_t pixels;
    BandCosts inUse;       // the current way
    int64_t lastInUse;     // its latest call
    BandCosts trial;       // the other way, in its trial under way (count 0: none)
    int64_t pairedTicks;   // the current way's calls just before the trial's
    bool trialTurn;        // the next call is the trial's
    int64_t inUseAtTrial;  // the current way's cost when the last trial ended
    int64_t otherAtTrial;  // and the other way's cost in it
    int32_t callsToTrial;
    bool inBands;      // the current way
    int32_t calls;     // timed so far
    int32_t lastSaid;  // calls when a change was last told
};

// Whether the next call of `converter` on a frame of `pixels` goes in
// bands; another converter or size starts afresh.
bool ChooseBands(BandChoice* choice, const void* converter, int64_t pixels);

// Takes the time that call took (usedBands: the way ChooseBands gave),
// which may hand over to the other way. True when the current way changed
// and it is time to tell a debugger (at most once in a few hundred calls).
bool RecordCallTime(BandChoice* choice, bool usedBands, int64_t ticks);

// The mean of a way's samples; 0 when there are none.
int64_t MeanCost(const BandCosts& costs);
