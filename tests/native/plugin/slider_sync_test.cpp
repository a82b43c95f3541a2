#include <gtest/gtest.h>

#include "core/correction_tracks.h"
#include "core/slider_sync.h"

namespace {

// RGB sync stated on its own: tracks 6 + k, 9 + k and 12 + k are R, G and B
// of group k (offset, gain, gamma); the odd value out wins, G when all three
// differ; every other track stays.
bool ExpectedSync(int32_t tracks[16])
{
    bool changed = false;
    for (int k = 0; k < 3; ++k) {
        int32_t& r = tracks[6 + k];
        int32_t& g = tracks[9 + k];
        int32_t& b = tracks[12 + k];
        if (r == g && g == b) continue;
        const int32_t value = r == g ? b : g == b ? r : g;
        r = g = b = value;
        changed = true;
    }
    return changed;
}

// Every pattern of equal and different values across the nine RGB tracks,
// with distinct values in the others to catch stray writes.
TEST(SyncRgbTracks, MatchesTheRuleForEveryPatternOfTheNineRgbTracks)
{
    static_assert(trackCount == 16, "the rule above names sixteen tracks");
    int patterns = 1;
    for (int i = 0; i < 9; ++i) patterns *= 3;
    for (int pattern = 0; pattern < patterns; ++pattern) {
        int32_t tracks[trackCount];
        for (int i = 0; i < trackCount; ++i) tracks[i] = 100 + i;
        for (int i = 0, rest = pattern; i < 9; ++i, rest /= 3) tracks[6 + i] = rest % 3 * 128 - 128;
        int32_t expected[trackCount];
        std::copy(tracks, tracks + trackCount, expected);
        const bool expectedChange = ExpectedSync(expected);

        EXPECT_EQ(SyncRgbTracks(correctionTracks, trackCount, tracks), expectedChange) << pattern;
        ASSERT_TRUE(std::equal(tracks, tracks + trackCount, expected)) << "pattern " << pattern;
    }
}

TEST(ClampedFormatTrack, ClampsToZeroThroughFiveAndLetsFivePass)
{
    const struct {
        int32_t track, kind;
    } cases[] = {{-3, 0}, {INT32_MIN, 0}, {0, 0}, {4, 4}, {5, 5}, {9, 5}, {INT32_MAX, 5}};
    for (const auto& c : cases) {
        int32_t tracks[trackCount] = {};
        tracks[15] = c.track;
        EXPECT_EQ(ClampedFormatTrack(tracks), c.kind) << c.track;
    }
}

}  // namespace
