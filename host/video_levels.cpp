#include "video_levels.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double hostScale = 4096.0;

}  // namespace

const char* RangeName(VideoRange range)
{
    return range == VideoRange::full ? "full" : "limited";
}

Levels LumaLevels(int depth, VideoRange range)
{
    const int maxCode = (1 << depth) - 1;
    if (range == VideoRange::full) {
        return Levels{0.0, static_cast<double>(maxCode), maxCode};
    }
    const double step = std::ldexp(1.0, depth - 8);
    return Levels{16.0 * step, 219.0 * step, maxCode};
}

Levels ChromaLevels(int depth, VideoRange range)
{
    const int maxCode = (1 << depth) - 1;
    if (range == VideoRange::full) {
        return Levels{std::ldexp(1.0, depth - 1), static_cast<double>(maxCode), maxCode};
    }
    const double step = std::ldexp(1.0, depth - 8);
    return Levels{128.0 * step, 224.0 * step, maxCode};
}

int16_t HostFromCode(int code, const Levels& levels)
{
    // Every code of 8..16 bits lands well inside the 16-bit host range
    // (limited 16-bit luma at 65535 gives 4488).
    return static_cast<int16_t>(
        std::lround((code - levels.offset) / levels.codesPerUnit * hostScale));
}

uint16_t CodeFromHost(int16_t host, const Levels& levels)
{
    const double code = std::floor(levels.offset + host / hostScale * levels.codesPerUnit + 0.5);
    return static_cast<uint16_t>(std::min(std::max(code, 0.0), static_cast<double>(levels.maxCode)));
}

LevelTables MakeLevelTables(int depth, VideoRange range)
{
    LevelTables t;
    t.depth = depth;
    t.range = range;
    const Levels luma = LumaLevels(depth, range);
    const Levels chroma = ChromaLevels(depth, range);
    t.hostFromLuma.resize(static_cast<size_t>(luma.maxCode) + 1);
    t.hostFromChroma.resize(t.hostFromLuma.size());
    for (int code = 0; code <= luma.maxCode; ++code) {
        t.hostFromLuma[code] = HostFromCode(code, luma);
        t.hostFromChroma[code] = HostFromCode(code, chroma);
    }
    t.lumaFromHost.resize(65536);
    t.chromaFromHost.resize(65536);
    for (int word = 0; word < 65536; ++word) {
        const int16_t host = static_cast<int16_t>(static_cast<uint16_t>(word));
        t.lumaFromHost[word] = CodeFromHost(host, luma);
        t.chromaFromHost[word] = CodeFromHost(host, chroma);
    }
    return t;
}

