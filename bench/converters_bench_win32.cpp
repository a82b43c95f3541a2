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

// Sanity of the build, for every row of the kinds' table whose SSE variant
// is a function of its own: both packs give the same texels, and both
// unpacks the same pixels of what the pack left (integer products, where
// truncation and rounding agree).
bool VariantsAgree(int32_t w, int32_t h)
{
    bool same = true;
    for (const FormatKindRow& row : formatKinds) {
        BenchFrame a = MakeBenchFrame(w, h, row.source->bytes, nullptr);
        BenchFrame b = MakeBenchFrame(w, h, row.source->bytes, nullptr);
        const int32_t pitch = w * row.source->bytes;
        row.pack(a.host, w, a.texels, pitch, w, h);
        row.packSse(b.host, w, b.texels, pitch, w, h);
        same = same && std::memcmp(a.texels, b.texels, static_cast<size_t>(pitch) * h) == 0;
        if (row.target->bytes == row.source->bytes && row.unpackSse != row.unpack) {
            row.unpack(a.host, w, a.texels, pitch, w, h);
            row.unpackSse(b.host, w, a.texels, pitch, w, h);
            same = same && std::memcmp(a.host, b.host, static_cast<size_t>(w) * h * 6) == 0;
        }
        FreeBenchFrame(a);
        FreeBenchFrame(b);
    }
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
// microseconds, for the converters that cost least and most per pixel.
int SmallFrames(RowBands* bands, int repeats)
{
    bands->minimumPixels = 0;
    std::printf("| converter | size | pixels | one thread us | bands us | ratio |\n");
    std::printf("|---|---|---:|---:|---:|---:|\n");
    const int32_t sizes[][2] = {{64, 36},   {128, 72},  {160, 90},  {192, 108}, {256, 144},
                                {320, 180}, {384, 216}, {480, 270}, {640, 360}, {960, 540}};
    for (const BenchConverter& c : BenchConverters()) {
        if (c.pack != PackInt16 && c.unpack != UnpackF16Sse) {
            continue;
        }
        for (const auto& size : sizes) {
            BenchFrame f = MakeBenchFrame(size[0], size[1], c.texelBytes, c.fill);
            std::vector<double> one;
            std::vector<double> banded;
            for (int r = 0; r < repeats; ++r) {
                const double t0 = SecondsNow();
                RunConverter(c, f);
                const double t1 = SecondsNow();
                RunInBands(bands, c, f);
                const double t2 = SecondsNow();
                one.push_back(t1 - t0);
                banded.push_back(t2 - t1);
            }
            const double oneUs = Median(one) * 1e6;
            const double bandsUs = Median(banded) * 1e6;
            std::printf("| %s | %dx%d | %d | %.1f | %.1f | %.2f |\n", c.name.c_str(), size[0],
                        size[1], size[0] * size[1], oneUs, bandsUs, bandsUs / oneUs);
            FreeBenchFrame(f);
        }
    }
    return 0;
}

// The largest ratio met so far, and where.
struct Worst {
    double ratio = 0;
    char where[64] = "";
};

void NoteWorst(Worst* worst, double ratio, const BenchConverter& c, const int32_t size[2])
{
    if (ratio > worst->ratio) {
        worst->ratio = ratio;
        std::snprintf(worst->where, sizeof worst->where, "%s %dx%d", c.name.c_str(), size[0],
                      size[1]);
    }
}

// The medians of one converter's repeats at one size, and the memcpy's.
struct FullFrameTimes {
    double ms;
    double copyMs;
    double best;  // best converter time / best memcpy time
    double bandsMs;
    double copyBandsMs;
};

FullFrameTimes TimeFullFrames(RowBands* bands, const BenchConverter& c, const int32_t size[2],
                              int repeats)
{
    BenchFrame f = MakeBenchFrame(size[0], size[1], c.texelBytes, c.fill);
    const int32_t copyBytes = CopyBytesPerPixel(c);
    const size_t bytes = static_cast<size_t>(size[0]) * size[1] * copyBytes;
    std::vector<double> converter;
    std::vector<double> copy;
    std::vector<double> banded;
    std::vector<double> copyBanded;
    for (int r = 0; r < repeats; ++r) {
        const double t0 = SecondsNow();
        RunConverter(c, f);
        const double t1 = SecondsNow();
        std::memcpy(f.copy, f.copySource, bytes);
        const double t2 = SecondsNow();
        RunInBands(bands, c, f);
        const double t3 = SecondsNow();
        CopyInBands(bands, f, copyBytes);
        const double t4 = SecondsNow();
        converter.push_back(t1 - t0);
        copy.push_back(t2 - t1);
        banded.push_back(t3 - t2);
        copyBanded.push_back(t4 - t3);
    }
    FreeBenchFrame(f);
    return {Median(converter) * 1e3, Median(copy) * 1e3,
            *std::min_element(converter.begin(), converter.end()) /
                *std::min_element(copy.begin(), copy.end()),
            Median(banded) * 1e3, Median(copyBanded) * 1e3};
}

// Every converter whose name contains `only` on whole frames: a line each,
// then the worst ratios.
int FullFrames(RowBands* bands, int repeats, const char* only)
{
    std::printf("| converter | size | ms | memcpy bytes/pixel | memcpy ms | ratio | best ratio "
                "| %d threads ms | threads/one | memcpy threads/one |\n",
                bands->workerCount + 1);
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    const int32_t sizes[2][2] = {{1920, 1080}, {3840, 2160}};
    Worst worst;
    Worst worstThreads;
    for (const BenchConverter& c : BenchConverters()) {
        if (c.name.find(only) == std::string::npos) {
            continue;
        }
        for (const auto& size : sizes) {
            const FullFrameTimes t = TimeFullFrames(bands, c, size, repeats);
            std::printf("| %s | %dx%d | %.2f | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n",
                        c.name.c_str(), size[0], size[1], t.ms, CopyBytesPerPixel(c), t.copyMs,
                        t.ms / t.copyMs, t.best, t.bandsMs, t.bandsMs / t.ms,
                        t.copyBandsMs / t.copyMs);
            NoteWorst(&worstThreads, t.bandsMs / t.ms, c, size);
            NoteWorst(&worst, t.ms / t.copyMs, c, size);
        }
    }
    std::printf("worst threads/one ratio: %.2f (%s)\n", worstThreads.ratio, worstThreads.where);
    std::printf("worst converter ratio: %.2f (%s)\n", worst.ratio, worst.where);
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
    int result = 0;
    if (argc > 1 && std::strcmp(argv[1], "--small") == 0) {
        result = SmallFrames(&bands, argc > 2 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 51);
    } else if (!VariantsAgree(1921, 7)) {
        std::printf("the plain and SSE variants disagree: this build is broken\n");
        return 1;
    } else {
        std::printf("threads: %d (%d workers%s)\n\n", bands.workerCount + 1, bands.workerCount,
                    allWorkers ? "" : ", fewer than asked for");
        result = FullFrames(&bands, argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 15,
                            argc > 2 ? argv[2] : "");
    }
    StopRowBands(&bands);
    return result;
}
