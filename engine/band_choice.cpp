#include "band_choice.h"

#include <algorithm>

namespace {

// The rule's numbers; band_choice.h describes the rule.
constexpr int32_t trialCalls = bandSamples;
constexpr int64_t switchPercent = 97;         // the tried way's calls against the paired ones
constexpr int64_t clearAfterOnePercent = 50;  // an early end: by half after one call, ...
constexpr int32_t fewestCallsToTrial = 8;     // calls of the current way between trials
constexpr int32_t mostCallsToTrial = 64;
constexpr int32_t youngClipSpacing = 2;         // at most times the calls so far
constexpr int64_t changedLoadPercent = 50;      // a change of the current way's cost
constexpr int64_t changedLoadTrialDivisor = 8;  // and how much sooner the next trial comes
constexpr int32_t warmUpCalls = 1;              // calls on a new frame size that are no sample
// A change of way is told at most once in this many calls of a kind (the
// worker pool's record counts all of them).
constexpr int32_t callsBetweenChangeLines = 256;

int64_t Sum(const BandCosts& costs)
{
    int64_t sum = 0;
    for (int32_t i = 0; i < costs.count; ++i) {
        sum += costs.ticks[i];
    }
    return sum;
}

void AddCost(BandCosts* costs, int64_t ticks)
{
    costs->ticks[costs->next] = ticks;
    costs->next = (costs->next + 1) % bandSamples;
    costs->count = std::min(costs->count + 1, bandSamples);
}

// Calls between trials for a spacing in calls, within the bounds.
int32_t TrialSpacing(int64_t calls)
{
    return static_cast<int32_t>(
        std::max<int64_t>(fewestCallsToTrial, std::min<int64_t>(mostCallsToTrial, calls)));
}

// The per cent by which otherCost exceeds inUse; 0 when it does not.
int64_t PercentMoreCostly(int64_t otherCost, int64_t inUse)
{
    return inUse > 0 && otherCost > inUse ? (otherCost - inUse) * 100 / inUse : 0;
}

// After a trial, with the other way's cost and the current way's cost it
// is compared with: the calls until the next, and the costs it is measured
// from.
void ScheduleTrial(BandChoice* choice, int64_t otherCost, int64_t against, int32_t trialLength)
{
    choice->callsToTrial =
        std::min(TrialSpacing(trialLength * PercentMoreCostly(otherCost, against)),
                 std::max(fewestCallsToTrial, youngClipSpacing * choice->calls));
    choice->inUseAtTrial = MeanCost(choice->inUse);
    choice->otherAtTrial = otherCost;
    choice->trial = BandCosts{};
    choice->pairedTicks = 0;
    choice->trialTurn = false;
}

}  // namespace

int64_t MeanCost(const BandCosts& costs)
{
    return costs.count > 0 ? Sum(costs) / costs.count : 0;
}

// The way for this call: during a trial the other way and the current way
// in turn, else the current way.
bool ChooseBands(BandChoice* choice, const void* converter, int64_t pixels)
{
    if (choice->converter != converter || choice->pixels != pixels) {
        *choice = BandChoice{};
        choice->converter = converter;
        choice->pixels = pixels;
        choice->lastSaid = -callsBetweenChangeLines;
        // The warm-up and one sample in bands, then one thread's trial.
        choice->inBands = true;
        choice->callsToTrial = warmUpCalls + 2;
    }
    if (choice->trial.count == 0 && !choice->trialTurn && --choice->callsToTrial <= 0) {
        choice->trialTurn = true;
    }
    return choice->trialTurn != choice->inBands;
}

// Takes the call's time into its way's costs; ends a trial that falls
// behind, or hands over to the tried way once it has shown itself cheaper.
bool RecordCallTime(BandChoice* choice, bool usedBands, int64_t ticks)
{
    if (++choice->calls <= warmUpCalls) {
        return false;
    }
    if (usedBands == choice->inBands) {
        AddCost(&choice->inUse, ticks);
        choice->lastInUse = ticks;
        choice->trialTurn = choice->trial.count > 0;
        const int64_t inUse = MeanCost(choice->inUse);
        const int64_t change = inUse - choice->inUseAtTrial;
        if (choice->inUseAtTrial > 0 &&
            std::max(change, -change) * 100 > changedLoadPercent * choice->inUseAtTrial) {
            choice->callsToTrial = std::min(
                choice->callsToTrial, TrialSpacing(PercentMoreCostly(choice->otherAtTrial, inUse) /
                                                   changedLoadTrialDivisor));
        }
        return false;
    }
    AddCost(&choice->trial, ticks);
    choice->pairedTicks += choice->lastInUse;
    choice->trialTurn = false;
    const int32_t calls = choice->trial.count;
    const int64_t tried = Sum(choice->trial);
    const int64_t paired = choice->pairedTicks;
    // Before the trial's last call, only a clear difference from both the
    // paired calls and as many calls at the current way's mean decides it.
    const bool last = calls == trialCalls;
    const int64_t atMean = MeanCost(choice->inUse) * calls;
    const int64_t scaled = tried * calls * 100;
    const bool costsMore = last ? tried * 100 >= switchPercent * paired
                                : scaled >= std::max(paired, atMean) *
                                                (calls * 100 + clearAfterOnePercent);
    if (costsMore) {
        ScheduleTrial(choice, tried / calls, paired / calls, calls);
        return false;
    }
    if (!last && scaled > std::min(paired, atMean) * (calls * 100 - clearAfterOnePercent)) {
        return false;
    }
    choice->inBands = !choice->inBands;
    choice->inUse = choice->trial;
    choice->lastInUse = ticks;
    ScheduleTrial(choice, paired / calls, tried / calls, 1);
    if (choice->calls - choice->lastSaid < callsBetweenChangeLines) {
        return false;
    }
    choice->lastSaid = choice->calls;
    return true;
}
