#include "test_pixels.h"

#include <random>

#include <gtest/gtest.h>

std::vector<YCTriple> RangeCoveringPixels(int count)
{
    const int16_t interesting[] = {-32768, -32767, -8192, -4096, -2049, -2048, -2047, -8,   -1,
                                   0,      1,      8,     1023,  2047,  2048,  2049,  4095, 4096,
                                   4097,   6142,   6143,  6144,  8191,  16384, 32767};
    std::vector<YCTriple> pixels;
    const int n = sizeof interesting / sizeof interesting[0];
    for (int i = 0; i < n; ++i) {
        pixels.push_back({interesting[i], interesting[(i * 7) % n], interesting[(i * 11 + 3) % n]});
        pixels.push_back({interesting[i], 0, 0});
        pixels.push_back({2048, interesting[i], interesting[n - 1 - i]});
    }
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> nominalY(-512, 4608), nominalC(-2304, 2304),
        any(-32768, 32767);
    while (static_cast<int>(pixels.size()) < count) {
        bool wide = pixels.size() % 8 == 0;
        pixels.push_back({static_cast<int16_t>(wide ? any(random) : nominalY(random)),
                          static_cast<int16_t>(wide ? any(random) : nominalC(random)),
                          static_cast<int16_t>(wide ? any(random) : nominalC(random))});
    }
    pixels.resize(count);
    return pixels;
}

int PixelsOutsideModel(const YCPixel* input, const YCPixel* output, int32_t width, int32_t height,
                       int32_t pitch, const CorrectionConstants& constants, TextureFormatKind kind,
                       std::initializer_list<ReferenceRules> rules, int report)
{
    int outside = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const YCPixel& in = input[size_t(y) * pitch + x];
            const YCPixel& out = output[size_t(y) * pitch + x];
            bool accepted = false;
            for (const ReferenceRules& r : rules) {
                accepted = accepted ||
                           HostPixelAccepted(RunReference({in.y, in.cb, in.cr}, constants, kind, r),
                                             {out.y, out.cb, out.cr});
            }
            if (!accepted && ++outside <= report) {
                const YCTriple model =
                    RunReference({in.y, in.cb, in.cr}, constants, kind, *rules.begin()).host;
                ADD_FAILURE() << "(" << x << ", " << y << ") in " << in.y << " " << in.cb << " "
                              << in.cr << " got " << out.y << " " << out.cb << " " << out.cr
                              << " model " << model.y << " " << model.cb << " " << model.cr;
            }
        }
    }
    return outside;
}
