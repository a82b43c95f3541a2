#include "video/level_rows.h"

#include <emmintrin.h>

#include <cstring>

namespace {

constexpr int groupPixels = 8;

// The levels of depths 8..16 are whole numbers of codes.
uint32_t Whole(double value)
{
    return static_cast<uint32_t>(value);
}

CodeToHostSteps MakeCodeToHost(const Levels& levels)
{
    CodeToHostSteps steps;
    const uint64_t offset = Whole(levels.offset);
    const uint64_t perUnit = Whole(levels.codesPerUnit);
    const uint64_t maxCode = static_cast<uint64_t>(levels.maxCode);
    const uint64_t largestDistance = offset > maxCode - offset ? offset : maxCode - offset;
    // The finest steps for which the multiplier and the sum stay within 32
    // bits; at most 19, where the host's largest value, 4489 at 16 bits,
    // still fits.
    for (int shift = 19; shift > 0; --shift) {
        const uint64_t mul = ((uint64_t{4096} << (shift + 16)) + perUnit - 1) / perUnit;
        const uint64_t add = (uint64_t{1} << (shift - 1)) + 1;
        if (mul >> 32 == 0 && largestDistance * mul / 65536 + add < (uint64_t{1} << 32)) {
            steps.mulHigh = static_cast<uint16_t>(mul >> 16);
            steps.mulLow = static_cast<uint16_t>(mul);
            steps.add = static_cast<uint32_t>(add);
            steps.shift = shift;
            break;
        }
    }
    steps.offset = static_cast<uint16_t>(offset);
    steps.maxCode = static_cast<uint16_t>(maxCode);
    return steps;
}

HostToCodeSteps MakeHostToCode(const Levels& levels)
{
    HostToCodeSteps steps;
    const int32_t perUnit = static_cast<int32_t>(Whole(levels.codesPerUnit));
    steps.mul = static_cast<uint16_t>(perUnit);
    steps.add = static_cast<int32_t>(Whole(levels.offset)) * 4096 + 2048 - 8192 * perUnit -
                32768 * 4096;
    steps.maxBiased = static_cast<int16_t>(levels.maxCode - 32768);
    return steps;
}

// The steps spread over the lanes once per row.
struct CodeToHostLanes {
    __m128i maxCode, offset, mulHigh, mulLow, add, shift;
};

CodeToHostLanes Lanes(const CodeToHostSteps& s)
{
    return CodeToHostLanes{_mm_set1_epi16(static_cast<int16_t>(s.maxCode)),
                           _mm_set1_epi16(static_cast<int16_t>(s.offset)),
                           _mm_set1_epi16(static_cast<int16_t>(s.mulHigh)),
                           _mm_set1_epi16(static_cast<int16_t>(s.mulLow)),
                           _mm_set1_epi32(static_cast<int32_t>(s.add)),
                           _mm_cvtsi32_si128(s.shift)};
}

// Words above the depth's largest code are taken as it.
__m128i AtMost(__m128i codes, __m128i maxCode)
{
    return _mm_sub_epi16(codes, _mm_subs_epu16(codes, maxCode));
}

__m128i HostsOfCodes(__m128i codes, const CodeToHostLanes& s)
{
    const __m128i zero = _mm_setzero_si128();
    codes = AtMost(codes, s.maxCode);
    // Unsigned saturation leaves one of the two at zero.
    const __m128i above = _mm_subs_epu16(codes, s.offset);
    const __m128i below = _mm_subs_epu16(s.offset, codes);
    const __m128i distance = _mm_or_si128(above, below);
    const __m128i negative = _mm_andnot_si128(_mm_cmpeq_epi16(below, zero),
                                              _mm_cmpeq_epi16(zero, zero));

    const __m128i productLow = _mm_mullo_epi16(distance, s.mulHigh);
    const __m128i productHigh = _mm_mulhi_epu16(distance, s.mulHigh);
    const __m128i fine = _mm_mulhi_epu16(distance, s.mulLow);
    __m128i first = _mm_add_epi32(_mm_unpacklo_epi16(productLow, productHigh),
                                  _mm_unpacklo_epi16(fine, zero));
    __m128i second = _mm_add_epi32(_mm_unpackhi_epi16(productLow, productHigh),
                                   _mm_unpackhi_epi16(fine, zero));
    first = _mm_srl_epi32(_mm_add_epi32(first, s.add), s.shift);
    second = _mm_srl_epi32(_mm_add_epi32(second, s.add), s.shift);
    const __m128i magnitude = _mm_packs_epi32(first, second);
    return _mm_sub_epi16(_mm_xor_si128(magnitude, negative), negative);
}

struct HostToCodeLanes {
    __m128i mul, add, maxBiased;
};

HostToCodeLanes Lanes(const HostToCodeSteps& s)
{
    return HostToCodeLanes{_mm_set1_epi16(static_cast<int16_t>(s.mul)), _mm_set1_epi32(s.add),
                           _mm_set1_epi16(s.maxBiased)};
}

__m128i CodesOfHosts(__m128i hosts, const HostToCodeLanes& s)
{
    hosts = _mm_min_epi16(_mm_max_epi16(hosts, _mm_set1_epi16(-8192)), _mm_set1_epi16(8191));
    const __m128i moved = _mm_add_epi16(hosts, _mm_set1_epi16(8192));
    const __m128i productLow = _mm_mullo_epi16(moved, s.mul);
    const __m128i productHigh = _mm_mulhi_epu16(moved, s.mul);
    const __m128i first =
        _mm_srai_epi32(_mm_add_epi32(_mm_unpacklo_epi16(productLow, productHigh), s.add), 12);
    const __m128i second =
        _mm_srai_epi32(_mm_add_epi32(_mm_unpackhi_epi16(productLow, productHigh), s.add), 12);
    const __m128i biased = _mm_min_epi16(_mm_packs_epi32(first, second), s.maxBiased);
    return _mm_xor_si128(biased, _mm_set1_epi16(static_cast<int16_t>(0x8000)));
}

struct RowLanes {
    CodeToHostLanes lumaIn, chromaIn;
    HostToCodeLanes lumaOut, chromaOut;
};

RowLanes Lanes(const RowLevels& levels)
{
    return RowLanes{Lanes(levels.lumaIn), Lanes(levels.chromaIn), Lanes(levels.lumaOut),
                    Lanes(levels.chromaOut)};
}

template <typename Sample>
__m128i LoadCodes(const uint8_t* samples)
{
    if (sizeof(Sample) == 2) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples));
    }
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples)),
                             _mm_setzero_si128());
}

template <typename Sample>
void StoreCodes(__m128i codes, uint8_t* samples)
{
    if (sizeof(Sample) == 2) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples), codes);
    } else {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(samples), _mm_packus_epi16(codes, codes));
    }
}

// Y, Cb and Cr of eight pixels, as codes or as host values.
struct Channels {
    __m128i y, cb, cr;
};

// BT.601: the channels apart, each converted as soon as it is loaded, and
// stored as soon as it is converted, which keeps few registers busy.
template <typename Sample>
Channels HostsOfPlanes(const uint8_t* const planes[3], const RowLanes& lanes)
{
    return Channels{HostsOfCodes(LoadCodes<Sample>(planes[0]), lanes.lumaIn),
                    HostsOfCodes(LoadCodes<Sample>(planes[1]), lanes.chromaIn),
                    HostsOfCodes(LoadCodes<Sample>(planes[2]), lanes.chromaIn)};
}

template <typename Sample>
void PlanesOfHosts(const Channels& hosts, const RowLanes& lanes, uint8_t* const planes[3])
{
    StoreCodes<Sample>(CodesOfHosts(hosts.y, lanes.lumaOut), planes[0]);
    StoreCodes<Sample>(CodesOfHosts(hosts.cb, lanes.chromaOut), planes[1]);
    StoreCodes<Sample>(CodesOfHosts(hosts.cr, lanes.chromaOut), planes[2]);
}

// Another matrix than the host's: floats, four pixels at a time, in
// 32-bit lanes.
struct MatrixLanes {
    __m128 toHost[3][3];
    __m128 toCode[3][3];
    __m128i offset[3];
    __m128i codeAdd[3];  // offset - 32768, for the clamp of CodesOfHosts
    __m128i maxCode, maxBiased;
};

MatrixLanes MatrixLanesOf(const RowLevels& levels)
{
    const MatrixSteps& s = levels.matrixSteps;
    MatrixLanes lanes;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            lanes.toHost[i][j] = _mm_set1_ps(s.toHost[i][j]);
            lanes.toCode[i][j] = _mm_set1_ps(s.toCode[i][j]);
        }
        lanes.offset[i] = _mm_set1_epi32(s.offset[i]);
        lanes.codeAdd[i] = _mm_set1_epi32(s.offset[i] - 32768);
    }
    lanes.maxCode = _mm_set1_epi16(static_cast<int16_t>(levels.lumaIn.maxCode));
    lanes.maxBiased = _mm_set1_epi16(levels.lumaOut.maxBiased);
    return lanes;
}

// Four of the eight pixels in 32-bit lanes, as floats.
struct Four {
    __m128 y, cb, cr;
};

// The low or the high four of eight codes, widened to 32 bits.
__m128i HalfOfCodes(__m128i codes, bool high)
{
    const __m128i zero = _mm_setzero_si128();
    return high ? _mm_unpackhi_epi16(codes, zero) : _mm_unpacklo_epi16(codes, zero);
}

// The same of host values, with their signs: each word goes to the top of
// a lane and is shifted back down arithmetically.
__m128i HalfOfHosts(__m128i hosts, bool high)
{
    const __m128i doubled = high ? _mm_unpackhi_epi16(hosts, hosts)
                                 : _mm_unpacklo_epi16(hosts, hosts);
    return _mm_srai_epi32(doubled, 16);
}

Four DistancesOf(const Channels& codes, bool high, const MatrixLanes& s)
{
    return Four{_mm_cvtepi32_ps(_mm_sub_epi32(HalfOfCodes(codes.y, high), s.offset[0])),
                _mm_cvtepi32_ps(_mm_sub_epi32(HalfOfCodes(codes.cb, high), s.offset[1])),
                _mm_cvtepi32_ps(_mm_sub_epi32(HalfOfCodes(codes.cr, high), s.offset[2]))};
}

Four FloatsOf(const Channels& hosts, bool high)
{
    return Four{_mm_cvtepi32_ps(HalfOfHosts(hosts.y, high)),
                _mm_cvtepi32_ps(HalfOfHosts(hosts.cb, high)),
                _mm_cvtepi32_ps(HalfOfHosts(hosts.cr, high))};
}

// One row of a 3x3 map on four pixels, rounded. cvtps rounds to nearest
// (halves to even) by the MXCSR's default; Direct3D's precision setting is
// the x87's and leaves it alone.
__m128i MapRow(const __m128 row[3], const Four& in)
{
    const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_mul_ps(row[0], in.y), _mm_mul_ps(row[1], in.cb)),
                                  _mm_mul_ps(row[2], in.cr));
    return _mm_cvtps_epi32(sum);
}

template <typename Sample>
Channels HostsOfPlanes(const uint8_t* const planes[3], const MatrixLanes& s)
{
    const Channels codes = {AtMost(LoadCodes<Sample>(planes[0]), s.maxCode),
                            AtMost(LoadCodes<Sample>(planes[1]), s.maxCode),
                            AtMost(LoadCodes<Sample>(planes[2]), s.maxCode)};
    const Four low = DistancesOf(codes, false, s);
    const Four high = DistancesOf(codes, true, s);
    // Signed saturation clamps to int16 as HostFromCodes does.
    return Channels{_mm_packs_epi32(MapRow(s.toHost[0], low), MapRow(s.toHost[0], high)),
                    _mm_packs_epi32(MapRow(s.toHost[1], low), MapRow(s.toHost[1], high)),
                    _mm_packs_epi32(MapRow(s.toHost[2], low), MapRow(s.toHost[2], high))};
}

// Channel `i` of eight pixels: the offset, less 32768, goes on as an
// integer, and the codes are clamped as in CodesOfHosts above.
__m128i CodesOfChannel(int i, const Four& low, const Four& high, const MatrixLanes& s)
{
    const __m128i biased = _mm_packs_epi32(_mm_add_epi32(MapRow(s.toCode[i], low), s.codeAdd[i]),
                                           _mm_add_epi32(MapRow(s.toCode[i], high), s.codeAdd[i]));
    return _mm_xor_si128(_mm_min_epi16(biased, s.maxBiased),
                         _mm_set1_epi16(static_cast<int16_t>(0x8000)));
}

template <typename Sample>
void PlanesOfHosts(const Channels& hosts, const MatrixLanes& s, uint8_t* const planes[3])
{
    const Four low = FloatsOf(hosts, false);
    const Four high = FloatsOf(hosts, true);
    for (int i = 0; i < 3; ++i) {
        StoreCodes<Sample>(CodesOfChannel(i, low, high, s), planes[i]);
    }
}

// Eight pixels from eight samples of each plane, by the conversion of
// RowLanes (BT.601) or MatrixLanes. Each pixel is stored as 8 bytes, Y Cb
// Cr and a word that the next pixel's store overwrites: the group writes 2
// bytes past its eighth pixel.
template <typename Sample, typename Conversion>
void DecodeGroup(const uint8_t* const planes[3], const Conversion& lanes, YCPixel* pixels)
{
    const Channels hosts = HostsOfPlanes<Sample>(planes, lanes);
    const __m128i lumaCbLow = _mm_unpacklo_epi16(hosts.y, hosts.cb);
    const __m128i lumaCbHigh = _mm_unpackhi_epi16(hosts.y, hosts.cb);
    const __m128i crLow = _mm_unpacklo_epi16(hosts.cr, hosts.cr);
    const __m128i crHigh = _mm_unpackhi_epi16(hosts.cr, hosts.cr);
    const __m128i pairs[4] = {
        _mm_unpacklo_epi32(lumaCbLow, crLow), _mm_unpackhi_epi32(lumaCbLow, crLow),
        _mm_unpacklo_epi32(lumaCbHigh, crHigh), _mm_unpackhi_epi32(lumaCbHigh, crHigh)};
    for (int i = 0; i < 4; ++i) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 2 * i), pairs[i]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 2 * i + 1),
                         _mm_unpackhi_epi64(pairs[i], pairs[i]));
    }
}

// Eight pixels into eight samples of each plane. Each pixel is loaded as 8
// bytes, so the group reads 2 bytes past its eighth pixel.
template <typename Sample, typename Conversion>
void EncodeGroup(const YCPixel* pixels, const Conversion& lanes, uint8_t* const planes[3])
{
    __m128i pairs[4];  // Y Cb Cr - of two pixels each
    for (int i = 0; i < 4; ++i) {
        pairs[i] = _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels + 2 * i)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels + 2 * i + 1)));
    }
    // A transpose: pixels 0 2 with 1 3, and 4 6 with 5 7.
    const __m128i a = _mm_unpacklo_epi16(pairs[0], pairs[1]);  // Y0 Y2 Cb0 Cb2 Cr0 Cr2 - -
    const __m128i b = _mm_unpackhi_epi16(pairs[0], pairs[1]);  // Y1 Y3 Cb1 Cb3 Cr1 Cr3 - -
    const __m128i c = _mm_unpacklo_epi16(pairs[2], pairs[3]);
    const __m128i d = _mm_unpackhi_epi16(pairs[2], pairs[3]);
    const __m128i lumaCbLow = _mm_unpacklo_epi16(a, b);   // Y0..Y3 Cb0..Cb3
    const __m128i lumaCbHigh = _mm_unpacklo_epi16(c, d);  // Y4..Y7 Cb4..Cb7
    const Channels hosts = {_mm_unpacklo_epi64(lumaCbLow, lumaCbHigh),
                            _mm_unpackhi_epi64(lumaCbLow, lumaCbHigh),
                            _mm_unpacklo_epi64(_mm_unpackhi_epi16(a, b), _mm_unpackhi_epi16(c, d))};
    PlanesOfHosts<Sample>(hosts, lanes, planes);
}

template <typename Sample, typename Conversion>
void DecodeRow(const uint8_t* const planes[3], int width, const Conversion& lanes, YCPixel* pixels)
{
    // Whole groups while the 2 bytes past each stay inside the row; the
    // rest (1 to 8 pixels) through copies.
    int x = 0;
    for (; x + groupPixels < width; x += groupPixels) {
        const size_t at = static_cast<size_t>(x) * sizeof(Sample);
        const uint8_t* const group[3] = {planes[0] + at, planes[1] + at, planes[2] + at};
        DecodeGroup<Sample>(group, lanes, pixels + x);
    }
    const size_t rest = static_cast<size_t>(width - x);
    uint8_t samples[3][groupPixels * sizeof(Sample)] = {};
    YCPixel result[groupPixels + 1];
    const uint8_t* const group[3] = {samples[0], samples[1], samples[2]};
    for (int p = 0; p < 3; ++p) {
        std::memcpy(samples[p], planes[p] + x * sizeof(Sample), rest * sizeof(Sample));
    }
    DecodeGroup<Sample>(group, lanes, result);
    std::memcpy(pixels + x, result, rest * sizeof(YCPixel));
}

template <typename Sample, typename Conversion>
void EncodeRow(const YCPixel* pixels, int width, const Conversion& lanes, uint8_t* const planes[3])
{
    int x = 0;
    for (; x + groupPixels < width; x += groupPixels) {
        const size_t at = static_cast<size_t>(x) * sizeof(Sample);
        uint8_t* const group[3] = {planes[0] + at, planes[1] + at, planes[2] + at};
        EncodeGroup<Sample>(pixels + x, lanes, group);
    }
    const size_t rest = static_cast<size_t>(width - x);
    YCPixel source[groupPixels + 1] = {};
    uint8_t samples[3][groupPixels * sizeof(Sample)];
    uint8_t* const group[3] = {samples[0], samples[1], samples[2]};
    std::memcpy(source, pixels + x, rest * sizeof(YCPixel));
    EncodeGroup<Sample>(source, lanes, group);
    for (int p = 0; p < 3; ++p) {
        std::memcpy(planes[p] + x * sizeof(Sample), samples[p], rest * sizeof(Sample));
    }
}

MatrixSteps MakeMatrixSteps(VideoMatrix matrix, const Levels& luma, const Levels& chroma)
{
    MatrixSteps steps;
    const MatrixMap& map = MapOfMatrix(matrix);
    const Levels* const levels[3] = {&luma, &chroma, &chroma};
    for (int i = 0; i < 3; ++i) {
        steps.offset[i] = static_cast<int32_t>(Whole(levels[i]->offset));
        for (int j = 0; j < 3; ++j) {
            steps.toHost[i][j] =
                static_cast<float>(map.toHost[i][j] * 4096.0 / levels[j]->codesPerUnit);
            steps.toCode[i][j] =
                static_cast<float>(map.toStream[i][j] * levels[i]->codesPerUnit / 4096.0);
        }
    }
    return steps;
}

template <typename Sample>
void DecodeRowOf(const uint8_t* const planes[3], int width, const RowLevels& levels,
                 YCPixel* pixels)
{
    if (levels.matrix == VideoMatrix::bt601) {
        DecodeRow<Sample>(planes, width, Lanes(levels), pixels);
    } else {
        DecodeRow<Sample>(planes, width, MatrixLanesOf(levels), pixels);
    }
}

template <typename Sample>
void EncodeRowOf(const YCPixel* pixels, int width, const RowLevels& levels,
                 uint8_t* const planes[3])
{
    if (levels.matrix == VideoMatrix::bt601) {
        EncodeRow<Sample>(pixels, width, Lanes(levels), planes);
    } else {
        EncodeRow<Sample>(pixels, width, MatrixLanesOf(levels), planes);
    }
}

}  // namespace

RowLevels MakeRowLevels(int depth, VideoRange range, VideoMatrix matrix)
{
    RowLevels r;
    r.depth = depth;
    r.range = range;
    r.matrix = matrix;
    const Levels luma = LumaLevels(depth, range);
    const Levels chroma = ChromaLevels(depth, range);
    r.lumaIn = MakeCodeToHost(luma);
    r.chromaIn = MakeCodeToHost(chroma);
    r.lumaOut = MakeHostToCode(luma);
    r.chromaOut = MakeHostToCode(chroma);
    if (matrix != VideoMatrix::bt601) {
        r.matrixSteps = MakeMatrixSteps(matrix, luma, chroma);
    }
    return r;
}

void PixelsFromPlanes(const uint8_t* const planes[3], int width, const RowLevels& levels,
                      YCPixel* pixels)
{
    if (levels.depth > 8) {
        DecodeRowOf<uint16_t>(planes, width, levels, pixels);
    } else {
        DecodeRowOf<uint8_t>(planes, width, levels, pixels);
    }
}

void PlanesFromPixels(const YCPixel* pixels, int width, const RowLevels& levels,
                      uint8_t* const planes[3])
{
    if (levels.depth > 8) {
        EncodeRowOf<uint16_t>(pixels, width, levels, planes);
    } else {
        EncodeRowOf<uint8_t>(pixels, width, levels, planes);
    }
}
