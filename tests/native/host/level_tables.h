// Both directions of video_levels.h as lookup tables, one entry per code and
// per host word: the reference the frame conversion (level_rows.h) and the
// checks of ffmpeg's decoding are held to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "video/video_levels.h"

struct LevelTables {
    int depth = 8;
    VideoRange range = VideoRange::limited;
    std::vector<int16_t> hostFromLuma;  // 2^depth entries
    std::vector<int16_t> hostFromChroma;
    std::vector<uint16_t> lumaFromHost;  // 65536 entries, by the host word
    std::vector<uint16_t> chromaFromHost;
};

LevelTables MakeLevelTables(int depth, VideoRange range);
