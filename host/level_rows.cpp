#include "level_rows.h"

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

__m128i HostsOfCodes(__m128i codes, const CodeToHostLanes& s)
{
    const __m128i zero = _mm_setzero_si128();
    codes = _mm_sub_epi16(codes, _mm_subs_epu16(codes, s.maxCode));  // min(code, maxCode)
    // Unsigned saturation leaves one of the two at zero.
    const __m128i above = _mm_subs_epu16(codes, s.offset);
    const __m128i below = _mm_subs_epu16(s.offset, codes);
    const __m128i distance = _mm_or_si128(above, below);
    const __m128i negative =
        _mm_andnot_si128(_mm_cmpeq_epi16(below, zero), _mm_cmpeq_epi16(zero, zero));

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

// Eight pixels from eight samples of each plane. Each pixel is stored as 8
// bytes, Y Cb Cr and a word that the next pixel's store overwrites: the
// group writes 2 bytes past its eighth pixel.
template <typename Sample>
void DecodeGroup(const uint8_t* const planes[3], const RowLanes& lanes, YCPixel* pixels)
{
    const __m128i luma = HostsOfCodes(LoadCodes<Sample>(planes[0]), lanes.lumaIn);
    const __m128i cb = HostsOfCodes(LoadCodes<Sample>(planes[1]), lanes.chromaIn);
    const __m128i cr = HostsOfCodes(LoadCodes<Sample>(planes[2]), lanes.chromaIn);
    const __m128i lumaCbLow = _mm_unpacklo_epi16(luma, cb);
    const __m128i lumaCbHigh = _mm_unpackhi_epi16(luma, cb);
    const __m128i crLow = _mm_unpacklo_epi16(cr, cr);
    const __m128i crHigh = _mm_unpackhi_epi16(cr, cr);
    const __m128i pairs[4] = {_mm_unpacklo_epi32(lumaCbLow, crLow), _mm_unpackhi_epi32(lumaCbLow, crLow),
                              _mm_unpacklo_epi32(lumaCbHigh, crHigh), _mm_unpackhi_epi32(lumaCbHigh, crHigh)};
    for (int i = 0; i < 4; ++i) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 2 * i), pairs[i]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 2 * i + 1),
                         _mm_unpackhi_epi64(pairs[i], pairs[i]));
    }
}

// Eight pixels into eight samples of each plane. Each pixel is loaded as 8
// bytes, so the group reads 2 bytes past its eighth pixel.
template <typename Sample>
void EncodeGroup(const YCPixel* pixels, const RowLanes& lanes, uint8_t* const planes[3])
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
    const __m128i cr = _mm_unpacklo_epi64(_mm_unpackhi_epi16(a, b), _mm_unpackhi_epi16(c, d));
    StoreCodes<Sample>(CodesOfHosts(_mm_unpacklo_epi64(lumaCbLow, lumaCbHigh), lanes.lumaOut),
                       planes[0]);
    StoreCodes<Sample>(CodesOfHosts(_mm_unpackhi_epi64(lumaCbLow, lumaCbHigh), lanes.chromaOut),
                       planes[1]);
    StoreCodes<Sample>(CodesOfHosts(cr, lanes.chromaOut), planes[2]);
}

template <typename Sample>
void DecodeRow(const uint8_t* const planes[3], int width, const RowLanes& lanes, YCPixel* pixels)
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

template <typename Sample>
void EncodeRow(const YCPixel* pixels, int width, const RowLanes& lanes, uint8_t* const planes[3])
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

}  // namespace

RowLevels MakeRowLevels(int depth, VideoRange range)
{
    RowLevels r;
    r.depth = depth;
    r.range = range;
    const Levels luma = LumaLevels(depth, range);
    const Levels chroma = ChromaLevels(depth, range);
    r.lumaIn = MakeCodeToHost(luma);
    r.chromaIn = MakeCodeToHost(chroma);
    r.lumaOut = MakeHostToCode(luma);
    r.chromaOut = MakeHostToCode(chroma);
    return r;
}

void PixelsFromPlanes(const uint8_t* const planes[3], int width, const RowLevels& levels,
                      YCPixel* pixels)
{
    const RowLanes lanes = Lanes(levels);
    if (levels.depth > 8) {
        DecodeRow<uint16_t>(planes, width, lanes, pixels);
    } else {
        DecodeRow<uint8_t>(planes, width, lanes, pixels);
    }
}

void PlanesFromPixels(const YCPixel* pixels, int width, const RowLevels& levels,
                      uint8_t* const planes[3])
{
    const RowLanes lanes = Lanes(levels);
    if (levels.depth > 8) {
        EncodeRow<uint16_t>(pixels, width, lanes, planes);
    } else {
        EncodeRow<uint8_t>(pixels, width, lanes, planes);
    }
}
