// Whether a converter call goes in row bands or on the calling thread,
// decided from the times of the calls themselves.
//
// Whether the bands pay depends on what else the machine is doing at that
// moment (an encoder on every core, the graphics driver's own threads), so
// no rule fixed at the start decides it: each kind of call (pack, unpack)
// times both ways on the frames themselves, keeps the cheaper and gives the
// other a trial now and then. The choice changes which threads convert,
// never a byte of the result. Plain integers and no system calls: the
// worker pool (row_bands.h) times the calls and says what changed, and the
// choice is tested and replayed on recorded costs anywhere.
#pragma once

#include <cstdint>

// The times of the latest calls of one way, in ticks of whatever clock the
// caller reads; the way's cost is their mean, since a clip's time is the sum
// of its calls (bands whose worker sometimes wakes late cost the mean of the
// quick and the slow calls, not the one or the other). Integers throughout:
// the host's x87 and SSE exception flags must come back from a frame as they
// went in, and a floating-point step would leave an inexact flag behind.
constexpr int32_t bandSamples = 8;
struct BandCosts {
    int64_t ticks[bandSamples];
    int32_t count;  // samples held, up to bandSamples
    int32_t next;   // where the next one goes
};

// How one kind of call runs. The way in use is timed on every call. Now and
// then the other way has a trial of up to trialCalls calls, each right after
// a call of the way in use, so that the two are compared over the same
// moments (the cost of one way moves by a quarter and more from one stretch
// of calls to the next as the machine's other work comes and goes). The
// tried way takes over when its calls were cheaper on the whole than the
// calls of the way in use just before them; the trial is decided sooner
// when they are clearly dearer or cheaper than those calls and than the way
// in use's mean (a single late call does not decide it). The next trial
// comes after as many calls as the trial's calls times the per cent the
// other way was dearer (8 to 64, and early in a clip at most twice the
// calls so far): a trial of a dear way then costs the calls about 1 %, and
// ways close in cost, where a change of load soonest turns the choice, are
// tried often. A change in the cost of the way in use brings the next trial
// forward, the more the closer the other way was: the load has changed,
// and the other way's cost with it.
struct BandChoice {
    const void* converter;  // the call the costs belong to; another starts afresh
    int64_t pixels;
    BandCosts inUse;       // the way in use
    int64_t lastInUse;     // its latest call
    BandCosts trial;       // the other way, in its trial under way (count 0: none)
    int64_t pairedTicks;   // the calls of the way in use just before the trial's
    bool trialTurn;        // the next call is the trial's
    int64_t inUseAtTrial;  // the cost of the way in use when the last trial ended
    int64_t otherAtTrial;  // and the other way's cost in it
    int32_t callsToTrial;
    bool inBands;      // the way in use
    int32_t calls;     // timed so far
    int32_t lastSaid;  // calls when a change was last told
};

// Whether the next call of `converter` on a frame of `pixels` goes in
// bands; another converter or size starts afresh.
bool ChooseBands(BandChoice* choice, const void* converter, int64_t pixels);

// Takes the time that call took (usedBands: the way ChooseBands gave),
// which may hand over to the other way. True when the way in use changed
// and it is time to tell a debugger (at most once in a few hundred calls).
bool RecordCallTime(BandChoice* choice, bool usedBands, int64_t ticks);

// The mean of a way's samples; 0 when there are none.
int64_t MeanCost(const BandCosts& costs);
