#include "converter_test_support.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#if defined(KELVO_ROW_BANDS)
#include "engine/row_bands.h"
#include "engine/sse_probe.h"
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define KELVO_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define KELVO_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define KELVO_POISON(p, n) ((void)(p), (void)(n))
#define KELVO_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

AlignedBytes AllocateExact(size_t size, unsigned char fill)
{
    AlignedBytes p(
        static_cast<unsigned char*>(::operator new (size == 0 ? 1 : size, std::align_val_t{16})));
    std::memset(p.get(), fill, size);
    return p;
}

size_t TexelBufferBytes(const Frame& f)
{
    return static_cast<size_t>(f.g.texelPitch) * (f.g.height > 0 ? f.g.height : 1);
}

Frame MakeFrame(const Geometry& g, int32_t texelBytes, unsigned char hostFill,
                unsigned char texelFill)
{
    Frame f{g, texelBytes, {}, nullptr};
    const size_t rows = g.height > 0 ? static_cast<size_t>(g.height) : 1;
    f.host.resize(static_cast<size_t>(g.hostPitch) * rows);
    std::memset(f.host.data(), hostFill, f.host.size() * sizeof(YCPixel));
    f.texels = AllocateExact(static_cast<size_t>(g.texelPitch) * rows, texelFill);
    return f;
}

unsigned char* TexelAt(Frame& f, int32_t row, int32_t column)
{
    return f.texels.get() + row * TexelRowStride(f.g.texelPitch, f.texelBytes) +
           static_cast<size_t>(column) * f.texelBytes;
}

YCPixel& HostAt(Frame& f, int32_t row, int32_t column)
{
    return f.host[static_cast<size_t>(row) * f.g.hostPitch + column];
}

namespace {

size_t TexelStride(const Frame& f)
{
    return static_cast<size_t>(TexelRowStride(f.g.texelPitch, f.texelBytes));
}

// Visits [begin, end) byte ranges past the width of each row.
template <typename Visit>
void ForHostMargins(const Frame& f, Visit visit)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(f.host.data());
    const size_t rowBytes = static_cast<size_t>(f.g.hostPitch) * sizeof(YCPixel);
    const size_t used = static_cast<size_t>(f.g.width > 0 ? f.g.width : 0) * sizeof(YCPixel);
    for (size_t r = 0; r * rowBytes < f.host.size() * sizeof(YCPixel); ++r) {
        visit(base + r * rowBytes + used, base + (r + 1) * rowBytes);
    }
}

template <typename Visit>
void ForTexelMargins(const Frame& f, Visit visit)
{
    const size_t stride = TexelStride(f);
    const size_t used = static_cast<size_t>(f.g.width > 0 ? f.g.width : 0) * f.texelBytes;
    const size_t rows = f.g.height > 0 ? static_cast<size_t>(f.g.height) : 1;
    const size_t total = static_cast<size_t>(f.g.texelPitch) * rows;
    for (size_t r = 0; r * stride < total && stride > 0; ++r) {
        const size_t end = r + 1 < rows ? (r + 1) * stride : total;
        visit(f.texels.get() + r * stride + used, f.texels.get() + end);
    }
}

bool AllBytes(const unsigned char* begin, const unsigned char* end, unsigned char fill)
{
    for (const unsigned char* p = begin; p < end; ++p) {
        if (*p != fill) {
            return false;
        }
    }
    return true;
}

}  // namespace

void PoisonHostMargins(Frame& f)
{
    ForHostMargins(f, [](const unsigned char* b, const unsigned char* e) {
        if (e > b) KELVO_POISON(b, static_cast<size_t>(e - b));
    });
}

void PoisonTexelMargins(Frame& f)
{
    ForTexelMargins(f, [](const unsigned char* b, const unsigned char* e) {
        if (e > b) KELVO_POISON(b, static_cast<size_t>(e - b));
    });
}

void UnpoisonMargins(Frame& f)
{
    KELVO_UNPOISON(f.host.data(), f.host.size() * sizeof(YCPixel));
    const size_t rows = f.g.height > 0 ? static_cast<size_t>(f.g.height) : 1;
    KELVO_UNPOISON(f.texels.get(), static_cast<size_t>(f.g.texelPitch) * rows);
}

bool HostMarginsHold(const Frame& f, unsigned char fill)
{
    bool hold = true;
    ForHostMargins(f, [&](const unsigned char* b, const unsigned char* e) {
        hold = hold && AllBytes(b, e, fill);
    });
    return hold;
}

bool TexelMarginsHold(const Frame& f, unsigned char fill)
{
    bool hold = true;
    ForTexelMargins(f, [&](const unsigned char* b, const unsigned char* e) {
        hold = hold && AllBytes(b, e, fill);
    });
    return hold;
}

namespace {

// The converter of a row (plain, then SSE where it is another function)
// added to the list, or the row's kind added to its name.
template <typename Converter>
void AddConverter(std::vector<Converter>* list, const char* kind, const Converter& converter)
{
    for (Converter& c : *list) {
        if (c.run == converter.run) {
            c.name.insert(c.name.find(' '), std::string("/") + kind);
            return;
        }
    }
    list->push_back(converter);
}

template <typename Converter>
std::vector<Converter> EveryConverter(Converter (*of)(TextureFormatKind, bool))
{
    std::vector<Converter> list;
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        for (bool sse : {false, true}) {
            AddConverter(&list, formatKinds[kind].name,
                         of(static_cast<TextureFormatKind>(kind), sse));
        }
    }
    return list;
}

}  // namespace

std::vector<PackConverter> PackConverters()
{
    return EveryConverter(PackOf);
}

std::vector<UnpackConverter> UnpackConverters()
{
    return EveryConverter(UnpackOf);
}

// Through the dispatch, so that every check of a converter also checks
// that the kind gets it. The SSE variant is named so only where it is a
// function of its own.
PackConverter PackOf(TextureFormatKind kind, bool sse)
{
    int32_t bytes = 0;
    const PackRowsFunction run = PackConverterOf(kind, sse, &bytes);
    const bool own = sse && run != PackConverterOf(kind, false, &bytes);
    return {std::string(formatKinds[kind].name) + (own ? " pack SSE" : " pack"), run, bytes,
            &TexelRuleOf(formatKinds[kind].source)};
}

UnpackConverter UnpackOf(TextureFormatKind kind, bool sse)
{
    int32_t bytes = 0;
    const UnpackRowsFunction run = UnpackConverterOf(kind, sse, &bytes);
    const bool own = sse && run != UnpackConverterOf(kind, false, &bytes);
    return {std::string(formatKinds[kind].name) + (own ? " unpack SSE" : " unpack"), run, bytes,
            &TexelRuleOf(formatKinds[kind].target), own ? FloatUnpack::sse : FloatUnpack::plain};
}

void ExpectFrameFollowsRule(const PackConverter& c, Frame& f)
{
    int failures = 0;
    for (int32_t r = 0; r < f.g.height; ++r) {
        for (int32_t x = 0; x < f.g.width && failures < 10; ++x) {
            const YCPixel& p = HostAt(f, r, x);
            const int16_t host[4] = {0, p.y, p.cb, p.cr};
            std::vector<unsigned char> want(static_cast<size_t>(c.texelBytes));
            c.rule->write(c.rule->pack(host), want.data());
            if (std::memcmp(TexelAt(f, r, x), want.data(), want.size()) != 0) {
                ADD_FAILURE() << c.name << ": pixel (" << p.y << ", " << p.cb << ", " << p.cr
                              << ") at row " << r << ", column " << x;
                ++failures;
            }
        }
    }
}

void ExpectFrameFollowsRule(const UnpackConverter& c, Frame& f)
{
    int failures = 0;
    for (int32_t r = 0; r < f.g.height; ++r) {
        for (int32_t x = 0; x < f.g.width && failures < 10; ++x) {
            const Texel t = c.rule->read(TexelAt(f, r, x));
            const YCPixel& p = HostAt(f, r, x);
            const int16_t got[3] = {p.y, p.cb, p.cr};
            for (int i = 0; i < 3; ++i) {
                const int16_t want = static_cast<int16_t>(c.rule->unpack(t, i + 1, c.variant));
                if (got[i] != want) {
                    ADD_FAILURE() << c.name << ": row " << r << ", column " << x << ", channel "
                                  << i + 1 << " gives " << got[i] << ", the rule " << want;
                    ++failures;
                }
            }
        }
    }
}

#if defined(KELVO_ROW_BANDS)

namespace {

// Three workers whatever the machine, splitting every frame of two rows or
// more, each worker started before the calling thread takes a band: every
// test frame goes through the bands, and the workers convert some of them.
RowBands* TestBands()
{
    static RowBands bands;
    static const bool started = [] {
        ClearRowBands(&bands);
        bands.minimumPixels = 0;
        bands.workersFirst = true;
        bands.use = bandsAlways;
        return StartRowBands(&bands, 4, ProbeSse());
    }();
    EXPECT_TRUE(started);
    return &bands;
}

// The frame as the converter leaves it on one thread, then in bands on the
// frame itself; both must agree in every byte, margins included.
template <typename Single, typename Banded>
void RunBothWays(Frame& f, Single single, Banded banded)
{
    const size_t texelSize = TexelBufferBytes(f);
    const std::vector<YCPixel> hostBefore = f.host;
    const std::vector<unsigned char> texelsBefore(f.texels.get(), f.texels.get() + texelSize);
    single();
    const std::vector<YCPixel> hostSingle = f.host;
    const std::vector<unsigned char> texelsSingle(f.texels.get(), f.texels.get() + texelSize);
    f.host = hostBefore;
    std::memcpy(f.texels.get(), texelsBefore.data(), texelSize);
    banded();
    EXPECT_EQ(std::memcmp(f.host.data(), hostSingle.data(), hostSingle.size() * sizeof(YCPixel)), 0)
        << "host rows differ between one thread and the bands";
    EXPECT_EQ(std::memcmp(f.texels.get(), texelsSingle.data(), texelSize), 0)
        << "texel rows differ between one thread and the bands";
}

}  // namespace

void RunPack(const PackConverter& c, Frame& f)
{
    RunBothWays(
        f,
        [&] {
            c.run(f.host.data(), f.g.hostPitch, f.texels.get(), f.g.texelPitch, f.g.width,
                  f.g.height);
        },
        [&] {
            PackInBands(TestBands(), c.run, c.texelBytes, f.host.data(), f.g.hostPitch,
                        f.texels.get(), f.g.texelPitch, f.g.width, f.g.height);
        });
}

void RunUnpack(const UnpackConverter& c, Frame& f)
{
    RunBothWays(
        f,
        [&] {
            c.run(f.host.data(), f.g.hostPitch, f.texels.get(), f.g.texelPitch, f.g.width,
                  f.g.height);
        },
        [&] {
            UnpackInBands(TestBands(), c.run, c.texelBytes, f.host.data(), f.g.hostPitch,
                          f.texels.get(), f.g.texelPitch, f.g.width, f.g.height);
        });
}

#else

void RunPack(const PackConverter& c, Frame& f)
{
    c.run(f.host.data(), f.g.hostPitch, f.texels.get(), f.g.texelPitch, f.g.width, f.g.height);
}

void RunUnpack(const UnpackConverter& c, Frame& f)
{
    c.run(f.host.data(), f.g.hostPitch, f.texels.get(), f.g.texelPitch, f.g.width, f.g.height);
}

#endif

float FloatChannel(const unsigned char* texel, int i)
{
    float v;
    std::memcpy(&v, texel + 4 * i, 4);
    return v;
}

uint16_t WordChannel(const unsigned char* texel, int i)
{
    uint16_t v;
    std::memcpy(&v, texel + 2 * i, 2);
    return v;
}

void SetFloatChannel(unsigned char* texel, int i, float v)
{
    std::memcpy(texel + 4 * i, &v, 4);
}

void SetWordChannel(unsigned char* texel, int i, uint16_t v)
{
    std::memcpy(texel + 2 * i, &v, 2);
}
