#include "slider_sync.h"

bool SyncRgbTracks(int32_t tracks[trackCount])
{
    // (R, G, B) track indices of the offset, gain and gamma groups.
    static const int groups[3][3] = {{trackROffset, trackGOffset, trackBOffset},
                                     {trackRGain, trackGGain, trackBGain},
                                     {trackRGamma, trackGGamma, trackBGamma}};
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
