// The converters' choice of threads replayed on recorded costs: each file
// holds the times of one kind of call (pack or unpack) of the two forced
// ways taken side by side, a call a line,
//   <one thread ms> <bands ms>
// (bench/threads --calls DIR writes them). The calls go through the choice
// as the plug-in makes it (ChooseBands, RecordCallTime), each paying what
// the way chosen cost at that call, so a change to the choice can be
// weighed on the very same moments of the machine's load, without Wine's
// frames or their noise between runs. A line per file,
//   <file>: default 1.031 of the faster (bands 0.72 of one thread; 54 of 60 calls in bands)
// and over all of them
//   default against the faster: mean 1.030, worst 1.109 (<file>), 20 of 68 within 1.03
// where the faster is the lower of the two ways' sums: 1.000 means the
// choice cost the clip what the better fixed way would have.
//
//   choice_replay FILE...
#include <cstdio>
#include <string>
#include <vector>

#include "engine/band_choice.h"

namespace {

struct RecordedCalls {
    std::string name;
    std::vector<double> one;    // ms
    std::vector<double> bands;  // ms
};

bool ReadCalls(const char* path, RecordedCalls* calls)
{
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        return false;
    }
    calls->name = path;
    double one = 0;
    double bands = 0;
    while (std::fscanf(file, "%lf %lf", &one, &bands) == 2) {
        calls->one.push_back(one);
        calls->bands.push_back(bands);
    }
    std::fclose(file);
    return !calls->one.empty();
}

struct Replayed {
    double overFaster;  // the choice's sum against the lower of the ways' sums
    double bandsOverOne;
    int inBands;  // calls
};

Replayed Replay(const RecordedCalls& calls)
{
    BandChoice choice{};
    const int converter = 0;
    double one = 0;
    double inBands = 0;
    double chosen = 0;
    Replayed result{};
    for (size_t i = 0; i < calls.one.size(); ++i) {
        const bool useBands = ChooseBands(&choice, &converter, 1 << 20);
        const double cost = useBands ? calls.bands[i] : calls.one[i];
        RecordCallTime(&choice, useBands, static_cast<int64_t>(cost * 1000));  // microseconds
        one += calls.one[i];
        inBands += calls.bands[i];
        chosen += cost;
        result.inBands += useBands ? 1 : 0;
    }
    result.overFaster = chosen / (one < inBands ? one : inBands);
    result.bandsOverOne = inBands / one;
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: choice_replay FILE...\n");
        return 2;
    }
    double sum = 0;
    double worst = 0;
    std::string worstName;
    int within = 0;
    int replayed = 0;
    for (int a = 1; a < argc; ++a) {
        RecordedCalls calls;
        if (!ReadCalls(argv[a], &calls)) {
            std::fprintf(stderr, "choice_replay: no calls in %s\n", argv[a]);
            return 1;
        }
        const Replayed r = Replay(calls);
        std::printf("%s: default %.3f of the faster (bands %.2f of one thread; %d of %zu calls in "
                    "bands)\n",
                    calls.name.c_str(), r.overFaster, r.bandsOverOne, r.inBands, calls.one.size());
        sum += r.overFaster;
        within += r.overFaster <= 1.03 ? 1 : 0;
        if (r.overFaster > worst) {
            worst = r.overFaster;
            worstName = calls.name;
        }
        ++replayed;
    }
    std::printf("default against the faster: mean %.3f, worst %.3f (%s), %d of %d within 1.03\n",
                sum / replayed, worst, worstName.c_str(), within, replayed);
    return 0;
}
