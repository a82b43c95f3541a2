#include "core/slider_sync.h"

namespace {

// The value a group of three takes: the one that differs from the other two,
// or G when all three differ.
int32_t AgreedValue(int32_t r, int32_t g, int32_t b)
{
    if (r == g) {
        return b;
    }
    if (g == b) {
        return r;
    }
    return g;  // r == b with g different, or all three different
}

}  // namespace

bool SyncRgbTracks(const TrackRow* rows, int rowCount, int32_t* tracks)
{
    bool changed = false;
    for (int group = 1; group < syncGroupCount; ++group) {
        int32_t* members[3] = {};  // R, G, B in row order
        int found = 0;
        for (int i = 0; i < rowCount && found < 3; ++i) {
            if (static_cast<int>(rows[i].sync) == group) members[found++] = &tracks[i];
        }
        if (found < 3) {
            continue;
        }
        int32_t& r = *members[0];
        int32_t& g = *members[1];
        int32_t& b = *members[2];
        if (r == g && g == b) {
            continue;
        }
        r = g = b = AgreedValue(r, g, b);
        changed = true;
    }
    return changed;
}
