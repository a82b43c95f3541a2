#include "level_tables.h"

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
