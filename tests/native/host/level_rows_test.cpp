// The frame conversion's arithmetic against the exact mapping, held in the
// lookup tables of MakeLevelTables: every word a stream can hold and every
// host value, in each of Y, Cb and Cr, at every depth and in both ranges.
#include <algorithm>

#include <gtest/gtest.h>

#include "level_rows.h"
#include "video_levels.h"
#include "yc_frame.h"

namespace {

// All 65536 values in each plane, each plane starting elsewhere so that a
// plane put in another's place is noticed; five more pixels take the last
// few through the conversion's path for a row's end.
constexpr int allWords = 65536;
constexpr int width = allWords + 5;

uint16_t Word(int plane, int x)
{
    return static_cast<uint16_t>(x + plane * 21845);
}

TEST(LevelRows, EveryCodeAndHostValueAsTheTables)
{
    std::vector<YCPixel> hosts(width);
    for (int x = 0; x < width; ++x) {
        hosts[x] = YCPixel{static_cast<int16_t>(Word(0, x)), static_cast<int16_t>(Word(1, x)),
                           static_cast<int16_t>(Word(2, x))};
    }
    for (int depth : {8, 10, 12, 16}) {
        const int bytes = depth > 8 ? 2 : 1;
        // Words past the depth's largest code are taken as it; bytes are
        // the low bytes of the words.
        std::vector<uint8_t> planes[3];
        for (int p = 0; p < 3; ++p) {
            planes[p].resize(static_cast<size_t>(width) * bytes);
            for (int x = 0; x < width; ++x) {
                planes[p][x * bytes] = static_cast<uint8_t>(Word(p, x));
                if (bytes == 2) planes[p][x * 2 + 1] = static_cast<uint8_t>(Word(p, x) >> 8);
            }
        }
        const uint8_t* const in[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
        auto codeAt = [&](int p, int x) {
            const int word = bytes == 2 ? Word(p, x) : Word(p, x) & 0xFF;
            return std::min(word, (1 << depth) - 1);
        };
        for (VideoRange range : {VideoRange::limited, VideoRange::full}) {
            SCOPED_TRACE(std::to_string(depth) + " bits, " + RangeName(range));
            const LevelTables t = MakeLevelTables(depth, range);
            const RowLevels r = MakeRowLevels(depth, range);

            std::vector<YCPixel> got(width);
            PixelsFromPlanes(in, width, r, got.data());
            int wrong = 0;
            for (int x = 0; x < width; ++x) {
                const YCPixel want = {t.hostFromLuma[codeAt(0, x)], t.hostFromChroma[codeAt(1, x)],
                                      t.hostFromChroma[codeAt(2, x)]};
                if (!SamePixel(got[x], want) && ++wrong <= 5) {
                    ADD_FAILURE() << "codes " << codeAt(0, x) << " " << codeAt(1, x) << " "
                                  << codeAt(2, x) << ": host " << got[x].y << " " << got[x].cb
                                  << " " << got[x].cr;
                }
            }
            EXPECT_EQ(wrong, 0);

            std::vector<uint8_t> out[3];
            for (auto& plane : out) plane.resize(static_cast<size_t>(width) * bytes);
            uint8_t* const outPlanes[3] = {out[0].data(), out[1].data(), out[2].data()};
            PlanesFromPixels(hosts.data(), width, r, outPlanes);
            wrong = 0;
            for (int p = 0; p < 3; ++p) {
                const std::vector<uint16_t>& table = p == 0 ? t.lumaFromHost : t.chromaFromHost;
                for (int x = 0; x < width; ++x) {
                    const int code = bytes == 2 ? out[p][2 * x] | out[p][2 * x + 1] << 8 : out[p][x];
                    if (code != table[Word(p, x)] && ++wrong <= 5) {
                        ADD_FAILURE() << "plane " << p << ", host "
                                      << static_cast<int16_t>(Word(p, x)) << ": code " << code
                                      << ", not " << table[Word(p, x)];
                    }
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

}  // namespace
