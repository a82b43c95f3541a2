// The converters of the 32-bit plug-in build, timed under Windows (or Wine)
// without Google Benchmark: best of N runs by QueryPerformanceCounter, each
// beside a memcpy of the texel bytes it moves. Also checks that every SSE
// variant gives what its plain variant gives on integer products, so a
// broken build shows here before it shows in a frame.
//
//   converters_bench_win32.exe [runs]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "bench_frames.h"

namespace {

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Sanity of the build: the packs of both variants give the same texels.
bool PacksAgree(int32_t w, int32_t h)
{
    BenchFrame a = MakeBenchFrame(w, h, 16, nullptr);
    BenchFrame b = MakeBenchFrame(w, h, 16, nullptr);
    PackF32(a.host, w, a.texels, w * 16, w, h);
    PackF32Sse(b.host, w, b.texels, w * 16, w, h);
    bool same = std::memcmp(a.texels, b.texels, static_cast<size_t>(w) * h * 16) == 0;
    PackF16(a.host, w, a.texels, w * 8, w, h, a.conversionRow);
    PackF16Sse(b.host, w, b.texels, w * 8, w, h, b.conversionRow);
    same = same && std::memcmp(a.texels, b.texels, static_cast<size_t>(w) * h * 8) == 0;
    UnpackF16(a.host, w, a.texels, w * 8, w, h, a.conversionRow);
    UnpackF16Sse(b.host, w, b.texels, w * 8, w, h, b.conversionRow);
    same = same && std::memcmp(a.host, b.host, static_cast<size_t>(w) * h * 6) == 0;
    FreeBenchFrame(a);
    FreeBenchFrame(b);
    return same;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 15;
    std::printf("plain and SSE variants agree: %s\n", PacksAgree(1921, 7) ? "yes" : "NO");
    std::printf("%-18s %-10s %10s %10s %8s\n", "converter", "size", "best ms", "memcpy ms",
                "ratio");
    size_t count = 0;
    const BenchConverter* table = BenchConverters(&count);
    const int32_t sizes[2][2] = {{1920, 1080}, {3840, 2160}};
    for (size_t i = 0; i < count; ++i) {
        for (const auto& size : sizes) {
            BenchFrame f = MakeBenchFrame(size[0], size[1], table[i].texelBytes, PackFor(table[i]));
            const size_t bytes = static_cast<size_t>(size[0]) * size[1] * table[i].texelBytes;
            double best = 1e9;
            double bestCopy = 1e9;
            for (int r = 0; r < runs; ++r) {
                const double t0 = Now();
                table[i].run(f);
                const double t1 = Now();
                std::memcpy(f.copy, f.texels, bytes);
                const double t2 = Now();
                best = t1 - t0 < best ? t1 - t0 : best;
                bestCopy = t2 - t1 < bestCopy ? t2 - t1 : bestCopy;
            }
            std::printf("%-18s %4dx%-5d %10.2f %10.2f %8.2f\n", table[i].name, size[0], size[1],
                        best * 1e3, bestCopy * 1e3, best / bestCopy);
            FreeBenchFrame(f);
        }
    }
    return 0;
}
