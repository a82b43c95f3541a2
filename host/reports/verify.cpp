#include "reports/verify.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32) && defined(__i386__)
#include <float.h>
#endif

namespace {

constexpr size_t cacheLimit = 1 << 18;

uint64_t PixelKey(YCPixel p)
{
    return (static_cast<uint64_t>(static_cast<uint16_t>(p.y)) << 32) |
           (static_cast<uint64_t>(static_cast<uint16_t>(p.cb)) << 16) |
           static_cast<uint64_t>(static_cast<uint16_t>(p.cr));
}

// A Direct3D device in this process cuts the x87 precision to 24 bits; the
// model's C-runtime calls must run at full precision to match its own tests.
struct FullX87Precision {
#if defined(_WIN32) && defined(__i386__)
    unsigned int saved = _controlfp(0, 0);
    FullX87Precision()
    {
        _controlfp(_PC_64, _MCW_PC);
    }
    ~FullX87Precision()
    {
        _controlfp(saved, _MCW_PC);
    }
#endif
};

}  // namespace

int32_t HostUnitDistance(int16_t a, int16_t b)
{
    return std::abs(static_cast<int32_t>(a) - static_cast<int32_t>(b));
}

PixelExpectation ExpectPixel(const CorrectionConstants& constants, TextureFormatKind kind,
                             YCPixel input)
{
    YCTriple in = {input.y, input.cb, input.cr};
    PixelExpectation e;
    for (int i = 0; i < ruleSetCount; ++i) {
        ReferenceRules rules;
        rules.halfTarget = (i & 1) == 0 ? HalfRounding::towardZero : HalfRounding::nearestEven;
        rules.floatUnpack = (i & 2) == 0 ? FloatUnpack::plain : FloatUnpack::sse;
        ReferenceResult r = RunReference(in, constants, kind, rules);
        e.host[i] = r.host;
        e.accepted[i] = r.accepted;
    }
    return e;
}

void VerifyFrame(Verifier* verifier, const int32_t tracks[trackCount], TextureFormatKind kind,
                 const YCFrame& input, const YCFrame& output, VerifyTotals* totals)
{
    [[maybe_unused]] FullX87Precision precision;
    if (!verifier->primed || verifier->kind != kind ||
        std::memcmp(verifier->tracks, tracks, sizeof verifier->tracks) != 0) {
        std::memcpy(verifier->tracks, tracks, sizeof verifier->tracks);
        verifier->kind = kind;
        verifier->constants = ComputeCorrectionConstants(tracks);
        verifier->cache.clear();
        verifier->primed = true;
    }
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            YCPixel in = PixelAt(input, x, y);
            YCPixel out = PixelAt(output, x, y);
            uint64_t key = PixelKey(in);
            auto found = verifier->cache.find(key);
            if (found == verifier->cache.end()) {
                if (verifier->cache.size() >= cacheLimit) {
                    verifier->cache.clear();
                }
                found =
                    verifier->cache.emplace(key, ExpectPixel(verifier->constants, kind, in)).first;
            }
            const PixelExpectation& e = found->second;
            const int16_t actual[3] = {out.y, out.cb, out.cr};
            int nearest = 0;
            int32_t nearestSum = -1;
            for (int rule = 0; rule < ruleSetCount; ++rule) {
                const int16_t expected[3] = {e.host[rule].y, e.host[rule].cb, e.host[rule].cr};
                int32_t sum = 0;
                for (int c = 0; c < 3; ++c) sum += HostUnitDistance(actual[c], expected[c]);
                if (nearestSum < 0 || sum < nearestSum) {
                    nearestSum = sum;
                    nearest = rule;
                }
            }
            const int16_t expected[3] = {e.host[nearest].y, e.host[nearest].cb, e.host[nearest].cr};
            for (int c = 0; c < 3; ++c) {
                totals->largestError[c] = std::max(totals->largestError[c],
                                                   HostUnitDistance(actual[c], expected[c]));
            }
            bool accepted = false;
            for (int rule = 0; rule < ruleSetCount && !accepted; ++rule) {
                ReferenceResult range = {};
                range.accepted = e.accepted[rule];
                accepted = HostPixelAccepted(range, YCTriple{out.y, out.cb, out.cr});
            }
            if (!accepted) {
                if (!totals->hasExample) {
                    totals->hasExample = true;
                    totals->exampleFrame = totals->frames;
                    totals->exampleX = x;
                    totals->exampleY = y;
                    totals->exampleInput = in;
                    totals->exampleExpected = YCPixel{expected[0], expected[1], expected[2]};
                    totals->exampleActual = out;
                }
                ++totals->outside;
            }
            ++totals->pixels;
        }
    }
    ++totals->frames;
}
