// The converters of the 32-bit plug-in build, timed under Windows (or Wine)
// without Google Benchmark, each beside a memcpy in the same run.
//
// Every converter runs on whole frames (pitch = width) at 1920x1080 and
// 3840x2160. Each repeat times the converter, then a memcpy of as many bytes
// per pixel as the larger of what the converter reads and writes, from a
// buffer of its own (so that the copy does not read what the converter has
// just left in the cache). The table shows the medians of the repeats and
// the ratio of the medians; the last line names the worst ratio.
// Each repeat also times the converter in bands of rows on the worker
// threads the plug-in would start (one per processor beside the calling
// thread, or KELVO_THREADS), right after the one-thread run; the table gives
// that median and its ratio to the one-thread median.
// Beside it, the same memcpy in bands on the same threads: how much two
// threads gain on a loop that only moves memory, the ceiling for the
// converters that run near memcpy speed.
// It checks first that the plain and SSE variants give the same bytes,
// so a broken build shows here before it shows in a frame.
//
//   converters_bench_win32.exe [repeats] [name]
//   converters_bench_win32.exe --small [repeats]
//
// With a name, only the converters whose names contain it run. --small
// times the fastest and the slowest converter on small frames, on one
// thread and in bands regardless of rowBandsMinimumPixels: where the
// hand-over starts to pay.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_frames.h"
#include "engine/row_bands.h"
#include "engine/sse_probe.h"
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

// The memcpy as a pack-shaped row function, so that the pool can band it:
// each band copies its rows of copySource, found by the band's first host
// row, to its rows of the target.
const YCPixel* copyRowsHostBase;
const unsigned char* copyRowsSource;

void CopyRows(const YCPixel* host, int32_t hostPitch, void* target, int32_t targetPitch, int32_t,
              int32_t height)
{
    const ptrdiff_t row = (host - copyRowsHostBase) / hostPitch;
    std::memcpy(target, copyRowsSource + row * targetPitch,
                static_cast<size_t>(targetPitch) * height);
}

void CopyInBands(RowBands* bands, BenchFrame& f, int32_t copyBytes)
{
    copyRowsHostBase = f.host;
    copyRowsSource = f.copySource;
    PackInBands(bands, CopyRows, copyBytes, f.host, f.width, f.copy, f.width * copyBytes, f.width,
                f.height);
}

void RunInBands(RowBands* bands, const BenchConverter& c, BenchFrame& f)
{
    const int32_t pitch = f.width * c.texelBytes;
    if (c.pack != nullptr) {
        PackInBands(bands, c.pack, c.texelBytes, f.host, f.width, f.texels, pitch, f.width,
                    f.height);
    } else {
        UnpackInBands(bands, c.unpack, c.texelBytes, f.host, f.width, f.texels, pitch, f.width,
                      f.height);
    }
}

// One thread against the bands on frames from 64x36 to 960x540, both in
// microseconds, for the cheapest converter per pixel and the dearest.
int SmallFrames(RowBands* bands, int repeats)
{
    bands->minimumPixels = 0;
    std::printf("| converter | size | pixels | one thread us | bands us | ratio |\n");
    std::printf("|---|---|---:|---:|---:|---:|\n");
    size_t count = 0;
    const BenchConverter* table = BenchConverters(&count);
    const int32_t sizes[][2] = {{64, 36},   {128, 72},  {160, 90},  {192, 108}, {256, 144},
                                {320, 180}, {384, 216}, {480, 270}, {640, 360}, {960, 540}};
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(table[i].name, "PackInt16") != 0 &&
            std::strcmp(table[i].name, "UnpackF16Sse") != 0) {
            continue;
        }
        for (const auto& size : sizes) {
            BenchFrame f = MakeBenchFrame(size[0], size[1], table[i].texelBytes, PackFor(table[i]));
            std::vector<double> one;
            std::vector<double> banded;
            for (int r = 0; r < repeats; ++r) {
                const double t0 = SecondsNow();
                RunConverter(table[i], f);
                const double t1 = SecondsNow();
                RunInBands(bands, table[i], f);
                const double t2 = SecondsNow();
                one.push_back(t1 - t0);
                banded.push_back(t2 - t1);
            }
            const double oneUs = Median(one) * 1e6;
            const double bandsUs = Median(banded) * 1e6;
            std::printf("| %s | %dx%d | %d | %.1f | %.1f | %.2f |\n", table[i].name, size[0],
                        size[1], size[0] * size[1], oneUs, bandsUs, bandsUs / oneUs);
            FreeBenchFrame(f);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    RowBands bands;
    ClearRowBands(&bands);
    bands.use = bandsAlways;  // the bands themselves are measured here
    bool forced = false;
    const int32_t threads = RowBandsThreadCount(&forced);
    const bool allWorkers = StartRowBands(&bands, threads, ProbeSse());
    if (argc > 1 && std::strcmp(argv[1], "--small") == 0) {
        const int repeats = argc > 2 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 51;
        const int result = SmallFrames(&bands, repeats);
        StopRowBands(&bands);
        return result;
    }
    const int repeats = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 15;
    if (!VariantsAgree(1921, 7)) {
        std::printf("the plain and SSE variants disagree: this build is broken\n");
        return 1;
    }
    std::printf("threads: %d (%d workers%s)\n\n", bands.workerCount + 1, bands.workerCount,
                allWorkers ? "" : ", fewer than asked for");
    std::printf("| converter | size | ms | memcpy bytes/pixel | memcpy ms | ratio | best ratio "
                "| %d threads ms | threads/one | memcpy threads/one |\n",
                bands.workerCount + 1);
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    double worstThreads = 0;
    char worstThreadsName[64] = "";
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
            std::vector<double> banded;
            std::vector<double> copyBanded;
            for (int r = 0; r < repeats; ++r) {
                const double t0 = SecondsNow();
                RunConverter(table[i], f);
                const double t1 = SecondsNow();
                std::memcpy(f.copy, f.copySource, bytes);
                const double t2 = SecondsNow();
                RunInBands(&bands, table[i], f);
                const double t3 = SecondsNow();
                CopyInBands(&bands, f, copyBytes);
                const double t4 = SecondsNow();
                converter.push_back(t1 - t0);
                copy.push_back(t2 - t1);
                banded.push_back(t3 - t2);
                copyBanded.push_back(t4 - t3);
            }
            const double ms = Median(converter) * 1e3;
            const double copyMs = Median(copy) * 1e3;
            const double ratio = ms / copyMs;
            const double best = *std::min_element(converter.begin(), converter.end()) /
                                *std::min_element(copy.begin(), copy.end());
            const double bandsMs = Median(banded) * 1e3;
            const double copyBandsMs = Median(copyBanded) * 1e3;
            std::printf("| %s | %dx%d | %.2f | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n",
                        table[i].name, size[0], size[1], ms, copyBytes, copyMs, ratio, best,
                        bandsMs, bandsMs / ms, copyBandsMs / copyMs);
            if (bandsMs / ms > worstThreads) {
                worstThreads = bandsMs / ms;
                std::snprintf(worstThreadsName, sizeof worstThreadsName, "%s %dx%d", table[i].name,
                              size[0], size[1]);
            }
            if (ratio > worst) {
                worst = ratio;
                std::snprintf(worstName, sizeof worstName, "%s %dx%d", table[i].name, size[0],
                              size[1]);
            }
            FreeBenchFrame(f);
        }
    }
    StopRowBands(&bands);
    std::printf("worst threads/one ratio: %.2f (%s)\n",
                worstThreadsName[0] != 0 ? worstThreads : 0.0, worstThreadsName);
    std::printf("worst converter ratio: %.2f (%s)\n", worst, worstName);
    return 0;
}
