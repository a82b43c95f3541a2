#include "slider_sync.h"

int32_t ClampedFormatTrack(const int32_t tracks[16])
{
    const int32_t requested = tracks[trackFormat];
    return requested < 0 ? 0 : requested > 5 ? 5 : requested;
}

bool SyncRgbTracks(int32_t tracks[16])
{
    // (R, G, B) track indices of the offset, gain and gamma groups.
    static const int groups[3][3] = {{6, 9, 12}, {7, 10, 13}, {8, 11, 14}};
    bool changed = false;
    for (const auto& group : groups) {
        int32_t& r = tracks[group[0]];
        int32_t& g = tracks[group[1]];
        int32_t& b = tracks[group[2]];
        int32_t value;
        if (r == g && g == b) {
            continue;
        } else if (r == g) {
            value = b;
        } else if (g == b) {
            value = r;
        } else {
            value = g;  // r == b with g different, or all three different
        }
        r = g = b = value;
        changed = true;
    }
    return changed;
}
