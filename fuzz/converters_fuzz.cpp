// Fuzzes the pixel converters and their dispatch on random geometry and
// contents.
//
// The input picks a direction (pack or unpack), a format kind, the width and
// height (small, zero and negative included), the host pitch in pixels and
// the texel pitch in bytes (zero, negative, shorter than a row, not a
// multiple of the texel size), then the contents. Host rows and texel rows
// live in buffers of exactly the size the rows address,
// so AddressSanitizer reports any access outside them; every byte of the
// written buffer that no row covers (padding between rows, the part of a
// pitch beyond the width) is a guard and must keep its value, and the buffer
// that is only read must not change at all.
//
// The converters are those PackConverterOf / UnpackConverterOf give for the
// kind from the kinds' table, plain and SSE; each result is checked against
// the texel rule of the row's source or target (core/texel_rules.h), whose
// plain and SSE variants agree wherever the converters must: pack always,
// unpack where channel x 4096 is a host value. A kind without a row must get
// no converter.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/format_kinds.h"

namespace {

[[noreturn]] void Fail(const char* what, long a = 0, long b = 0)
{
    std::fprintf(stderr, "converters_fuzz: %s (%ld, %ld)\n", what, a, b);
    std::abort();
}

// A buffer of exactly `bytes` bytes, 16-byte aligned (as locked surfaces
// are), with the row origin `origin` bytes in.
struct ExactBuffer {
    unsigned char* memory = nullptr;
    size_t bytes = 0;
    size_t origin = 0;

    ExactBuffer(size_t size, size_t originOffset) : bytes(size), origin(originOffset)
    {
        void* p = nullptr;
        if (posix_memalign(&p, 16, size) != 0) {
            Fail("out of memory");
        }
        memory = static_cast<unsigned char*>(p);
    }
    ~ExactBuffer() { std::free(memory); }
    ExactBuffer(const ExactBuffer&) = delete;
    ExactBuffer& operator=(const ExactBuffer&) = delete;

    unsigned char* base() { return memory + origin; }
    void load(const std::vector<unsigned char>& image)
    {
        if (bytes != 0) {
            std::memcpy(memory, image.data(), bytes);
        }
    }
    bool equals(const std::vector<unsigned char>& image) const
    {
        return bytes == 0 || std::memcmp(memory, image.data(), bytes) == 0;
    }
};

// Rows of `width` slots of `slotBytes`, row r starting r * slotPitch slots
// after the origin: the span they cover and, for each slot of the span, the
// (row, column) that touches it last, or -1.
struct RowLayout {
    int32_t slotBytes = 1;
    int64_t first = 0;                // slot index of the lowest slot, relative to the origin
    int64_t slots = 0;                // slots in the span
    std::vector<int64_t> lastWriter;  // row * width + column, or -1

    RowLayout(int32_t width, int32_t height, int64_t slotPitch, int32_t bytesPerSlot)
        : slotBytes(bytesPerSlot)
    {
        if (width <= 0 || height <= 0) {
            return;
        }
        const int64_t lastStart = static_cast<int64_t>(height - 1) * slotPitch;
        first = lastStart < 0 ? lastStart : 0;
        const int64_t end = (lastStart > 0 ? lastStart : 0) + width;
        slots = end - first;
        lastWriter.assign(static_cast<size_t>(slots), -1);
        for (int32_t r = 0; r < height; ++r) {
            for (int32_t x = 0; x < width; ++x) {
                const int64_t slot = static_cast<int64_t>(r) * slotPitch + x - first;
                lastWriter[static_cast<size_t>(slot)] = static_cast<int64_t>(r) * width + x;
            }
        }
    }
    size_t bytes() const { return static_cast<size_t>(slots) * slotBytes; }
    size_t originOffset() const { return static_cast<size_t>(-first) * slotBytes; }
    // Byte offset in the buffer of (row, column).
    size_t offsetOf(int64_t row, int64_t column, int64_t slotPitch) const
    {
        return static_cast<size_t>(row * slotPitch + column - first) * slotBytes;
    }
};

template <typename T>
T Load(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void Store(unsigned char* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

struct Geometry {
    int32_t width, height, hostPitch, texelPitch, texelBytes;
    int64_t texelSlotPitch;
};

// ---- pack ----------------------------------------------------------------

// The texel the pack rule gives for one host pixel.
void ExpectedPackedTexel(const TexelRule& source, const YCPixel& p, unsigned char* out)
{
    const int16_t host[4] = {0, p.y, p.cb, p.cr};
    source.write(source.pack(host), out);
}

void FuzzPack(int kind, const Geometry& g, FuzzedDataProvider& in)
{
    const RowLayout hostLayout(g.width, g.height, g.hostPitch, sizeof(YCPixel));
    const RowLayout texelLayout(g.width, g.height, g.texelSlotPitch, g.texelBytes);

    std::vector<unsigned char> hostImage(hostLayout.bytes());
    const std::vector<unsigned char> content = in.ConsumeRemainingBytes<unsigned char>();
    for (size_t i = 0; i < hostImage.size(); ++i) {
        hostImage[i] = content.empty() ? static_cast<unsigned char>(i * 37u)
                                       : content[i % content.size()];
    }
    std::vector<unsigned char> texelImage(texelLayout.bytes());
    for (size_t i = 0; i < texelImage.size(); ++i) {
        texelImage[i] = static_cast<unsigned char>(0xA5u ^ (i * 0x9Du));
    }

    // The expected texel buffer: untouched guards, and each slot from the
    // last row that writes it.
    std::vector<unsigned char> expected = texelImage;
    for (int64_t s = 0; s < texelLayout.slots; ++s) {
        const int64_t w = texelLayout.lastWriter[static_cast<size_t>(s)];
        if (w < 0) {
            continue;
        }
        const int64_t r = w / g.width, x = w % g.width;
        const YCPixel p = Load<YCPixel>(hostImage.data() + hostLayout.offsetOf(r, x, g.hostPitch));
        ExpectedPackedTexel(TexelRuleOf(formatKinds[kind].source), p,
                            expected.data() + static_cast<size_t>(s) * g.texelBytes);
    }

    ExactBuffer host(hostLayout.bytes(), hostLayout.originOffset());
    host.load(hostImage);
    ExactBuffer texels(texelLayout.bytes(), texelLayout.originOffset());
    const YCPixel* hostRows = reinterpret_cast<const YCPixel*>(host.base());

    // The plain variant, then the SSE one where it is a function of its own.
    int32_t texelBytes = 0;
    const PackRowsFunction packs[2] = {PackConverterOf(kind, false, &texelBytes),
                                       PackConverterOf(kind, true, &texelBytes)};
    for (int v = 0; v < (packs[1] != packs[0] ? 2 : 1); ++v) {
        texels.load(texelImage);
        packs[v](hostRows, g.hostPitch, texels.base(), g.texelPitch, g.width, g.height);
        if (!host.equals(hostImage)) {
            Fail("pack changed the host rows", kind, v);
        }
        if (!texels.equals(expected)) {
            Fail("pack result or guard bytes differ from the rule", kind, v);
        }
    }
}

// ---- unpack --------------------------------------------------------------

// The host pixel the unpack rule gives for one texel.
YCPixel ExpectedUnpackedPixel(const TexelRule& target, bool sse, const unsigned char* t)
{
    const Texel texel = target.read(t);
    const FloatUnpack variant = sse ? FloatUnpack::sse : FloatUnpack::plain;
    return {static_cast<int16_t>(target.unpack(texel, 1, variant)),
            static_cast<int16_t>(target.unpack(texel, 2, variant)),
            static_cast<int16_t>(target.unpack(texel, 3, variant))};
}

void FillTexels(const TexelRule& target, std::vector<unsigned char>& image,
                const std::vector<unsigned char>& content, int mode)
{
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = content.empty() ? static_cast<unsigned char>(i * 53u)
                                   : content[i % content.size()];
    }
    if (target.bytes != 16 || mode == 0) {
        return;  // raw bits: every half, every float (NaN, infinities, subnormals)
    }
    // Mode 1: host values on the 4096 scale, where the variants must agree;
    // mode 2: halfway between two of them, where the rounding rules differ.
    for (size_t i = 0; i + 4 <= image.size(); i += 4) {
        const int16_t k = static_cast<int16_t>(image[i] | image[i + 1] << 8);
        const float f = mode == 1 ? static_cast<float>(k) / 4096.0f
                                  : (static_cast<float>(k) + 0.5f) / 4096.0f;
        Store(image.data() + i, f);
    }
}

// The host buffer the unpack rule gives: untouched guards, and each slot
// from the last row that writes it.
std::vector<unsigned char> ExpectedHostImage(const TexelRule& target, bool sse, const Geometry& g,
                                             const RowLayout& hostLayout,
                                             const RowLayout& texelLayout,
                                             const std::vector<unsigned char>& hostImage,
                                             const std::vector<unsigned char>& texelImage)
{
    std::vector<unsigned char> expected = hostImage;
    for (int64_t s = 0; s < hostLayout.slots; ++s) {
        const int64_t w = hostLayout.lastWriter[static_cast<size_t>(s)];
        if (w < 0) {
            continue;
        }
        const int64_t r = w / g.width, x = w % g.width;
        const unsigned char* t = texelImage.data() + texelLayout.offsetOf(r, x, g.texelSlotPitch);
        Store(expected.data() + static_cast<size_t>(s) * sizeof(YCPixel),
              ExpectedUnpackedPixel(target, sse, t));
    }
    return expected;
}

void FuzzUnpack(int kind, const Geometry& g, FuzzedDataProvider& in)
{
    const TexelRule& target = TexelRuleOf(formatKinds[kind].target);
    const int mode = in.ConsumeIntegralInRange<int>(0, 2);
    const RowLayout hostLayout(g.width, g.height, g.hostPitch, sizeof(YCPixel));
    const RowLayout texelLayout(g.width, g.height, g.texelSlotPitch, g.texelBytes);

    std::vector<unsigned char> texelImage(texelLayout.bytes());
    FillTexels(target, texelImage, in.ConsumeRemainingBytes<unsigned char>(), mode);
    std::vector<unsigned char> hostImage(hostLayout.bytes());
    for (size_t i = 0; i < hostImage.size(); ++i) {
        hostImage[i] = static_cast<unsigned char>(0x5Au ^ (i * 0x9Du));
    }

    ExactBuffer host(hostLayout.bytes(), hostLayout.originOffset());
    ExactBuffer texels(texelLayout.bytes(), texelLayout.originOffset());
    texels.load(texelImage);
    YCPixel* hostRows = reinterpret_cast<YCPixel*>(host.base());

    // The plain variant, then the SSE one where it is a function of its own.
    int32_t texelBytes = 0;
    const UnpackRowsFunction unpacks[2] = {UnpackConverterOf(kind, false, &texelBytes),
                                           UnpackConverterOf(kind, true, &texelBytes)};
    for (int v = 0; v < (unpacks[1] != unpacks[0] ? 2 : 1); ++v) {
        const std::vector<unsigned char> expected =
            ExpectedHostImage(target, v == 1, g, hostLayout, texelLayout, hostImage, texelImage);
        host.load(hostImage);
        unpacks[v](hostRows, g.hostPitch, texels.base(), g.texelPitch, g.width, g.height);
        if (!texels.equals(texelImage)) {
            Fail("unpack changed the texel rows", kind, v);
        }
        if (!host.equals(expected)) {
            Fail("unpack result or guard bytes differ from the rule", kind, v);
        }
    }
}

// A pitch near the row length (shorter, longer, not a multiple of the slot),
// a raw small value, or zero; either sign.
int32_t ConsumePitch(FuzzedDataProvider& in, int32_t width, int32_t unit)
{
    const int32_t rowLength = (width > 0 ? width : 0) * unit;
    int32_t pitch = 0;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        pitch = rowLength;
        break;
    case 1:
        pitch = rowLength + in.ConsumeIntegralInRange<int32_t>(-3 * unit, 3 * unit);
        break;
    case 2:
        pitch = in.ConsumeIntegralInRange<int32_t>(0, 48 * unit);
        break;
    default:
        pitch = 0;
        break;
    }
    return in.ConsumeBool() ? -pitch : pitch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool pack = in.ConsumeBool();
    // Every row, and one value past them, which must get no converter.
    const int kind = in.ConsumeIntegralInRange<int>(0, textureFormatKindCount);
    const FormatKindRow* row = FormatKindRowOf(kind);
    if (row == nullptr) {
        int32_t texelBytes = 0;
        if (PackConverterOf(kind, in.ConsumeBool(), &texelBytes) != nullptr ||
            UnpackConverterOf(kind, in.ConsumeBool(), &texelBytes) != nullptr) {
            Fail("a converter for a kind without a row", kind);
        }
        return 0;
    }
    Geometry g{};
    g.width = in.ConsumeIntegralInRange<int32_t>(-2, 40);
    g.height = in.ConsumeIntegralInRange<int32_t>(-2, 6);
    g.texelBytes = pack ? row->source->bytes : row->target->bytes;
    g.hostPitch = ConsumePitch(in, g.width, 1);
    g.texelPitch = ConsumePitch(in, g.width, g.texelBytes);
    if (in.ConsumeBool()) {
        g.texelPitch += in.ConsumeIntegralInRange<int32_t>(-(g.texelBytes - 1), g.texelBytes - 1);
    }
    g.texelSlotPitch = TexelRowStride(g.texelPitch, g.texelBytes) / g.texelBytes;
    if (pack) {
        FuzzPack(kind, g, in);
    } else {
        FuzzUnpack(kind, g, in);
    }
    return 0;
}
