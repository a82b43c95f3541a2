#include <gtest/gtest.h>

#include "slider_sync.h"

namespace {

struct Rgb {
    int32_t r, g, b;
};

// Puts one (R, G, B) triple into a group of an otherwise synchronised set of
// tracks, with distinct values in the non-RGB tracks to catch stray writes.
void Fill(int32_t tracks[trackCount], int group, Rgb rgb)
{
    for (int i = 0; i < 16; ++i) tracks[i] = 100 + i;
    for (int k = 0; k < 3; ++k) {
        tracks[6 + k] = tracks[9 + k] = tracks[12 + k] = -7 * (k + 1);
    }
    tracks[6 + group] = rgb.r;
    tracks[9 + group] = rgb.g;
    tracks[12 + group] = rgb.b;
}

TEST(SyncRgbTracks, TheOddValueOutWinsAndGWinsWhenAllDiffer)
{
    const struct {
        Rgb in;
        int32_t out;
    } cases[] = {
        {{10, 10, 30}, 30},  // B differs
        {{10, 30, 30}, 10},  // R differs
        {{10, 30, 10}, 30},  // G differs
        {{10, 20, 30}, 20},  // all differ: G
        {{-256, 256, 0}, 256},
    };
    for (int group = 0; group < 3; ++group) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << "group " << group << " (" << c.in.r << ", "
                                              << c.in.g << ", " << c.in.b << ")");
            int32_t tracks[trackCount];
            Fill(tracks, group, c.in);
            int32_t before[trackCount];
            std::copy(tracks, tracks + 16, before);

            EXPECT_TRUE(SyncRgbTracks(tracks));
            for (int i = 0; i < 16; ++i) {
                bool inGroup = i >= 6 && i <= 14 && (i - 6) % 3 == group;
                EXPECT_EQ(tracks[i], inGroup ? c.out : before[i]) << "track " << i;
            }
        }
    }
}

TEST(SyncRgbTracks, EqualGroupsReportNoChange)
{
    int32_t tracks[trackCount];
    Fill(tracks, 1, {5, 5, 5});
    int32_t before[trackCount];
    std::copy(tracks, tracks + 16, before);
    EXPECT_FALSE(SyncRgbTracks(tracks));
    EXPECT_TRUE(std::equal(tracks, tracks + 16, before));
}

TEST(SyncRgbTracks, EveryGroupIsSyncedInOneCall)
{
    int32_t tracks[trackCount] = {};
    tracks[6] = 1;   // offset: R differs
    tracks[10] = 2;  // gain: G differs
    tracks[14] = 3;  // gamma: B differs
    EXPECT_TRUE(SyncRgbTracks(tracks));
    EXPECT_EQ(tracks[6], 1);
    EXPECT_EQ(tracks[9], 1);
    EXPECT_EQ(tracks[12], 1);
    EXPECT_EQ(tracks[7], 2);
    EXPECT_EQ(tracks[10], 2);
    EXPECT_EQ(tracks[13], 2);
    EXPECT_EQ(tracks[8], 3);
    EXPECT_EQ(tracks[11], 3);
    EXPECT_EQ(tracks[14], 3);
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
