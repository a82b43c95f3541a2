#include "effect/correction_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/format_kinds.h"

namespace {

// The single-precision constants the shaders carry, as doubles, so the
// model reproduces the shaders' own scale factors rather than ideal ones.
const double kInv65535f = 1.5259021893143654e-05;  // nearest float to 1/65535
const double kS16Decode = 7.999755859375;          // 32767/4096, exact
const double kS16Encode = 0.12500381469726562;     // nearest float to 4096/32767
const double kInv1023f = 0.0009775171056389809;    // nearest float to 1/1023
const double kLowFieldScale = 1.0009775161743164;  // nearest float to 1024/1023
const double kThirdf = 0.3333333432674408;         // nearest float to 1/3

// Where the integer techniques decide, as the shaders do: each decision
// falls half a step between two valid codes, so that a card whose sampler or
// arithmetic is a little off takes the branch that exact arithmetic takes.
const double kDecodeWrapWord = 32767.5;  // rebuilt words from here up were negative values
const double kHalfStep = 0.5;            // the encodings wrap below -0.5 and split Y12 + 0.5

// The kind's row of the engine's table: the model follows its source and
// target formats. A kind without a row has no model: it is refused.
const FormatKindRow& RowOf(TextureFormatKind kind)
{
    const FormatKindRow* row = FormatKindRowOf(kind);
    if (row == nullptr) {
        std::fprintf(stderr, "correction reference: no format kind %d\n", static_cast<int>(kind));
        std::abort();
    }
    return *row;
}

const TexelRule& SourceOf(TextureFormatKind kind)
{
    return TexelRuleOf(RowOf(kind).source);
}

const TexelRule& TargetOf(TextureFormatKind kind)
{
    return TexelRuleOf(RowOf(kind).target);
}

// The entries of a constant table, so that one loop runs over either of two.
template <class T>
struct Span {
    const T* first;
    const T* last;
    template <size_t n>
    Span(const T (&table)[n]) : first(table), last(table + n)
    {
    }
    const T* begin() const { return first; }
    const T* end() const { return last; }
};

double Clamp(double v, double lo, double hi)
{
    return std::min(std::max(v, lo), hi);
}

// ---- Steps 2-5, written once for points and for intervals -------------------

struct Interval {
    double lo;
    double hi;
};

double Magnitude(double v)
{
    return std::fabs(v);
}
double Magnitude(Interval v)
{
    return std::max(std::fabs(v.lo), std::fabs(v.hi));
}

double Widen(double v, double)
{
    return v;
}
Interval Widen(Interval v, double slack)
{
    return {v.lo - slack, v.hi + slack};
}

double Scale(double v, double k)
{
    return v * k;
}
Interval Scale(Interval v, double k)
{
    double a = v.lo * k;
    double b = v.hi * k;
    return {std::min(a, b), std::max(a, b)};
}

double Add(double a, double b)
{
    return a + b;
}
Interval Add(Interval a, Interval b)
{
    return {a.lo + b.lo, a.hi + b.hi};
}
Interval Add(Interval a, double b)
{
    return {a.lo + b, a.hi + b};
}

// Step 3 on one component: the clamped part raised to the exponent, the
// excess outside [0, 1] added back unchanged. The shader forms the power as
// exp2(g * log2 q); at q = 0 that is exp2(-inf) = 0 for every positive g.
double GammaInsideUnit(double b, double g)
{
    double q = Clamp(b, 0.0, 1.0);
    if (q == 0.0) {
        // log2(0) = -inf; a zero exponent makes the product NaN, which the
        // shader's exp2 turns into 0.
        return b + (g < 0.0 ? std::numeric_limits<double>::infinity() : 0.0);
    }
    return (b - q) + std::pow(q, g);
}

// For a positive exponent the step is non-decreasing in b, so the ends of
// the range map to the ends of the result.
Interval GammaRange(Interval b, double g)
{
    double a = GammaInsideUnit(b.lo, g);
    double c = GammaInsideUnit(b.hi, g);
    return {std::min(a, c), std::max(a, c)};
}
double GammaRange(double b, double g)
{
    return GammaInsideUnit(b, g);
}

// A value on a card whose arithmetic is only 24 bits wide: every product,
// sum, log and exp is rounded to a 24-bit float, and so is each constant it
// meets. mov_sat clamps exactly.
struct Card24 {
    double v;
};
double Magnitude(Card24 v)
{
    return std::fabs(v.v);
}
Card24 Widen(Card24 v, double)
{
    return v;
}
Card24 Scale(Card24 v, double k)
{
    return {Float24(v.v * Float24(k))};
}
Card24 Add(Card24 a, Card24 b)
{
    return {Float24(a.v + b.v)};
}
Card24 Add(Card24 a, double b)
{
    return {Float24(a.v + Float24(b))};
}
Card24 GammaRange(Card24 b, double g)
{
    // log2(0) = -inf, and exp2(-inf * g) = 0 for the positive exponents
    // the tracks give.
    const double q = Clamp(b.v, 0.0, 1.0);
    const double power = Float24(std::exp2(Float24(Float24(std::log2(q)) * Float24(g))));
    return {Float24(Float24(b.v - q) + power)};
}

template <class T>
struct Steps {
    T bgr[4];
    T gamma[4];
    T adjusted[4];
    T ycOut[4];
};

// out_i = sum_j m[4i + j] * in_j, widened by what a dp4 (four products, three
// sums, each rounded) may lose: four roundings of the sum of the terms' sizes.
template <class T>
void MatrixTimes(const float m[16], const T in[4], T out[4], double operation)
{
    for (int i = 0; i < 4; ++i) {
        T sum = Scale(in[0], m[4 * i]);
        double size = std::fabs(m[4 * i]) * Magnitude(in[0]);
        for (int j = 1; j < 4; ++j) {
            sum = Add(sum, Scale(in[j], m[4 * i + j]));
            size += std::fabs(m[4 * i + j]) * Magnitude(in[j]);
        }
        out[i] = Widen(sum, 4.0 * operation * size);
    }
}

// Relative error of exp2(g * log2 q), q in (0, 1]: log's error carried
// through g, the product's rounding and exp's own error. exp2(-inf) at
// q = 0 is exact.
double PowRelativeError(double q, double g, const GpuErrorBounds& e)
{
    if (!(q > 0.0)) {
        return 0.0;
    }
    double log2q = std::fabs(std::log2(q));
    double logError = e.log2Error * std::max(1.0, log2q);
    return 0.6931471805599453 * std::fabs(g) * (logError + e.operation * log2q) + e.exp2Error;
}

// What the power may be off by, absolutely. Over a range the error peaks at
// an end: the ranges are narrow, and the error's size grows with q wherever
// it matters.
double PowSlack(double, double, const GpuErrorBounds&)
{
    return 0.0;
}
double PowSlack(Card24, double, const GpuErrorBounds&)
{
    return 0.0;
}
double PowSlack(Interval b, double g, const GpuErrorBounds& e)
{
    double worst = 0.0;
    for (double end : {b.lo, b.hi}) {
        double q = Clamp(end, 0.0, 1.0);
        worst = std::max(worst, PowRelativeError(q, g, e) * std::pow(q, g));
    }
    return worst;
}

template <class T>
Steps<T> RunSteps2To5(const T yc[4], const CorrectionConstants& k, const GpuErrorBounds& e)
{
    const double u = e.operation;
    Steps<T> s;
    MatrixTimes(k.matYC2BGR, yc, s.bgr, u);
    for (int i = 0; i < 4; ++i) {
        // The power's own error, then the subtraction of the clamped part and
        // the addition of the power, each rounded.
        T g = GammaRange(s.bgr[i], k.bgrGamma[i]);
        s.gamma[i] =
            Widen(g, PowSlack(s.bgr[i], k.bgrGamma[i], e) + 2.0 * u * (Magnitude(s.bgr[i]) + 1.0));
        // mad: the product and the sum may each be rounded.
        T a = Add(Scale(s.gamma[i], k.bgrAmp[i]), static_cast<double>(k.bgrOffs[i]));
        s.adjusted[i] = Widen(
            a,
            2.0 * u * (Magnitude(s.gamma[i]) * std::fabs(k.bgrAmp[i]) + std::fabs(k.bgrOffs[i])));
    }
    MatrixTimes(k.matBGR2YC, s.adjusted, s.ycOut, u);
    return s;
}

// ---- Step 1 -----------------------------------------------------------------

// What becomes of each operation's result and of each constant the shader
// reads: kept as it is in the default model, rounded to 24-bit floats on a
// loose card.
using Rounding = double (*)(double);
double AsComputed(double v)
{
    return v;
}

Vec4d DecodeSample(const Vec4d& s, const CorrectionConstants& k, HostCoding source, Rounding op)
{
    Vec4d yc{};
    for (int i = 0; i < 4; ++i) {
        const double amp = op(k.ycAmp[i]);
        const double offs = op(k.ycOffs[i]);
        switch (source) {
        case HostCoding::unsignedWord: {
            // Back to the unsigned word, then to the host's signed integer:
            // words 32768 and above were negative values; the edge lies
            // between 32767 and 32768.
            double n = op(s.c[i] * 65535.0);
            if (op(n - kDecodeWrapWord) >= 0.0) {
                n = op(n - 65536.0);
            }
            yc.c[i] = op(op(n * amp) * 0.000244140625 + offs);
            break;
        }
        case HostCoding::signedWord:
            yc.c[i] = op(op(op(s.c[i] * amp) * op(kS16Decode)) + offs);
            break;
        default:  // the value itself; a packed word is never sampled
            yc.c[i] = op(op(s.c[i] * amp) + offs);
            break;
        }
    }
    return yc;
}

// What step 1 may lose. The integer paths rebuild the 16-bit word first
// (sampler conversion, times 65535, minus 32767.5) and only then subtract
// 65536 from the upper half, so their rounding errors scale with the word,
// up to 65535, not with the host value that remains: near the wrap a small
// result carries the error of a large word. Then the gain's multiply and
// the offset's add, each rounded.
double DecodeSlack(double sampled, double yc, const CorrectionConstants& k, int i,
                   HostCoding source, double operation)
{
    double amp = std::fabs(k.ycAmp[i]);
    double rest = 2.0 * operation * (std::fabs(yc) + std::fabs(k.ycOffs[i]));
    switch (source) {
    case HostCoding::unsignedWord:
        return 3.0 * operation * std::fabs(sampled) * 65535.0 * amp * 0.000244140625 + rest;
    case HostCoding::signedWord:
        return 3.0 * operation * std::fabs(sampled) * amp * kS16Decode + rest;
    default:  // the value itself
        return operation * std::fabs(sampled) * amp + rest;
    }
}

// ---- Step 6 -----------------------------------------------------------------

// Wrapping and splitting decide half a code below a valid code, so each
// encoding is round to nearest across them: a U16 result in (-0.5, 0) goes
// out negative and the target stores 0; U10 chroma in (-0.5, 0) likewise;
// Y12 from 1023.5 to 1024 carries into the high field and stores 1024.
Vec4d Encode(const Vec4d& yc, HostCoding target, Rounding op)
{
    Vec4d out = yc;
    switch (target) {
    case HostCoding::scaledValue:
        break;
    case HostCoding::unsignedWord: {
        const double scale = op(kInv65535f);
        for (int i = 0; i < 4; ++i) {
            // Negative host values go out as their two's-complement word, so
            // the unsigned target stores the host's bit pattern.
            double o = Clamp(op(yc.c[i] * 4096.0), -32768.0, 32767.0);
            if (op(o + kHalfStep) < 0.0) {
                o = op(o + 65536.0);
            }
            out.c[i] = op(o * scale);
        }
        break;
    }
    case HostCoding::signedWord:
        for (int i = 0; i < 4; ++i) {
            out.c[i] = op(yc.c[i] * op(kS16Encode));
        }
        break;
    case HostCoding::packed12_10_10: {
        // Y travels as a 12-bit number split over the 10-bit B field (low
        // part) and the 2-bit alpha (high part); Cb and Cr as 10-bit two's
        // complement in G and R.
        double y12 = Clamp(op(op(yc.c[1] * 2048.0) + 1024.0), 0.0, 4095.0);
        double c10[2] = {Clamp(op(yc.c[2] * 512.0), -512.0, 511.0),
                         Clamp(op(yc.c[3] * 512.0), -512.0, 511.0)};
        for (double& c : c10) {
            if (op(c + kHalfStep) < 0.0) {
                c = op(c + 1024.0);
            }
        }
        // frc and a subtraction for the floor, both exact in binary floats;
        // lo * 1024 - 0.5 is the low field's code, -0.5 up to 1023.5.
        double t = op(op(y12 + kHalfStep) * 0.0009765625);
        double lo = t - std::floor(t);
        double hi = t - lo;
        out.c[0] = op(c10[1] * op(kInv1023f));
        out.c[1] = op(c10[0] * op(kInv1023f));
        out.c[2] = op(op(lo * op(kLowFieldScale)) + op(-kHalfStep * kInv1023f));
        out.c[3] = op(hi * op(kThirdf));
        break;
    }
    }
    return out;
}

int16_t LowBits16(int32_t v)
{
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu));
}

// The download of a target texel before the cut to 16 bits.
void UnpackUnwrapped(const Texel& t, const TexelRule& target, const ReferenceRules& rules,
                     int32_t out[3])
{
    for (int i = 0; i < 3; ++i) {
        out[i] = target.unpack(t, i + 1, rules.floatUnpack);
    }
}

// Widens a step-5 result by what the encoding's float steps may add. The
// integer encodings work on the host's scale, where wrapping a negative
// value adds 65536 (16.0 on the common scale), and end with a multiply (the
// U10 low field with a multiply and an add, after the half-code shift of
// Y12); the float targets take the result as it is.
Interval EncodeSlack(Interval v, HostCoding target, double operation)
{
    return target == HostCoding::scaledValue ? v
                                             : Widen(v, 2.0 * operation * (Magnitude(v) + 16.0));
}

// The roundings the accepted range spans for a target: each conformant one
// its rule has, and a normalised target's nearest a little either side.
int TargetRoundings(const TexelRule& target, const GpuErrorBounds& e, TargetRounding out[8])
{
    const double bias = std::max(0.0, e.normTargetSteps - 0.5);
    const HalfRounding exactHalf[] = {HalfRounding::nearestEven};
    const Unorm10Rule exactField[] = {Unorm10Rule::nearest};
    const double biases[] = {-bias, bias};
    int n = 0;
    for (HalfRounding half :
         target.halfRoundings ? Span(conformantHalfRoundings) : Span(exactHalf)) {
        for (Unorm10Rule field :
             target.unorm10Roundings ? Span(conformantUnorm10Rules) : Span(exactField)) {
            for (int b = 0; b < (target.normalised ? 2 : 1); ++b) {
                out[n++] = {half, field, target.normalised ? biases[b] : 0.0};
            }
        }
    }
    return n;
}

}  // namespace

// ---- 24-bit floats -------------------------------------------------------------

double Float24(double value)
{
    if (value == 0.0 || !std::isfinite(value)) {
        return value;
    }
    int e = 0;
    std::frexp(value, &e);  // |value| = m * 2^e, m in [0.5, 1)
    if (e - 1 < -62) {
        return std::copysign(0.0, value);
    }
    const double quantum = std::ldexp(1.0, e - 17);  // 17 significant bits
    const double r = RoundHalfToEven(value / quantum) * quantum;
    return std::fabs(r) < 0x1p64 ? r : std::copysign(INFINITY, value);
}

// ---- Stages -------------------------------------------------------------------

Texel PackSourceTexel(YCTriple pixel, TextureFormatKind kind)
{
    const int16_t v[4] = {0, pixel.y, pixel.cb, pixel.cr};
    return SourceOf(kind).pack(v);
}

Vec4d SampleSourceTexel(const Texel& texel, TextureFormatKind kind)
{
    Vec4d s{};
    const TexelRule& source = SourceOf(kind);
    for (int i = 0; i < 4; ++i) {
        s.c[i] = source.sample(texel, i);
    }
    return s;
}

Vec4d EncodeForTarget(const Vec4d& yc, TextureFormatKind kind)
{
    return Encode(yc, TargetOf(kind).coding, AsComputed);
}

ShaderTrace ShadeTexel(const Vec4d& sampled, const CorrectionConstants& constants,
                       TextureFormatKind kind)
{
    ShaderTrace t{};
    t.yc = DecodeSample(sampled, constants, SourceOf(kind).coding, AsComputed);
    Steps<double> s = RunSteps2To5<double>(t.yc.c, constants, exactArithmetic);
    for (int i = 0; i < 4; ++i) {
        t.bgr.c[i] = s.bgr[i];
        t.gamma.c[i] = s.gamma[i];
        t.adjusted.c[i] = s.adjusted[i];
        t.ycOut.c[i] = s.ycOut[i];
    }
    t.output = EncodeForTarget(t.ycOut, kind);
    return t;
}

ShaderTrace ShadeTexelOnLooseCard(const Vec4d& sampled, const CorrectionConstants& constants,
                                  TextureFormatKind kind, const LooseCard& card)
{
    Vec4d s = sampled;
    if (card.samplerSteps != 0) {
        const float toward = card.samplerSteps > 0 ? INFINITY : -INFINITY;
        for (double& c : s.c) {
            float f = static_cast<float>(c);
            for (int n = 0; n < std::abs(card.samplerSteps); ++n) {
                f = std::nextafter(f, toward);
            }
            c = f;
        }
    }
    if (!card.float24) {
        return ShadeTexel(s, constants, kind);
    }
    for (double& c : s.c) {
        c = Float24(c);
    }
    ShaderTrace t{};
    t.yc = DecodeSample(s, constants, SourceOf(kind).coding, Float24);
    Card24 yc[4];
    for (int i = 0; i < 4; ++i) {
        yc[i] = {t.yc.c[i]};
    }
    Steps<Card24> steps = RunSteps2To5<Card24>(yc, constants, exactArithmetic);
    for (int i = 0; i < 4; ++i) {
        t.bgr.c[i] = steps.bgr[i].v;
        t.gamma.c[i] = steps.gamma[i].v;
        t.adjusted.c[i] = steps.adjusted[i].v;
        t.ycOut.c[i] = steps.ycOut[i].v;
    }
    t.output = Encode(t.ycOut, TargetOf(kind).coding, Float24);
    return t;
}

Texel StoreTargetTexel(const Vec4d& out, TextureFormatKind kind, const ReferenceRules& rules)
{
    return TargetOf(kind).store(out.c, TargetRounding{rules.halfTarget, rules.unorm10Target, 0.0});
}

YCTriple UnpackTargetTexel(const Texel& texel, TextureFormatKind kind, const ReferenceRules& rules)
{
    int32_t v[3];
    UnpackUnwrapped(texel, TargetOf(kind), rules, v);
    return {LowBits16(v[0]), LowBits16(v[1]), LowBits16(v[2])};
}

ReferenceResult RunReference(YCTriple pixel, const CorrectionConstants& constants,
                             TextureFormatKind kind, const ReferenceRules& rules)
{
    ReferenceResult r{};
    r.source = PackSourceTexel(pixel, kind);
    r.sampled = SampleSourceTexel(r.source, kind);
    r.shader = ShadeTexel(r.sampled, constants, kind);
    r.target = StoreTargetTexel(r.shader.output, kind, rules);
    r.host = UnpackTargetTexel(r.target, kind, rules);

    // The same steps over ranges: each step widened by what float arithmetic
    // may lose, then the ends pushed through the target and the download.
    // Each host channel is a non-decreasing function of its own step-5
    // component (the wrap-arounds in the encodings are undone by the
    // decodings), so the ends give the ends.
    const TexelRule& source = SourceOf(kind);
    const TexelRule& target = TargetOf(kind);
    const GpuErrorBounds& e = rules.errors;
    Interval yc[4];
    for (int i = 0; i < 4; ++i) {
        yc[i] = Widen(Interval{r.shader.yc.c[i], r.shader.yc.c[i]},
                      DecodeSlack(r.sampled.c[i], r.shader.yc.c[i], constants, i, source.coding,
                                  e.operation));
    }
    Steps<Interval> s = RunSteps2To5<Interval>(yc, constants, e);
    Vec4d lowEnd{};
    Vec4d highEnd{};
    for (int i = 0; i < 4; ++i) {
        Interval v = EncodeSlack(s.ycOut[i], target.coding, e.operation);
        lowEnd.c[i] = v.lo;
        highEnd.c[i] = v.hi;
    }

    for (int c = 0; c < 3; ++c) {
        r.accepted.lo[c] = std::numeric_limits<int32_t>::max();
        r.accepted.hi[c] = std::numeric_limits<int32_t>::min();
    }
    const Vec4d lowOut = EncodeForTarget(lowEnd, kind);
    const Vec4d highOut = EncodeForTarget(highEnd, kind);
    TargetRounding roundings[8];
    int count = TargetRoundings(target, e, roundings);
    for (int m = 0; m < count; ++m) {
        int32_t lo[3];
        int32_t hi[3];
        UnpackUnwrapped(target.store(lowOut.c, roundings[m]), target, rules, lo);
        UnpackUnwrapped(target.store(highOut.c, roundings[m]), target, rules, hi);
        for (int c = 0; c < 3; ++c) {
            r.accepted.lo[c] = std::min(r.accepted.lo[c], lo[c]);
            r.accepted.hi[c] = std::max(r.accepted.hi[c], hi[c]);
        }
    }
    return r;
}

ExactHostPixel ExactHostValue(YCTriple pixel, const CorrectionConstants& constants)
{
    const Vec4d scaled = {
        {0.0, pixel.y * 0.000244140625, pixel.cb * 0.000244140625, pixel.cr * 0.000244140625}};
    // The float path decodes a sample as it stands: no format in between.
    ShaderTrace trace = ShadeTexel(scaled, constants, kindF32);
    ExactHostPixel exact;
    for (int i = 0; i < 3; ++i) {
        exact.c[i] = trace.ycOut.c[i + 1] * 4096.0;
    }
    return exact;
}

bool HostPixelAccepted(const ReferenceResult& result, YCTriple actual)
{
    const int16_t v[3] = {actual.y, actual.cb, actual.cr};
    for (int c = 0; c < 3; ++c) {
        int64_t lo = result.accepted.lo[c];
        int64_t hi = result.accepted.hi[c];
        if (hi < lo) {
            return false;
        }
        if (hi - lo >= 65535) {
            continue;
        }
        // Distance from lo up to v on the 16-bit ring.
        int64_t d = (static_cast<int64_t>(v[c]) - lo) & 0xFFFF;
        if (d > hi - lo) {
            return false;
        }
    }
    return true;
}
