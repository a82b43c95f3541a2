#include "effect/correction_reference.h"
#include "core/correction_tracks.h"
#include "core/format_kinds.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The kinds of the table, and those whose technique carries the host's
// words rather than values on the common scale.
std::vector<TextureFormatKind> Kinds(bool wordsOnly = false)
{
    std::vector<TextureFormatKind> kinds;
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        if (!wordsOnly || formatKinds[kind].source->coding != HostCoding::scaledValue) {
            kinds.push_back(static_cast<TextureFormatKind>(kind));
        }
    }
    return kinds;
}

CorrectionConstants Neutral()
{
    const int32_t tracks[trackCount] = {};
    return ComputeCorrectionConstants(tracks);
}

CorrectionConstants WithTrack(int index, int32_t value)
{
    int32_t tracks[trackCount] = {};
    tracks[index] = value;
    return ComputeCorrectionConstants(tracks);
}

ReferenceRules Rules(FloatUnpack unpack, HalfRounding half = HalfRounding::towardZero,
                     Unorm10Rule u10 = Unorm10Rule::fromUnorm16)
{
    ReferenceRules r;
    r.floatUnpack = unpack;
    r.halfTarget = half;
    r.unorm10Target = u10;
    return r;
}

YCTriple HostAfter(YCTriple p, TextureFormatKind kind, const ReferenceRules& rules,
                   const CorrectionConstants& k = Neutral())
{
    return RunReference(p, k, kind, rules).host;
}

void ExpectPixel(YCTriple actual, int y, int cb, int cr)
{
    EXPECT_EQ(actual.y, y);
    EXPECT_EQ(actual.cb, cb);
    EXPECT_EQ(actual.cr, cr);
}

// The target texel for a step-5 result of host units (Y, Cb, Cr).
Texel StoreHostUnits(double y, double cb, double cr, TextureFormatKind kind,
                     const ReferenceRules& rules)
{
    Vec4d yc{{0.0, y / 4096, cb / 4096, cr / 4096}};
    return StoreTargetTexel(EncodeForTarget(yc, kind), kind, rules);
}

std::vector<YCTriple> Grid(std::initializer_list<int> values)
{
    std::vector<YCTriple> out;
    for (int y : values)
        for (int cb : values)
            for (int cr : values) out.push_back({int16_t(y), int16_t(cb), int16_t(cr)});
    return out;
}

// ---- Upload and sampling ---------------------------------------------------

// A kind without a row in the table has no model: never the half floats of
// another kind.
TEST(ReferenceUploadDeathTest, KindsWithoutARowAreRefused)
{
    for (int kind : {static_cast<int>(kindNone), -1, 99}) {
        EXPECT_DEATH(PackSourceTexel({2049, 0, 0}, static_cast<TextureFormatKind>(kind)),
                     "no format kind " + std::to_string(kind));
    }
}

TEST(ReferenceUpload, SamplersReadUnsignedAndSignedWords)
{
    Vec4d u = SampleSourceTexel(PackSourceTexel({-1, -2048, 32767}, kindU16), kindU16);
    EXPECT_DOUBLE_EQ(u.c[1], 1.0);
    EXPECT_DOUBLE_EQ(u.c[2], 63488.0 / 65535.0);
    EXPECT_DOUBLE_EQ(u.c[3], 32767.0 / 65535.0);

    // -32768 and -32767 both read as -1.
    Vec4d s = SampleSourceTexel(PackSourceTexel({-32768, -32767, 32767}, kindS16), kindS16);
    EXPECT_EQ(s.c[1], -1.0);
    EXPECT_EQ(s.c[2], -1.0);
    EXPECT_EQ(s.c[3], 1.0);
}

// ---- The effect's steps --------------------------------------------------------

// With neutral tracks the two matrices leave a value within 1e-5 per matrix
// entry of itself, so step 5 is within 1e-5 x (|Y| + |Cb| + |Cr|) of what
// the shader decoded. All inputs here are exact in every source format.
TEST(ReferenceShader, NeutralTracksGiveTheInputBackOnTheCommonScale)
{
    const YCTriple inputs[] = {{0, 0, 0},           {4096, 0, 0},        {2048, -2048, 2047},
                               {1000, 1500, -1700}, {6000, -3000, 3000}, {-2048, 2047, 2047}};
    for (TextureFormatKind kind : Kinds()) {
        for (YCTriple p : inputs) {
            Vec4d s = SampleSourceTexel(PackSourceTexel(p, kind), kind);
            ShaderTrace t = ShadeTexel(s, Neutral(), kind);
            const double v[3] = {p.y / 4096.0, p.cb / 4096.0, p.cr / 4096.0};
            double tolerance = 1e-5 * (std::fabs(v[0]) + std::fabs(v[1]) + std::fabs(v[2]));
            EXPECT_EQ(t.ycOut.c[0], 0.0) << "kind " << kind;
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(t.ycOut.c[c + 1], v[c], tolerance)
                    << "kind " << kind << " channel " << c;
            }
        }
    }
}

// Y alone makes B = G = R = Y exactly, so the gamma step sees 1.5, -0.25,
// 1, 0 and 0.5 as they are.
TEST(ReferenceShader, GammaActsInsideZeroToOneOnly)
{
    for (int32_t track : {256, -256}) {
        CorrectionConstants k = WithTrack(14, track);  // B(gamm): 8 or 0.125
        for (int16_t y : {int16_t(6144), int16_t(-1024), int16_t(4096), int16_t(0)}) {
            ShaderTrace t = ShadeTexel({{0, y / 4096.0, 0, 0}}, k, kindF32);
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(t.gamma.c[c], t.bgr.c[c]) << "Y " << y << " component " << c;
            }
        }
    }
    ShaderTrace dark = ShadeTexel({{0, 0.5, 0, 0}}, WithTrack(14, 256), kindF32);
    EXPECT_DOUBLE_EQ(dark.gamma.c[1], 0.00390625);  // 0.5^8
    EXPECT_EQ(dark.gamma.c[2], 0.5);                // G and R keep exponent 1
    EXPECT_EQ(dark.gamma.c[3], 0.5);
    ShaderTrace light = ShadeTexel({{0, 0.5, 0, 0}}, WithTrack(14, -256), kindF32);
    EXPECT_NEAR(light.gamma.c[1], 0.9170040432, 1e-9);  // 2^-0.125
}

TEST(ReferenceShader, SpareChannelComesOutZero)
{
    CorrectionConstants k = WithTrack(8, -256);
    for (TextureFormatKind kind : Kinds()) {
        if (formatKinds[kind].target->coding == HostCoding::packed12_10_10) {
            continue;  // channel 0 carries Cr there
        }
        Vec4d s = SampleSourceTexel(PackSourceTexel({3000, -700, 900}, kind), kind);
        EXPECT_EQ(ShadeTexel(s, k, kind).output.c[0], 0.0) << "kind " << kind;
    }
}

// ---- Render-target quantisation ------------------------------------------------

TEST(ReferenceTarget, U16WritesTheHostBitPattern)
{
    const ReferenceRules rules;
    Texel t = StoreHostUnits(-1, 40000, -40000, kindU16, rules);
    EXPECT_EQ(t.bits16[1], 0xFFFF);
    EXPECT_EQ(t.bits16[2], 0x7FFF);
    EXPECT_EQ(t.bits16[3], 0x8000);
    // Results round to the nearest host value across the wrap: one in
    // (-0.5, 0) stays below zero, which the target stores as 0; from -0.5
    // down they wrap to the top of the unsigned range.
    Texel near = StoreHostUnits(-0.49, -0.51, -1.6, kindU16, rules);
    EXPECT_EQ(near.bits16[1], 0x0000);
    EXPECT_EQ(near.bits16[2], 0xFFFF);
    EXPECT_EQ(near.bits16[3], 0xFFFE);
}

TEST(ReferenceTarget, S16NeverWritesMinus32768)
{
    Texel t = StoreHostUnits(-36864, -32768, 32767.4, kindS16, ReferenceRules());
    EXPECT_EQ(t.bits16[1], 0x8001);
    EXPECT_EQ(t.bits16[2], 0x8001);
    EXPECT_EQ(t.bits16[3], 0x7FFF);
}

TEST(ReferenceTarget, U10PacksTwelveBitYAndTenBitChroma)
{
    for (Unorm10Rule rule : {Unorm10Rule::nearest, Unorm10Rule::fromUnorm16}) {
        ReferenceRules rules = Rules(FloatUnpack::plain, HalfRounding::towardZero, rule);
        uint32_t white = StoreHostUnits(4096, 0, 0, kindU10, rules).packed;
        EXPECT_EQ(white >> 20, 3072u);
        EXPECT_EQ(white >> 30, 3u);
        EXPECT_EQ(StoreHostUnits(-2048, 0, 0, kindU10, rules).packed >> 20, 0u);
        EXPECT_EQ(StoreHostUnits(7000, 0, 0, kindU10, rules).packed >> 20, 4095u);
        EXPECT_EQ((StoreHostUnits(0, -8, 0, kindU10, rules).packed >> 10) & 0x3FF, 1023u);
        EXPECT_EQ(StoreHostUnits(0, 0, -4096, kindU10, rules).packed & 0x3FF, 512u);
        // Chroma rounds to the nearest code across its wrap: -0.49 of a
        // code stores 0, -0.51 wraps to 1023.
        uint32_t nearZero = StoreHostUnits(0, -3.9, -4.1, kindU10, rules).packed;
        EXPECT_EQ((nearZero >> 10) & 0x3FF, 0u);
        EXPECT_EQ(nearZero & 0x3FF, 1023u);
        // Y12 rounds to the nearest code across the split of its fields:
        // 1023.4 is 1023 (all low bits), 1023.6 carries into the high field.
        EXPECT_EQ(StoreHostUnits(-1.2, 0, 0, kindU10, rules).packed >> 20, 1023u);
        EXPECT_EQ(StoreHostUnits(-0.8, 0, 0, kindU10, rules).packed >> 20, 1024u);
    }
}

// Every n/1023 gives n under both rules; in between, the platform's rule
// (the 16-bit result shifted right by 6) truncates low and rounds high.
TEST(ReferenceTarget, U10FieldRules)
{
    auto field = [](double value, Unorm10Rule rule) {
        Vec4d out{{value, 0, 0, 0}};
        return StoreTargetTexel(out, kindU10,
                                Rules(FloatUnpack::plain, HalfRounding::towardZero, rule))
                   .packed &
               0x3FF;
    };
    for (uint32_t n = 0; n <= 1023; ++n) {
        ASSERT_EQ(field(n / 1023.0, Unorm10Rule::fromUnorm16), n);
        ASSERT_EQ(field(n / 1023.0, Unorm10Rule::nearest), n);
    }
    EXPECT_EQ(field(0.6 / 1023, Unorm10Rule::nearest), 1u);
    EXPECT_EQ(field(0.6 / 1023, Unorm10Rule::fromUnorm16), 0u);
    EXPECT_EQ(field(100.6 / 1023, Unorm10Rule::nearest), 101u);
    EXPECT_EQ(field(100.6 / 1023, Unorm10Rule::fromUnorm16), 100u);
    EXPECT_EQ(field(1022.6 / 1023, Unorm10Rule::fromUnorm16), 1023u);
    EXPECT_EQ(field(1023.6 / 1023, Unorm10Rule::fromUnorm16), 1023u);
    EXPECT_EQ(field(0.6 / 1023, Unorm10Rule::towardZero), 0u);
    EXPECT_EQ(field(1022.6 / 1023, Unorm10Rule::towardZero), 1022u);
    EXPECT_EQ(field(1.0, Unorm10Rule::towardZero), 1023u);

    // The 2-bit alpha rounds v x 3 to nearest.
    auto alpha = [](double value) {
        Vec4d out{{0, 0, 0, value}};
        return StoreTargetTexel(out, kindU10, ReferenceRules()).packed >> 30;
    };
    EXPECT_EQ(alpha(0.6 / 3), 1u);
    EXPECT_EQ(alpha(2.4 / 3), 2u);
    EXPECT_EQ(alpha(1.0), 3u);
}

// ---- Whole path ----------------------------------------------------------------

// The matrix pair's error is below 0.33 host units for any input (largest
// row sum of |product - identity| is under 1e-5, times 32768), so
// rounding downloads give every value back, and so does U16's target. Cb
// 2047 feeds Y back with 0.114 x 1.772 - 0.587 x 0.34414 = -2.2e-6: Y = 0
// lands a hair below zero, which U16 rounds to 0 rather than wrapping.
TEST(ReferenceRoundTrip, FloatS16AndU16AreExactWithRoundingDownload)
{
    const ReferenceRules rules = Rules(FloatUnpack::sse);
    for (YCTriple p : Grid({-32768, -20000, -2048, -1, 0, 1, 2047, 4096, 32767})) {
        for (TextureFormatKind kind : {kindF32, kindU16}) {
            YCTriple f = HostAfter(p, kind, rules);
            ASSERT_TRUE(f.y == p.y && f.cb == p.cb && f.cr == p.cr)
                << "kind " << kind << ": " << p.y << " " << p.cb << " " << p.cr << " -> " << f.y
                << " " << f.cb << " " << f.cr;
        }
        // S16 reads -32768 like -32767 and cannot write it.
        YCTriple s = HostAfter(p, kindS16, rules);
        auto expected = [](int16_t v) { return v == -32768 ? -32767 : v; };
        ASSERT_EQ(s.y, expected(p.y));
        ASSERT_EQ(s.cb, expected(p.cb));
        ASSERT_EQ(s.cr, expected(p.cr));
    }
}

// The truncating download loses the unit whenever the error is toward zero,
// never more and never away from zero.
TEST(ReferenceRoundTrip, F32TruncatingDownloadStaysWithinOneTowardZero)
{
    const ReferenceRules rules = Rules(FloatUnpack::plain);
    for (YCTriple p : Grid({-32768, -20000, -2048, -1, 0, 1, 2047, 4096, 32767})) {
        YCTriple f = HostAfter(p, kindF32, rules);
        const int in[3] = {p.y, p.cb, p.cr};
        const int out[3] = {f.y, f.cb, f.cr};
        for (int c = 0; c < 3; ++c) {
            int drop = in[c] - out[c];
            int sign = (in[c] > 0) - (in[c] < 0);
            ASSERT_TRUE(drop == 0 || drop == sign) << in[c] << " -> " << out[c];
        }
    }
}

// Representable U10 values (Y even, chroma multiples of 8) come back with
// the rounding field rule, those whose Y12 is a multiple of 1024 (Y 0, 2048,
// 4096) included: a Y12 a hair below such a code carries into the high field
// rather than leaving a saturated low field at 1023 below it.
TEST(ReferenceRoundTrip, U10GivesRepresentableValuesBackWithRoundingFields)
{
    const ReferenceRules rules = Rules(FloatUnpack::plain, HalfRounding::towardZero,
                                       Unorm10Rule::nearest);
    const int ys[] = {-2046, -2, 0, 2, 1026, 2048, 4094, 4096, 6142};
    const int cs[] = {-4096, -8, 0, 8, 2048, 4088};
    for (int y : ys)
        for (int cb : cs)
            for (int cr : cs) {
                YCTriple u = HostAfter({int16_t(y), int16_t(cb), int16_t(cr)}, kindU10, rules);
                ASSERT_TRUE(u.y == y && u.cb == cb && u.cr == cr)
                    << y << " " << cb << " " << cr << " -> " << u.y << " " << u.cb << " " << u.cr;
            }
}

// Y = 3000 with Cb = Cr = 1000 comes out a hair low in Y and Cb and a hair
// high in Cr (see the matrix products above). Rounding toward zero then
// drops Y to the next half below (2998: halves step by 2 there) and Cb to
// 999.5 (step 0.5), which the truncating download makes 999 and the
// rounding one 1000 (ties to even).
TEST(ReferenceRoundTrip, F16TargetRoundingModes)
{
    const YCTriple p{3000, 1000, 1000};
    ExpectPixel(HostAfter(p, kindF16, Rules(FloatUnpack::sse, HalfRounding::nearestEven)), 3000,
                1000, 1000);
    ExpectPixel(HostAfter(p, kindF16, Rules(FloatUnpack::sse, HalfRounding::towardZero)), 2998,
                1000, 1000);
    ExpectPixel(HostAfter(p, kindF16, Rules(FloatUnpack::plain, HalfRounding::towardZero)), 2998,
                999, 1000);
    // The accepted range covers both, whichever the point value follows.
    ReferenceResult either = RunReference(p, Neutral(), kindF16,
                                          Rules(FloatUnpack::sse, HalfRounding::towardZero));
    EXPECT_TRUE(HostPixelAccepted(either, {3000, 1000, 1000}));
    EXPECT_TRUE(HostPixelAccepted(either, {2998, 1000, 1000}));
    EXPECT_FALSE(HostPixelAccepted(either, {2996, 1000, 1000}));
}

TEST(ReferenceRoundTrip, GainAndOffsetReachTheHost)
{
    // Y(gain) -256 removes Y; only the (zero) offset remains.
    ExpectPixel(HostAfter({3000, 0, 0}, kindF32, Rules(FloatUnpack::sse), WithTrack(1, -256)), 0, 0,
                0);
    // B(offs) 256 adds pure blue: Y 0.114, Cb 0.5, Cr -0.08131 of 4096.
    CorrectionConstants blue = WithTrack(12, 256);
    ExpectPixel(HostAfter({0, 0, 0}, kindF32, Rules(FloatUnpack::sse), blue), 467, 2048, -333);
    ExpectPixel(HostAfter({0, 0, 0}, kindF32, Rules(FloatUnpack::plain), blue), 466, 2048, -333);
    // Y(gain) 256 doubles 32767 to 65534: both downloads saturate rather
    // than wrap white round to black.
    CorrectionConstants twice = WithTrack(1, 256);
    ExpectPixel(HostAfter({32767, 0, 0}, kindF32, Rules(FloatUnpack::plain), twice), 32767, 0, 0);
    ExpectPixel(HostAfter({32767, 0, 0}, kindF32, Rules(FloatUnpack::sse), twice), 32767, 0, 0);
}

// ---- Accepted ranges -----------------------------------------------------------

TEST(ReferenceTolerance, AcceptanceFollowsTheSixteenBitRing)
{
    ReferenceResult r{};
    r.accepted = {{-3, 0, 32767}, {2, 0, 32768}};
    EXPECT_TRUE(HostPixelAccepted(r, {-3, 0, 32767}));
    EXPECT_TRUE(HostPixelAccepted(r, {2, 0, -32768}));
    EXPECT_FALSE(HostPixelAccepted(r, {-4, 0, 32767}));
    EXPECT_FALSE(HostPixelAccepted(r, {3, 0, 32767}));
    EXPECT_FALSE(HostPixelAccepted(r, {0, 1, 32767}));
    EXPECT_FALSE(HostPixelAccepted(r, {0, 0, 32766}));
    EXPECT_FALSE(HostPixelAccepted(r, {0, 0, -32767}));
}

// Well inside every rounding boundary the allowance for float arithmetic
// must not widen the answer: one value, the input itself.
TEST(ReferenceTolerance, WellConditionedPixelsAcceptOneValue)
{
    ReferenceResult r = RunReference({1000, 500, -300}, Neutral(), kindF32,
                                     Rules(FloatUnpack::sse));
    const int expected[3] = {1000, 500, -300};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(r.accepted.lo[c], expected[c]);
        EXPECT_EQ(r.accepted.hi[c], expected[c]);
    }
}

// The model's own answer is always among the accepted ones, whatever the
// tracks, format and rules.
TEST(ReferenceTolerance, ModelAnswerLiesInItsRange)
{
    std::srand(12345);
    const FloatUnpack unpacks[] = {FloatUnpack::plain, FloatUnpack::sse};
    const HalfRounding halves[] = {HalfRounding::towardZero, HalfRounding::nearestEven};
    const Unorm10Rule fields[] = {Unorm10Rule::fromUnorm16, Unorm10Rule::nearest,
                                  Unorm10Rule::towardZero};
    for (int trial = 0; trial < 3000; ++trial) {
        int32_t tracks[trackCount] = {};
        for (int i = 0; i < 15; ++i) {
            tracks[i] = std::rand() % 513 - 256;
        }
        CorrectionConstants k = ComputeCorrectionConstants(tracks);
        YCTriple p{int16_t(std::rand() % 65536 - 32768), int16_t(std::rand() % 8192 - 4096),
                   int16_t(std::rand() % 8192 - 4096)};
        ReferenceRules rules = Rules(unpacks[trial % 2], halves[trial / 2 % 2], fields[trial % 3]);
        for (TextureFormatKind kind : Kinds()) {
            ReferenceResult r = RunReference(p, k, kind, rules);
            ASSERT_TRUE(HostPixelAccepted(r, r.host)) << "trial " << trial << " kind " << kind;
        }
    }
}

// With exact arithmetic the range is the targets' choice of rounding and
// nothing else: every conformant rounding's answer lies in it, its ends are
// such answers, and a unit beyond either end is refused.
TEST(ReferenceTolerance, EitherRoundingOfATargetPassesAndNothingBeyond)
{
    std::srand(777);
    for (int trial = 0; trial < 1500; ++trial) {
        int32_t tracks[trackCount] = {};
        for (int i = 0; i < 15; ++i) {
            tracks[i] = std::rand() % 513 - 256;
        }
        CorrectionConstants k = ComputeCorrectionConstants(tracks);
        YCTriple p{int16_t(std::rand() % 12288 - 4096), int16_t(std::rand() % 8192 - 4096),
                   int16_t(std::rand() % 8192 - 4096)};
        for (TextureFormatKind kind : Kinds()) {
            SCOPED_TRACE(testing::Message() << "trial " << trial << " kind " << kind);
            ReferenceRules exact;
            exact.errors = exactArithmetic;
            const ReferenceResult r = RunReference(p, k, kind, exact);
            int32_t lo[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
            int32_t hi[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
            for (HalfRounding half : conformantHalfRoundings) {
                for (Unorm10Rule field : conformantUnorm10Rules) {
                    ReferenceRules rounding = Rules(FloatUnpack::plain, half, field);
                    YCTriple answer = UnpackTargetTexel(
                        StoreTargetTexel(r.shader.output, kind, rounding), kind, rounding);
                    ASSERT_TRUE(HostPixelAccepted(r, answer));
                    const int16_t v[3] = {answer.y, answer.cb, answer.cr};
                    for (int c = 0; c < 3; ++c) {
                        lo[c] = std::min<int32_t>(lo[c], v[c]);
                        hi[c] = std::max<int32_t>(hi[c], v[c]);
                    }
                }
            }
            for (int c = 0; c < 3; ++c) {
                // Saturated and wrapped ends aside, the range is the answers' span.
                if (r.accepted.hi[c] - r.accepted.lo[c] >= 16) continue;
                ASSERT_EQ(static_cast<int16_t>(r.accepted.lo[c]), lo[c]) << "channel " << c;
                ASSERT_EQ(static_cast<int16_t>(r.accepted.hi[c]), hi[c]) << "channel " << c;
                YCTriple below = r.host;
                YCTriple above = r.host;
                int16_t* belowChannel[3] = {&below.y, &below.cb, &below.cr};
                int16_t* aboveChannel[3] = {&above.y, &above.cb, &above.cr};
                *belowChannel[c] = static_cast<int16_t>(r.accepted.lo[c] - 1);
                *aboveChannel[c] = static_cast<int16_t>(r.accepted.hi[c] + 1);
                ASSERT_FALSE(HostPixelAccepted(r, below)) << "channel " << c;
                ASSERT_FALSE(HostPixelAccepted(r, above)) << "channel " << c;
            }
        }
    }
}

// A sampler may convert an integer texel to float one step off (this
// machine's multiplies by the float nearest 1/65535). The integer paths
// rebuild the 16-bit word from it, so near the word's wrap a small host
// value carries the error of a word near 65535, and a gamma below 1 near
// black magnifies it past a rounding boundary: the range must hold the
// answer of a sample off by one float step either way. The first case is
// such a pixel (Cb -1408 under gamma 0.34 comes back as -981 on this
// machine, -980.29 exactly).
TEST(ReferenceTolerance, ASampleOneFloatStepOffStaysInRange)
{
    std::srand(4242);
    for (int trial = 0; trial < 1500; ++trial) {
        int32_t tracks[trackCount] = {26,   149, 90,  102,  29,  11,  169,  -44,
                                      -134, 169, -44, -134, 169, -44, -134, 0};
        YCTriple p{330, -1408, -550};
        if (trial > 0) {
            for (int i = 0; i < 15; ++i) {
                tracks[i] = std::rand() % 513 - 256;
            }
            p = {int16_t(std::rand() % 12288 - 4096), int16_t(std::rand() % 8192 - 4096),
                 int16_t(std::rand() % 8192 - 4096)};
        }
        CorrectionConstants k = ComputeCorrectionConstants(tracks);
        for (TextureFormatKind kind : Kinds()) {
            // The allowance for the arithmetic alone must hold it: log, exp
            // and the target round exactly here.
            ReferenceRules rules;
            rules.errors = {conformantErrors.operation, 0.0, 0.0, 0.5};
            const ReferenceResult r = RunReference(p, k, kind, rules);
            for (int steps : {-1, 1}) {
                const ShaderTrace shaded = ShadeTexelOnLooseCard(r.sampled, k, kind,
                                                                 {steps, false});
                YCTriple answer = UnpackTargetTexel(StoreTargetTexel(shaded.output, kind, rules),
                                                    kind, rules);
                ASSERT_TRUE(HostPixelAccepted(r, answer))
                    << "trial " << trial << " kind " << kind << " got " << answer.y << " "
                    << answer.cb << " " << answer.cr << " model " << r.host.y << " " << r.host.cb
                    << " " << r.host.cr;
            }
        }
    }
}

// ---- A less exact card ---------------------------------------------------------

// 24-bit floats keep 17 significant bits and round ties to even.
TEST(ReferenceLooseCard, Float24KeepsSeventeenBits)
{
    EXPECT_EQ(Float24(65535.5), 65535.5);
    EXPECT_EQ(Float24(65536.5), 65536.0);
    EXPECT_EQ(Float24(65537.5), 65538.0);
    EXPECT_EQ(Float24(-32767.75), -32767.75);
    EXPECT_EQ(Float24(0x1p-63), 0.0);
}

// Every 16-bit word of the integer formats, as Y, Cb and Cr at once, through
// cards whose sampler is a float step or two off and cards with 24-bit
// arithmetic (gpu_tolerance.h). No channel may come back more than half its
// span away from the model (-32768 read as +32767 would), every answer must
// lie in the model's range for such a card, and at identity none may be
// more than a code off.
TEST(ReferenceLooseCard, NoWordComesBackAtTheOtherEnd)
{
    const struct {
        const char* name;
        int32_t tracks[trackCount];
    } settings[] = {
        {"identity", {}},
        {"strong grade", {-40, 60, 12, -30, -7, 90, 33, -120, 77, -18, 45, -200, 5, 140, 128, 0}},
        {"gains x4", {0, 256, 0, 256, 0, 256, 0, 256, 0, 0, 256, 0, 0, 256, 0, 0}},
    };
    const LooseCard cards[] = {{-2, false}, {-1, false}, {1, false}, {2, false},
                               {-2, true},  {0, true},   {2, true}};
    ReferenceRules bounds[2];  // the sampler alone, 24-bit arithmetic
    bounds[1].errors = float24Errors;
    for (TextureFormatKind kind : Kinds(true)) {
        const bool u10 = formatKinds[kind].target->coding == HostCoding::packed12_10_10;
        const int halfSpan[3] = {u10 ? 4095 : 32767, u10 ? 4092 : 32767, u10 ? 4092 : 32767};
        const int code[3] = {u10 ? 2 : 1, u10 ? 8 : 1, u10 ? 8 : 1};
        for (const auto& setting : settings) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << ", " << setting.name);
            const CorrectionConstants k = ComputeCorrectionConstants(setting.tracks);
            int flips = 0;
            int largest[2][3] = {};
            for (int word = 0; word < 65536; ++word) {
                const int16_t v = static_cast<int16_t>(word);
                const ReferenceResult model[2] = {RunReference({v, v, v}, k, kind, bounds[0]),
                                                  RunReference({v, v, v}, k, kind, bounds[1])};
                const int16_t want[3] = {model[0].host.y, model[0].host.cb, model[0].host.cr};
                for (const LooseCard& card : cards) {
                    const ReferenceRules& rules = bounds[card.float24];
                    const ShaderTrace t = ShadeTexelOnLooseCard(model[0].sampled, k, kind, card);
                    const YCTriple got = UnpackTargetTexel(StoreTargetTexel(t.output, kind, rules),
                                                           kind, rules);
                    const int16_t has[3] = {got.y, got.cb, got.cr};
                    for (int c = 0; c < 3; ++c) {
                        const int d = std::abs(has[c] - want[c]);
                        flips += d > halfSpan[c];
                        largest[card.float24][c] = std::max(largest[card.float24][c], d);
                    }
                    ASSERT_TRUE(HostPixelAccepted(model[card.float24], got))
                        << "word " << word << " card " << card.samplerSteps
                        << (card.float24 ? " 24-bit" : "") << " got " << got.y << " " << got.cb
                        << " " << got.cr;
                }
            }
            EXPECT_EQ(flips, 0);
            const bool identity = std::all_of(std::begin(setting.tracks), std::end(setting.tracks),
                                              [](int32_t t) { return t == 0; });
            for (int c = 0; c < 3 && identity; ++c) {
                EXPECT_LE(largest[0][c], code[c]) << "channel " << c;
                EXPECT_LE(largest[1][c], code[c]) << "channel " << c;
            }
            std::printf("kind %d %-12s largest difference from the model (Y, Cb, Cr): sampler off "
                        "%d %d %d, 24-bit %d %d %d\n",
                        kind, setting.name, largest[0][0], largest[0][1], largest[0][2],
                        largest[1][0], largest[1][1], largest[1][2]);
        }
    }
}
}  // namespace

// ---- The exact yardstick ------------------------------------------------------

TEST(ReferenceExact, NeutralTracksGiveTheInputBackUnclampedAndUnrounded)
{
    const CorrectionConstants k = Neutral();
    for (const YCTriple& p : Grid({-32768, -4096, -2048, -1, 0, 1, 2048, 4096, 6143, 32767})) {
        ExactHostPixel e = ExactHostValue(p, k);
        // Only the float matrices stand between input and output: their
        // product is the identity to about 1e-5 of the pixel's size.
        double slack = 1e-5 * (std::abs(p.y) + std::abs(p.cb) + std::abs(p.cr)) + 1e-9;
        EXPECT_NEAR(e.c[0], p.y, slack) << p.y << " " << p.cb << " " << p.cr;
        EXPECT_NEAR(e.c[1], p.cb, slack) << p.y << " " << p.cb << " " << p.cr;
        EXPECT_NEAR(e.c[2], p.cr, slack) << p.y << " " << p.cb << " " << p.cr;
    }
}

TEST(ReferenceExact, KeepsFractionsAndValuesBeyondTheHostRange)
{
    // Y gain 257/256: 1000 becomes 1003.90625, not 1003 or 1004.
    ExactHostPixel small = ExactHostValue({1000, 0, 0}, WithTrack(1, 1));
    EXPECT_NEAR(small.c[0], 1000.0 * 257 / 256, 1e-3);
    // Y gain 2: 32767 becomes about 65534, past what a host pixel holds.
    ExactHostPixel large = ExactHostValue({32767, 0, 0}, WithTrack(1, 256));
    EXPECT_NEAR(large.c[0], 65534.0, 0.5);
    // Offset +16/256 of the unit: +256 host units.
    ExactHostPixel offset = ExactHostValue({-2048, 0, 0}, WithTrack(0, 16));
    EXPECT_NEAR(offset.c[0], -1792.0, 1e-3);
}

TEST(ReferenceExact, F32WithRoundingDownloadLiesWithinHalfAUnit)
{
    // The F32 path stores source and result as floats (exact on the way in,
    // 2^-24 relative on the way out) and rounds to the nearest host unit.
    int32_t tracks[trackCount] = {};
    tracks[1] = 40;    // Y gain
    tracks[4] = -20;   // Cr offset
    tracks[8] = 64;    // R gamma
    tracks[11] = -64;  // G gamma
    tracks[12] = 8;    // G offset
    const CorrectionConstants k = ComputeCorrectionConstants(tracks);
    const ReferenceRules rules = Rules(FloatUnpack::sse);
    for (const YCTriple& p : Grid({-2048, -700, 0, 333, 1024, 2047, 3001, 4096, 6143})) {
        ExactHostPixel e = ExactHostValue(p, k);
        YCTriple host = HostAfter(p, kindF32, rules, k);
        const int16_t got[3] = {host.y, host.cb, host.cr};
        for (int c = 0; c < 3; ++c) {
            EXPECT_LE(std::fabs(got[c] - e.c[c]), 0.5 + 1e-3)
                << "channel " << c << " of " << p.y << " " << p.cb << " " << p.cr;
        }
    }
}
