// Sample codes of a video stream and the host's YCbCr (white = Y 4096, Cb
// and Cr +-2048 for +-0.5), by the ITU-R BT.601 levels of H.273 for a
// depth of 8 to 16 bits:
//   limited  Y = (16 + 219 E'Y) 2^(n-8)     C = (128 + 224 E'C) 2^(n-8)
//   full     Y = (2^n - 1) E'Y              C = 2^(n-1) + (2^n - 1) E'C
// E'Y runs over 0..1 and E'C over -0.5..0.5; host value = E' x 4096.
//
// Both directions round to the nearest step. A code comes back from the
// host exactly when a host unit is finer than a code (8, 10 and 12 bits);
// at 16 bits a host unit spans 13.7 (limited luma), 14 (limited chroma) or
// 16 (full) codes, so a code comes back within half of that, rounded:
// 7 codes limited, 8 full.
#pragma once

#include <cstdint>
#include <vector>

enum class VideoRange { limited, full };

const char* RangeName(VideoRange range);  // "limited", "full"

// code = offset + codesPerUnit * E'
struct Levels {
    double offset;
    double codesPerUnit;
    int maxCode;  // 2^depth - 1
};

Levels LumaLevels(int depth, VideoRange range);
Levels ChromaLevels(int depth, VideoRange range);

int16_t HostFromCode(int code, const Levels& levels);
// Clamped to 0..maxCode: the plug-in may return anything a host pixel holds.
uint16_t CodeFromHost(int16_t host, const Levels& levels);

// Both directions as lookup tables: the reference the frame conversion
// (level_rows.h) and the checks of ffmpeg's decoding are held to.
struct LevelTables {
    int depth = 8;
    VideoRange range = VideoRange::limited;
    std::vector<int16_t> hostFromLuma;     // 2^depth entries
    std::vector<int16_t> hostFromChroma;
    std::vector<uint16_t> lumaFromHost;    // 65536 entries, by the host word
    std::vector<uint16_t> chromaFromHost;
};

LevelTables MakeLevelTables(int depth, VideoRange range);

