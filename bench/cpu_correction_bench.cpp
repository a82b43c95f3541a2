// Times the plain CPU correction (cpu_correction.h) on filterhost's built-in
// test picture, to set the plug-in's whole frame beside it. Self-timed with
// std::chrono so the same source runs natively and as i686 under Wine.
//
//   cpu_correction_bench [RUNS] [WIDTHxHEIGHT] [TRACK=VALUE ...]
//
// Default: 15 runs, 1920x1080, tracks 3=64 5=64 8=-96 11=-96 14=-96 (the
// settings of scripts/run). Prints the median, fastest and slowest run, and
// checks the result against the reference model's exact value first.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cpu_correction.h"
#include "effect/correction_reference.h"
#include "pictures/test_picture.h"

int main(int argc, char** argv)
{
    int runs = 15;
    int width = 1920;
    int height = 1080;
    int32_t tracks[16] = {};
    tracks[3] = 64;
    tracks[5] = 64;
    tracks[8] = tracks[11] = tracks[14] = -96;
    if (argc > 1) runs = std::max(1, std::atoi(argv[1]));
    if (argc > 2 && std::sscanf(argv[2], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: cpu_correction_bench [RUNS] [WxH] [TRACK=VALUE ...]\n");
        return 2;
    }
    if (argc > 3) std::fill(tracks, tracks + 16, 0);
    for (int i = 3; i < argc; ++i) {
        int index = 0;
        int value = 0;
        if (std::sscanf(argv[i], "%d=%d", &index, &value) != 2 || index < 0 || index > 14) {
            std::fprintf(stderr, "bad track setting %s\n", argv[i]);
            return 2;
        }
        tracks[index] = value;
    }
    const CorrectionConstants constants = ComputeCorrectionConstants(tracks);
    const YCFrame picture = MakeTestPicture(width, height, width);
    std::vector<YCPixel> output(picture.pixels.size());

    // The loop must compute the correction, not something cheaper.
    CorrectFrameOnCpu(constants, picture.pixels.data(), output.data(), width, height, width);
    double largest = 0.0;
    for (size_t i = 0; i < output.size(); ++i) {
        const YCPixel& p = picture.pixels[i];
        ExactHostPixel exact = ExactHostValue(YCTriple{p.y, p.cb, p.cr}, constants);
        const int16_t got[3] = {output[i].y, output[i].cb, output[i].cr};
        for (int c = 0; c < 3; ++c) {
            double e = std::min(std::max(exact.c[c], -32768.0), 32767.0);
            largest = std::max(largest, std::fabs(got[c] - e));
        }
    }
    std::printf("check: largest difference from the exact correction %.3f host units\n", largest);
    if (largest > 0.5 + 1e-6) {
        std::printf("the CPU correction does not round the exact value\n");
        return 1;
    }

    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        auto start = std::chrono::steady_clock::now();
        CorrectFrameOnCpu(constants, picture.pixels.data(), output.data(), width, height, width);
        auto end = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    double median = runs % 2 ? sorted[runs / 2] : (sorted[runs / 2 - 1] + sorted[runs / 2]) / 2;
    std::printf("cpu correction %dx%d: %d runs, median %.1f ms, fastest %.1f ms, slowest %.1f ms\n",
                width, height, runs, median, sorted.front(), sorted.back());
    return 0;
}
