// The frame conversion against the double-precision mapping of
// video_levels.h: every word a stream can hold and every host value, in each
// of Y, Cb and Cr, at every depth, in both ranges and both matrices. In
// BT.601 that is HostFromCode and CodeFromHost channel by channel, the
// lookup tables of MakeLevelTables, and the rows must give it exactly; the
// floats of BT.709 may round the other way only where the exact value is
// within their error of halfway between two integers.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "pictures/yc_frame.h"
#include "video/level_rows.h"
#include "video/video_levels.h"

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

// Whether an exact value, the sum of three terms, lies so close to halfway
// between two integers that single precision may round it either way: its
// sum is off by a few roundings of 2^-24 of the terms' sizes; eight are
// allowed.
bool NearTie(const double terms[3])
{
    const double sum = terms[0] + terms[1] + terms[2];
    const double size = std::fabs(terms[0]) + std::fabs(terms[1]) + std::fabs(terms[2]);
    return std::fabs(sum - std::floor(sum) - 0.5) <= std::ldexp(size, -21);
}

// Channel `i` of HostFromCodes before rounding, as its terms.
void HostTerms(const int codes[3], int depth, VideoRange range, VideoMatrix matrix, int i,
               double terms[3])
{
    const Levels luma = LumaLevels(depth, range);
    const Levels chroma = ChromaLevels(depth, range);
    const auto& m = MapOfMatrix(matrix).toHost;
    for (int j = 0; j < 3; ++j) {
        const Levels& levels = j == 0 ? luma : chroma;
        terms[j] = m[i][j] * (codes[j] - levels.offset) / levels.codesPerUnit * 4096.0;
    }
}

// Channel `i` of CodesFromHost before rounding, less its whole offset.
void CodeTerms(const YCPixel& host, int depth, VideoRange range, VideoMatrix matrix, int i,
               double terms[3])
{
    const Levels levels = i == 0 ? LumaLevels(depth, range) : ChromaLevels(depth, range);
    const auto& m = MapOfMatrix(matrix).toStream;
    const int16_t values[3] = {host.y, host.cb, host.cr};
    for (int j = 0; j < 3; ++j) {
        terms[j] = m[i][j] * values[j] / 4096.0 * levels.codesPerUnit;
    }
}

TEST(LevelRows, EveryCodeAndHostValueAsTheReference)
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
            for (VideoMatrix matrix : {VideoMatrix::bt601, VideoMatrix::bt709}) {
                SCOPED_TRACE(std::to_string(depth) + " bits, " + RangeName(range) + ", " +
                             MatrixName(matrix));
                const RowLevels r = MakeRowLevels(depth, range, matrix);
                // The floats of BT.709 may be one off, next to halfway.
                auto tie = [&](int got, int want, const double terms[3]) {
                    return matrix != VideoMatrix::bt601 && std::abs(got - want) == 1 &&
                           NearTie(terms);
                };

                std::vector<YCPixel> got(width);
                PixelsFromPlanes(in, width, r, got.data());
                int wrong = 0;
                for (int x = 0; x < width; ++x) {
                    const int codes[3] = {codeAt(0, x), codeAt(1, x), codeAt(2, x)};
                    const YCPixel want = HostFromCodes(codes, depth, range, matrix);
                    const int gotHost[3] = {got[x].y, got[x].cb, got[x].cr};
                    const int wantHost[3] = {want.y, want.cb, want.cr};
                    for (int i = 0; i < 3; ++i) {
                        double terms[3];
                        HostTerms(codes, depth, range, matrix, i, terms);
                        if (gotHost[i] != wantHost[i] && !tie(gotHost[i], wantHost[i], terms) &&
                            ++wrong <= 5) {
                            ADD_FAILURE()
                                << "codes " << codes[0] << " " << codes[1] << " " << codes[2]
                                << ": host " << got[x].y << " " << got[x].cb << " " << got[x].cr;
                        }
                    }
                }
                EXPECT_EQ(wrong, 0);

                std::vector<uint8_t> out[3];
                for (auto& plane : out) plane.resize(static_cast<size_t>(width) * bytes);
                uint8_t* const outPlanes[3] = {out[0].data(), out[1].data(), out[2].data()};
                PlanesFromPixels(hosts.data(), width, r, outPlanes);
                wrong = 0;
                for (int x = 0; x < width; ++x) {
                    uint16_t want[3];
                    CodesFromHost(hosts[x], depth, range, matrix, want);
                    for (int p = 0; p < 3; ++p) {
                        const int code = bytes == 2 ? out[p][2 * x] | out[p][2 * x + 1] << 8
                                                    : out[p][x];
                        double terms[3];
                        CodeTerms(hosts[x], depth, range, matrix, p, terms);
                        if (code != want[p] && !tie(code, want[p], terms) && ++wrong <= 5) {
                            ADD_FAILURE()
                                << "plane " << p << ", host " << hosts[x].y << " " << hosts[x].cb
                                << " " << hosts[x].cr << ": code " << code << ", not " << want[p];
                        }
                    }
                }
                EXPECT_EQ(wrong, 0);
            }
        }
    }
}

// Every code triple of 8 and 10 bits through the rows to the host and back,
// a row of every Y for each Cb and Cr: no code may move, although BT.709
// mixes the channels' rounding (video_levels.h).
template <typename Sample>
int WorstRoundTrip(int depth, VideoRange range, VideoMatrix matrix)
{
    const RowLevels levels = MakeRowLevels(depth, range, matrix);
    const int codes = 1 << depth;
    std::vector<Sample> luma(codes);
    for (int y = 0; y < codes; ++y) luma[y] = static_cast<Sample>(y);
    // Row c holds the code c throughout, for Cb and Cr.
    std::vector<Sample> same(static_cast<size_t>(codes) * codes);
    for (int c = 0; c < codes; ++c) {
        std::fill(same.begin() + c * codes, same.begin() + (c + 1) * codes, static_cast<Sample>(c));
    }
    std::vector<Sample> out[3];
    for (auto& plane : out) plane.resize(codes);
    // Little-endian words, as x86 holds them.
    uint8_t* const outPlanes[3] = {reinterpret_cast<uint8_t*>(out[0].data()),
                                   reinterpret_cast<uint8_t*>(out[1].data()),
                                   reinterpret_cast<uint8_t*>(out[2].data())};
    std::vector<YCPixel> pixels(codes);
    int worst = 0;
    for (int cb = 0; cb < codes; ++cb) {
        for (int cr = 0; cr < codes; ++cr) {
            const Sample* const in[3] = {luma.data(), same.data() + cb * codes,
                                         same.data() + cr * codes};
            const uint8_t* const inPlanes[3] = {reinterpret_cast<const uint8_t*>(in[0]),
                                                reinterpret_cast<const uint8_t*>(in[1]),
                                                reinterpret_cast<const uint8_t*>(in[2])};
            PixelsFromPlanes(inPlanes, codes, levels, pixels.data());
            PlanesFromPixels(pixels.data(), codes, levels, outPlanes);
            for (int p = 0; p < 3; ++p) {
                if (std::equal(out[p].begin(), out[p].end(), in[p])) continue;
                for (int x = 0; x < codes; ++x) {
                    worst = std::max(worst, std::abs(in[p][x] - out[p][x]));
                }
            }
        }
    }
    return worst;
}

// BT.601 keeps the channels apart, so its per-channel round trip
// (video_levels_test.cpp) covers it.
TEST(LevelRows, EveryCodeTripleOf8And10BitsComesBackInBt709)
{
    for (VideoRange range : {VideoRange::limited, VideoRange::full}) {
        SCOPED_TRACE(RangeName(range));
        EXPECT_EQ(WorstRoundTrip<uint8_t>(8, range, VideoMatrix::bt709), 0);
        EXPECT_EQ(WorstRoundTrip<uint16_t>(10, range, VideoMatrix::bt709), 0);
    }
}

}  // namespace
