#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "converter_test_support.h"

#if defined(KELVO_ROW_BANDS)
#include "engine/row_bands.h"
#include "engine/sse_probe.h"
#include "pointer_patch.h"
#endif

namespace {

// Widths 1..9 cover every tail of the four-pixel loops and the last-pixel
// store; 33 is an odd width past several turns. Host rows carry 3 spare
// pixels; texel rows carry spare bytes that are not a whole texel.
std::vector<Geometry> Geometries(int32_t texelBytes)
{
    std::vector<Geometry> gs;
    for (int32_t w : {1, 2, 3, 4, 5, 6, 7, 8, 9, 33}) {
        for (int32_t h : {1, 3}) {
            gs.push_back({w, h, w + 3, w * texelBytes + 2 * texelBytes + 3});
        }
    }
    gs.push_back({7, 2, 7, 7 * texelBytes});  // no spare at all: the allocation ends at the row
    return gs;
}

void FillHostRandomly(Frame& f, std::mt19937& rng)
{
    for (int32_t r = 0; r < f.g.height; ++r) {
        for (int32_t x = 0; x < f.g.width; ++x) {
            HostAt(f, r, x) = {static_cast<int16_t>(rng()), static_cast<int16_t>(rng()),
                               static_cast<int16_t>(rng())};
        }
    }
}

// Texels the float converters read back as finite values of either sign.
void FillTexelsRandomly(Frame& f, std::mt19937& rng)
{
    std::uniform_real_distribution<float> channel(-9.0f, 9.0f);
    for (int32_t r = 0; r < f.g.height; ++r) {
        for (int32_t x = 0; x < f.g.width; ++x) {
            unsigned char* t = TexelAt(f, r, x);
            for (int i = 0; i < 4; ++i) {
                if (f.texelBytes == 16) {
                    SetFloatChannel(t, i, channel(rng));
                } else if (f.texelBytes == 8) {
                    SetWordChannel(t, i, static_cast<uint16_t>(rng() & 0xBFFF));  // |v| < 2
                }
            }
            if (f.texelBytes == 4) {
                const uint32_t w = rng();
                std::memcpy(t, &w, 4);
            }
        }
    }
}

// Source margins made unreadable: every texel of the frame follows the rule
// (so none is left with the marker), the marker holds outside it and the
// source is untouched.
TEST(FrameGeometry, PackWritesEveryTexelOfTheFrameAndNothingElse)
{
    std::mt19937 rng(1234);
    for (const PackConverter& c : PackConverters()) {
        for (const Geometry& g : Geometries(c.texelBytes)) {
            SCOPED_TRACE(testing::Message()
                         << c.name << " width " << g.width << " height " << g.height << " pitches "
                         << g.hostPitch << ", " << g.texelPitch);
            Frame f = MakeFrame(g, c.texelBytes, 0x3C, 0xA5);
            FillHostRandomly(f, rng);
            const std::vector<YCPixel> source = f.host;
            PoisonHostMargins(f);
            RunPack(c, f);
            UnpoisonMargins(f);
            ExpectFrameFollowsRule(c, f);
            EXPECT_TRUE(TexelMarginsHold(f, 0xA5));
            EXPECT_TRUE(HostMarginsHold(f, 0x3C));
            EXPECT_EQ(std::memcmp(f.host.data(), source.data(), source.size() * sizeof(YCPixel)),
                      0);
        }
    }
}

TEST(FrameGeometry, UnpackWritesEveryPixelOfTheFrameAndNothingElse)
{
    std::mt19937 rng(5678);
    for (const UnpackConverter& c : UnpackConverters()) {
        for (const Geometry& g : Geometries(c.texelBytes)) {
            SCOPED_TRACE(testing::Message()
                         << c.name << " width " << g.width << " height " << g.height << " pitches "
                         << g.hostPitch << ", " << g.texelPitch);
            // F32 texel rows must stay 16-byte aligned for the SSE loads.
            Geometry gg = g;
            if (c.texelBytes == 16) {
                gg.texelPitch = (g.width + 2) * 16;
            }
            Frame f = MakeFrame(gg, c.texelBytes, 0xA5, 0x3C);
            FillTexelsRandomly(f, rng);
            const size_t texelSize = static_cast<size_t>(gg.texelPitch) * gg.height;
            const std::vector<unsigned char> source(f.texels.get(), f.texels.get() + texelSize);
            PoisonTexelMargins(f);
            RunUnpack(c, f);
            UnpoisonMargins(f);
            ExpectFrameFollowsRule(c, f);
            EXPECT_TRUE(HostMarginsHold(f, 0xA5));
            EXPECT_EQ(std::memcmp(f.texels.get(), source.data(), texelSize), 0);
        }
    }
}

// Pixels in row r column x of the host land in texel row r column x, with the
// texel pitch rounded down to whole texels.
TEST(FrameGeometry, RowsFollowBothPitches)
{
    const Geometry g{3, 3, 5, 3 * 8 + 8 + 5};  // texel stride 32 bytes, not 37
    Frame f = MakeFrame(g, 8, 0, 0xA5);
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t x = 0; x < 3; ++x) {
            HostAt(f, r, x) = {static_cast<int16_t>(100 * r + x), static_cast<int16_t>(-r),
                               static_cast<int16_t>(x)};
        }
    }
    PackInt16(f.host.data(), 5, f.texels.get(), g.texelPitch, 3, 3);
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t x = 0; x < 3; ++x) {
            const unsigned char* t = f.texels.get() + r * 32 + x * 8;
            EXPECT_EQ(WordChannel(t, 1), 100 * r + x);
            EXPECT_EQ(static_cast<int16_t>(WordChannel(t, 2)), -r);
            EXPECT_EQ(WordChannel(t, 3), x);
        }
    }
}

// No row or no column: neither buffer changes. Each converter gets the whole
// buffers as they would be for one 4x2 frame.
TEST(FrameGeometry, ZeroOrNegativeCountsDoNothing)
{
    const int32_t counts[][2] = {{0, 2},   {4, 0},         {-1, 2},       {4, -1},
                                 {-5, -5}, {INT32_MIN, 2}, {4, INT32_MIN}};
    for (const PackConverter& c : PackConverters()) {
        for (const auto& wh : counts) {
            SCOPED_TRACE(testing::Message() << c.name << " " << wh[0] << "x" << wh[1]);
            Frame f = MakeFrame({4, 2, 4, 4 * c.texelBytes}, c.texelBytes, 0x11, 0xA5);
            c.run(f.host.data(), 4, f.texels.get(), 4 * c.texelBytes, wh[0], wh[1]);
            f.g.width = 0;  // every byte is now margin
            EXPECT_TRUE(TexelMarginsHold(f, 0xA5));
        }
    }
    for (const UnpackConverter& c : UnpackConverters()) {
        for (const auto& wh : counts) {
            SCOPED_TRACE(testing::Message() << c.name << " " << wh[0] << "x" << wh[1]);
            Frame f = MakeFrame({4, 2, 4, 4 * c.texelBytes}, c.texelBytes, 0xA5, 0x11);
            c.run(f.host.data(), 4, f.texels.get(), 4 * c.texelBytes, wh[0], wh[1]);
            f.g.width = 0;
            EXPECT_TRUE(HostMarginsHold(f, 0xA5));
        }
    }
}

// What each kind gets from the dispatch, the tests above hold through
// PackOf and UnpackOf; a kind without a row gets nothing.
TEST(Dispatch, KindsWithoutARowGetNoConverter)
{
    for (int kind : {static_cast<int>(kindNone), -1, textureFormatKindCount + 7}) {
        for (bool sse : {false, true}) {
            int32_t texelBytes = -1;
            EXPECT_EQ(PackConverterOf(kind, sse, &texelBytes), nullptr) << kind;
            EXPECT_EQ(UnpackConverterOf(kind, sse, &texelBytes), nullptr) << kind;
            EXPECT_EQ(texelBytes, -1);
        }
    }
}

}  // namespace

#if defined(KELVO_ROW_BANDS)

namespace {

struct NumberState {
    uint16_t x87Control;
    uint32_t mxcsr;
};

NumberState ReadNumberState()
{
    NumberState state;
    __asm__ __volatile__("fnstcw %0\n\tstmxcsr %1" : "=m"(state.x87Control), "=m"(state.mxcsr));
    return state;
}

void WriteNumberState(const NumberState& state)
{
    __asm__ __volatile__("fldcw %0\n\tldmxcsr %1" : : "m"(state.x87Control), "m"(state.mxcsr));
}

}  // namespace

// A host may leave its thread rounding toward +infinity (x87 and SSE); the
// bands must then round as the calling thread does, which RunUnpack checks
// against one thread. The mode has to show in the result for that to mean
// anything: the SSE float unpack rounds the x.25 products up under it.
TEST(FrameGeometry, BandsRoundUnderTheCallingThreadsMode)
{
    std::mt19937 rng(4321);
    const Geometry g{64, 64, 67, 64 * 16 + 16};
    std::vector<unsigned char> texels(static_cast<size_t>(g.texelPitch) * g.height);
    for (size_t i = 0; i + 4 <= texels.size(); i += 4) {
        const float channel = (static_cast<int32_t>(rng() % 8192) - 4096 + 0.25f) / 4096;
        std::memcpy(&texels[i], &channel, 4);
    }
    const NumberState callerDefault = ReadNumberState();
    NumberState upward = callerDefault;
    upward.x87Control = static_cast<uint16_t>((upward.x87Control & ~0x0C00u) | 0x0800u);
    upward.mxcsr = (upward.mxcsr & ~0x6000u) | 0x4000u;
    for (const UnpackConverter& c : UnpackConverters()) {
        SCOPED_TRACE(c.name);
        Frame nearest = MakeFrame(g, c.texelBytes, 0xA5, 0);
        std::memcpy(nearest.texels.get(), texels.data(), texels.size());
        Frame up = MakeFrame(g, c.texelBytes, 0xA5, 0);
        std::memcpy(up.texels.get(), texels.data(), texels.size());
        RunUnpack(c, nearest);
        WriteNumberState(upward);
        RunUnpack(c, up);
        const NumberState after = ReadNumberState();  // the flags may have changed
        const bool modeKept = after.x87Control == upward.x87Control &&
                              (after.mxcsr & 0xFF80u) == (upward.mxcsr & 0xFF80u);
        WriteNumberState(callerDefault);
        EXPECT_TRUE(modeKept);
        if (std::string(c.name) == "UnpackF32Sse") {
            EXPECT_NE(std::memcmp(nearest.host.data(), up.host.data(),
                                  nearest.host.size() * sizeof(YCPixel)),
                      0);
        }
    }
}

// A worker that cannot be woken, or that the scheduler has not run when the
// calling thread is done, costs its speed, not its band: the calling thread
// converts that band too, without waiting for the worker, and the frame is
// whole.
TEST(FrameGeometry, BandsOfWorkersThatDoNotRunAreConvertedByTheCaller)
{
    for (const bool suspended : {false, true}) {
        SCOPED_TRACE(suspended ? "workers not run" : "a worker that cannot be woken");
        RowBands bands;
        ClearRowBands(&bands);
        bands.minimumPixels = 0;
        bands.use = bandsAlways;
        ASSERT_TRUE(StartRowBands(&bands, 3, ProbeSse()));
        const HANDLE start = bands.startEvents[1];
        for (int32_t i = 0; suspended && i < bands.workerCount; ++i) {
            ASSERT_NE(SuspendThread(bands.threads[i]), static_cast<DWORD>(-1));
        }
        if (!suspended) bands.startEvents[1] = nullptr;  // SetEvent fails on it
        std::mt19937 rng(99);
        Frame single = MakeFrame({37, 30, 40, 37 * 8 + 5}, 8, 0, 0xA5);
        FillHostRandomly(single, rng);
        Frame banded = MakeFrame(single.g, 8, 0, 0xA5);
        banded.host = single.host;
        PackInt16(single.host.data(), 40, single.texels.get(), single.g.texelPitch, 37, 30);
        PackInBands(&bands, PackInt16, 8, banded.host.data(), 40, banded.texels.get(),
                    banded.g.texelPitch, 37, 30);
        if (suspended) {
            EXPECT_EQ(bands.longestWaitTicks, 0);
        }
        bands.startEvents[1] = start;
        for (int32_t i = 0; suspended && i < bands.workerCount; ++i) {
            ResumeThread(bands.threads[i]);
        }
        StopRowBands(&bands);
        EXPECT_EQ(std::memcmp(single.texels.get(), banded.texels.get(), TexelBufferBytes(single)),
                  0);
    }
}

namespace {

// A converter whose cost the test sets: by rows (the bands divide it among
// the threads) or by call (each band pays it again); coldMs more on the
// next call alone, as a first call on memory not yet touched. It converts
// nothing and takes no time: it moves the performance counter, which reads
// the test's clock, by what it would have cost (a band's cost shared by the
// four threads that run the bands side by side). So the choice sees the
// same costs however fast this machine runs the threads.
volatile LONG costPerCall = 0;  // 0: a millisecond per four rows
volatile LONG coldMs = 0;
volatile LONG clockMicroseconds = 0;
volatile LONG bandCalls = 0;
constexpr int32_t frameRows = 256;
constexpr int32_t bandThreads = 4;
void TimedPack(const YCPixel*, int32_t, void*, int32_t, int32_t, int32_t rows)
{
    const bool band = rows < frameRows;
    const LONG ms = costPerCall != 0 ? costPerCall : (rows + 3) / 4;
    InterlockedExchangeAdd(&clockMicroseconds, InterlockedExchange(&coldMs, 0) * 1000 +
                                                   ms * 1000 / (band ? bandThreads : 1));
    if (band) InterlockedIncrement(&bandCalls);
}

BOOL WINAPI TestClock(LARGE_INTEGER* now)
{
    now->QuadPart = clockMicroseconds;
    return TRUE;
}

// Whether the frame went through the bands.
bool PackedInBands(RowBands* bands, Frame& f)
{
    const LONG before = bandCalls;
    PackInBands(bands, TimedPack, 8, f.host.data(), 40, f.texels.get(), f.g.texelPitch, 37,
                frameRows);
    return bandCalls != before;
}

}  // namespace

// Left to measure, the bands are used where they are cheaper and given up
// where they cost more (a slow first call does not count against its way),
// and the choice follows a change within a few dozen calls; once settled, a
// trial of a far costlier way comes at most every 64 calls. None of it
// touches the host's floating-point state.
TEST(FrameGeometry, TheBandsAreUsedWhereTheyMeasureCheaper)
{
    void** counter = FindImportEntry(GetModuleHandleW(nullptr), "kernel32.dll",
                                     "QueryPerformanceCounter");
    ASSERT_NE(counter, nullptr);
    RowBands bands;
    ClearRowBands(&bands);
    bands.minimumPixels = 0;
    ASSERT_TRUE(StartRowBands(&bands, bandThreads, ProbeSse()));
    PatchPointer(counter, reinterpret_cast<void*>(&TestClock));
    // 256 rows: 32 bands of 8 on 4 threads, 2 ms each, against 64 ms on one
    // (by rows); 32 calls of 4 ms on 4 threads against one of 4 ms (by call).
    Frame f = MakeFrame({37, frameRows, 40, 37 * 8 + 5}, 8, 0, 0xA5);
    __asm__ __volatile__("fclex");
    struct Phase {
        const char* what;
        LONG perCall;
        LONG cold;         // on the phase's first call
        int leastInBands;  // of the last 64 calls
        int mostInBands;
    };
    const Phase phases[] = {
        {"a cold first call, then bands cost", 4, 200, 0, 3},
        {"cost by rows: bands pay", 0, 0, 56, 64},
        {"cost by call: bands cost", 4, 0, 0, 3},
        {"cost by rows again", 0, 0, 56, 64},
    };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.what);
        costPerCall = phase.perCall;
        coldMs = phase.cold;
        int inBands = 0;
        for (int call = 0; call < 96; ++call) {
            const bool banded = PackedInBands(&bands, f);
            if (call >= 32) inBands += banded ? 1 : 0;
        }
        EXPECT_GE(inBands, phase.leastInBands);
        EXPECT_LE(inBands, phase.mostInBands);
    }
    StopRowBands(&bands);
    RestorePatchedPointers();
    // Timing, choosing and the debugger lines leave the host's exception
    // flags as they were.
    uint16_t status = 0;
    __asm__ __volatile__("fnstsw %0" : "=m"(status));
    EXPECT_EQ(status & 0x3F, 0) << "x87 exception flags left behind";
}

#endif
