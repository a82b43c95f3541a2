// Each converter at 1920x1080 and 3840x2160 beside a memcpy of the texel
// bytes it moves, timed in the same iterations; the counter vs_memcpy is
// converter time / memcpy time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench_frames.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void RunConverter(benchmark::State& state, const BenchConverter* c, int32_t w, int32_t h)
{
    BenchFrame f = MakeBenchFrame(w, h, c->texelBytes, c->fill);
    const size_t bytes = static_cast<size_t>(w) * h * CopyBytesPerPixel(*c);
    double converter = 0;
    double copy = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        RunConverter(*c, f);
        benchmark::ClobberMemory();
        const auto t1 = std::chrono::steady_clock::now();
        std::memcpy(f.copy, f.copySource, bytes);
        benchmark::ClobberMemory();
        const auto t2 = std::chrono::steady_clock::now();
        converter += Seconds(t1 - t0);
        copy += Seconds(t2 - t1);
        state.SetIterationTime(Seconds(t1 - t0));
    }
    state.counters["memcpy_ms"] = benchmark::Counter(copy * 1e3 / state.iterations());
    state.counters["vs_memcpy"] = benchmark::Counter(converter / copy);
    FreeBenchFrame(f);
}

int Register()
{
    for (const BenchConverter& c : BenchConverters()) {
        for (const auto& size : {std::pair<int32_t, int32_t>{1920, 1080}, {3840, 2160}}) {
            const std::string name = c.name + "/" + std::to_string(size.first) + "x" +
                                     std::to_string(size.second);
            benchmark::RegisterBenchmark(name.c_str(), RunConverter, &c, size.first, size.second)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.5);
        }
    }
    return 0;
}

const int registered = Register();

}  // namespace

BENCHMARK_MAIN();
