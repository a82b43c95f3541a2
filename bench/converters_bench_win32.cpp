// The converters of the 32-bit plug-in build, timed under Windows (or Wine)
// without Google Benchmark, each beside a memcpy in the same run.
//
// Every converter runs on whole frames (pitch = width) at 1920x1080 and
// 3840x2160. Each repeat times the converter, then a memcpy of as many bytes
// per pixel as the larger of what the converter reads and writes, from a
// buffer of its own (so that the copy does not read what the converter has
// just left in the cache). The table shows the medians of the repeats and
// the ratio of the medians; the last line names the worst ratio.
// It checks first that the plain and SSE variants give the same bytes,
// so a broken build shows here before it shows in a frame.
//
//   converters_bench_win32.exe [repeats] [name]
//
// With a name, only the converters whose names contain it run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_frames.h"
#include "host/seconds_now.h"

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Sanity of the build: the packs of both variants give the same texels, and
// the F16 unpacks the same pixels where the products are integers.
bool VariantsAgree(int32_t w, int32_t h)
{
    BenchFrame a = MakeBenchFrame(w, h, 16, nullptr);
    BenchFrame b = MakeBenchFrame(w, h, 16, nullptr);
    PackF32(a.host, w, a.texels, w * 16, w, h);
    PackF32Sse(b.host, w, b.texels, w * 16, w, h);
    bool same = std::memcmp(a.texels, b.texels, static_cast<size_t>(w) * h * 16) == 0;
    PackF16(a.host, w, a.texels, w * 8, w, h);
    PackF16Sse(b.host, w, b.texels, w * 8, w, h);
    same = same && std::memcmp(a.texels, b.texels, static_cast<size_t>(w) * h * 8) == 0;
    UnpackF16(a.host, w, a.texels, w * 8, w, h);
    UnpackF16Sse(b.host, w, b.texels, w * 8, w, h);
    same = same && std::memcmp(a.host, b.host, static_cast<size_t>(w) * h * 6) == 0;
    FreeBenchFrame(a);
    FreeBenchFrame(b);
    return same;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int repeats = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 15;
    if (!VariantsAgree(1921, 7)) {
        std::printf("the plain and SSE variants disagree: this build is broken\n");
        return 1;
    }
    std::printf("| converter | size | ms | memcpy bytes/pixel | memcpy ms | ratio | best ratio |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|\n");
    size_t count = 0;
    const BenchConverter* table = BenchConverters(&count);
    const int32_t sizes[2][2] = {{1920, 1080}, {3840, 2160}};
    double worst = 0;
    char worstName[64] = "";
    const char* only = argc > 2 ? argv[2] : "";
    for (size_t i = 0; i < count; ++i) {
        if (std::strstr(table[i].name, only) == nullptr) {
            continue;
        }
        for (const auto& size : sizes) {
            BenchFrame f = MakeBenchFrame(size[0], size[1], table[i].texelBytes, PackFor(table[i]));
            const int32_t copyBytes = CopyBytesPerPixel(table[i]);
            const size_t bytes = static_cast<size_t>(size[0]) * size[1] * copyBytes;
            std::vector<double> converter;
            std::vector<double> copy;
            for (int r = 0; r < repeats; ++r) {
                const double t0 = SecondsNow();
                table[i].run(f);
                const double t1 = SecondsNow();
                std::memcpy(f.copy, f.copySource, bytes);
                const double t2 = SecondsNow();
                converter.push_back(t1 - t0);
                copy.push_back(t2 - t1);
            }
            const double ms = Median(converter) * 1e3;
            const double copyMs = Median(copy) * 1e3;
            const double ratio = ms / copyMs;
            const double best = *std::min_element(converter.begin(), converter.end()) /
                                *std::min_element(copy.begin(), copy.end());
            std::printf("| %s | %dx%d | %.2f | %d | %.2f | %.2f | %.2f |\n", table[i].name, size[0],
                        size[1], ms, copyBytes, copyMs, ratio, best);
            if (ratio > worst) {
                worst = ratio;
                std::snprintf(worstName, sizeof worstName, "%s %dx%d", table[i].name, size[0],
                              size[1]);
            }
            FreeBenchFrame(f);
        }
    }
    std::printf("worst converter ratio: %.2f (%s)\n", worst, worstName);
    return 0;
}
