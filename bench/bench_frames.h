// Frames and the converter table shared by the two benchmark programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <string>
#include <vector>

#include "core/format_kinds.h"

struct BenchFrame {
    int32_t width;
    int32_t height;
    YCPixel* host;              // width * height pixels, pitch = width
    unsigned char* texels;      // width * height * 16 bytes, 16-byte aligned
    unsigned char* copySource;  // the same size: what the memcpy reads
    unsigned char* copy;        // the same size, the memcpy target
};

enum class Direction { pack, unpack };

struct BenchConverter {
    std::string name;  // by the kinds that use it: "U16/S16/U10 pack", "F16 unpack SSE"
    Direction direction;
    int32_t texelBytes;
    PackRowsFunction pack;  // the one of the two that is set is the converter
    UnpackRowsFunction unpack;
    PackRowsFunction fill;  // for an unpack, the pack that fills its texels, if any
};

// The memcpy a converter is measured against: as many bytes per pixel as
// the larger of what it reads and what it writes (6 for the host's pixel).
inline int32_t CopyBytesPerPixel(const BenchConverter& c)
{
    return c.texelBytes > 6 ? c.texelBytes : 6;
}

#if defined(_WIN32)
#include <malloc.h>
inline void* AllocateAligned(size_t size)
{
    return _aligned_malloc(size, 64);
}
inline void FreeAligned(void* p)
{
    _aligned_free(p);
}
#else
inline void* AllocateAligned(size_t size)
{
    // Rounded up to the alignment, as aligned_alloc requires.
    return std::aligned_alloc(64, (size + 63) / 64 * 64);
}
inline void FreeAligned(void* p)
{
    std::free(p);
}
#endif

// Host values over the whole nominal range; texels hold what the pack of the
// same kind would, so the unpacks see ordinary data.
inline BenchFrame MakeBenchFrame(int32_t width, int32_t height, int32_t texelBytes,
                                 PackRowsFunction pack)
{
    BenchFrame f{width, height, nullptr, nullptr, nullptr, nullptr};
    const size_t pixels = static_cast<size_t>(width) * height;
    f.host = static_cast<YCPixel*>(AllocateAligned(pixels * sizeof(YCPixel)));
    f.texels = static_cast<unsigned char*>(AllocateAligned(pixels * 16));
    f.copySource = static_cast<unsigned char*>(AllocateAligned(pixels * 16));
    f.copy = static_cast<unsigned char*>(AllocateAligned(pixels * 16));
    uint32_t seed = 12345;
    for (size_t i = 0; i < pixels; ++i) {
        seed = seed * 1664525u + 1013904223u;
        f.host[i] = {static_cast<int16_t>((seed >> 8) % 4097),
                     static_cast<int16_t>((seed >> 12) % 4097 - 2048),
                     static_cast<int16_t>((seed >> 16) % 4097 - 2048)};
    }
    std::memset(f.texels, 0, pixels * 16);
    std::memset(f.copySource, 2, pixels * 16);
    std::memset(f.copy, 1, pixels * 16);
    if (pack != nullptr) {
        pack(f.host, width, f.texels, width * texelBytes, width, height);
    } else if (texelBytes == 4) {
        for (size_t i = 0; i < pixels; ++i) {
            const uint32_t w = static_cast<uint32_t>(i) * 2654435761u;
            std::memcpy(f.texels + 4 * i, &w, 4);
        }
    }
    return f;
}

inline void FreeBenchFrame(BenchFrame& f)
{
    FreeAligned(f.host);
    FreeAligned(f.texels);
    FreeAligned(f.copySource);
    FreeAligned(f.copy);
}

// A whole frame, pitch = width, through the converter.
inline void RunConverter(const BenchConverter& c, BenchFrame& f)
{
    if (c.pack != nullptr) {
        c.pack(f.host, f.width, f.texels, f.width * c.texelBytes, f.width, f.height);
    } else {
        c.unpack(f.host, f.width, f.texels, f.width * c.texelBytes, f.width, f.height);
    }
}

// A converter of a row added to the list, or the row's kind to its name.
inline void AddBenchConverter(std::vector<BenchConverter>* list, const char* kind, BenchConverter c)
{
    for (BenchConverter& listed : *list) {
        if (listed.pack == c.pack && listed.unpack == c.unpack) {
            if (listed.name.find(kind) == std::string::npos) {
                listed.name.insert(listed.name.find(' '), std::string("/") + kind);
            }
            return;
        }
    }
    c.name = kind + c.name;
    list->push_back(c);
}

// Every converter of the kinds' table once, the packs first, with the bytes
// of its texel.
inline const std::vector<BenchConverter>& BenchConverters()
{
    static const std::vector<BenchConverter> table = [] {
        std::vector<BenchConverter> list;
        for (const FormatKindRow& row : formatKinds) {
            for (PackRowsFunction pack : {row.pack, row.packSse}) {
                const char* way = pack != row.pack ? " pack SSE" : " pack";
                AddBenchConverter(
                    &list, row.name,
                    {way, Direction::pack, row.source->bytes, pack, nullptr, nullptr});
            }
        }
        for (const FormatKindRow& row : formatKinds) {
            const PackRowsFunction fill = row.source->bytes == row.target->bytes ? row.pack
                                                                                 : nullptr;
            for (UnpackRowsFunction unpack : {row.unpack, row.unpackSse}) {
                const char* way = unpack != row.unpack ? " unpack SSE" : " unpack";
                AddBenchConverter(
                    &list, row.name,
                    {way, Direction::unpack, row.target->bytes, nullptr, unpack, fill});
            }
        }
        return list;
    }();
    return table;
}
