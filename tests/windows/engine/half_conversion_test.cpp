// The F16 converters against D3DX's own half conversion, which they replace:
// for every input either direction can meet, both variants must give what
// the D3DX path gave, bit for bit. The D3DX path is the F32 converter of the
// same variant with D3DXFloat32To16Array after it (pack) or
// D3DXFloat16To32Array before it (unpack).
#include <gtest/gtest.h>

#include <d3dx9math.h>

#include <cstring>
#include <vector>

#include "engine_fixture.h"
#include "core/format_kinds.h"

namespace {

constexpr int32_t side = 256;  // 256 x 256 = every 16-bit word once per channel

// Channel c of pixel i takes word i, i ^ 0x5A5A and ~i: each channel sees
// every word, in a different order.
uint16_t WordOf(int32_t i, int channel)
{
    const uint16_t w = static_cast<uint16_t>(i);
    return channel == 0   ? w
           : channel == 1 ? static_cast<uint16_t>(w ^ 0x5A5A)
                          : static_cast<uint16_t>(~w);
}

// The default x87 setting for the duration: D3DX's conversion is exact only
// at full precision, and that is the setting the plug-in keeps.
struct FullX87Precision {
    uint16_t before = X87ControlWord();
    FullX87Precision() { SetX87ControlWord(0x037F); }
    ~FullX87Precision() { SetX87ControlWord(before); }
};

TEST(HalfConversion, PacksGiveD3dxHalvesOfEveryHostValue)
{
    FullX87Precision precision;
    std::vector<YCPixel> host(side * side);
    for (int32_t i = 0; i < side * side; ++i) {
        host[i] = {static_cast<int16_t>(WordOf(i, 0)), static_cast<int16_t>(WordOf(i, 1)),
                   static_cast<int16_t>(WordOf(i, 2))};
    }
    std::vector<float> floats(side * side * 4);
    PackF32(host.data(), side, floats.data(), side * 16, side, side);
    std::vector<uint16_t> expected(floats.size());
    D3DXFloat32To16Array(reinterpret_cast<D3DXFLOAT16*>(expected.data()), floats.data(),
                         static_cast<UINT>(floats.size()));

    // Both of the F16 row's packs, whether or not they are one function.
    const FormatKindRow& f16 = formatKinds[kindF16];
    for (PackRowsFunction pack : {f16.pack, f16.packSse}) {
        std::vector<uint16_t> halves(expected.size(), 0xA5A5);
        pack(host.data(), side, halves.data(), side * 8, side, side);
        int failures = 0;
        for (size_t i = 0; i < halves.size() && failures < 10; ++i) {
            if (halves[i] != expected[i]) {
                const int16_t value = i % 4 == 0 ? 0
                                                 : static_cast<int16_t>(WordOf(i / 4, i % 4 - 1));
                ADD_FAILURE() << (pack == f16.pack ? "plain" : "SSE") << ": host value " << value
                              << " gives 0x" << std::hex << halves[i] << ", D3DX 0x" << expected[i];
                ++failures;
            }
        }
    }
}

TEST(HalfConversion, UnpacksGiveWhatD3dxFloatsGiveForEveryHalf)
{
    FullX87Precision precision;
    std::vector<uint16_t> halves(side * side * 4);
    for (int32_t i = 0; i < side * side; ++i) {
        halves[4 * i] = 0x7FFF;  // channel 0 carries nothing
        for (int c = 0; c < 3; ++c) {
            halves[4 * i + 1 + c] = WordOf(i, c);
        }
    }
    std::vector<float> floats(halves.size());
    D3DXFloat16To32Array(floats.data(), reinterpret_cast<const D3DXFLOAT16*>(halves.data()),
                         static_cast<UINT>(halves.size()));

    struct Variant {
        const char* name;
        decltype(&UnpackF16) half;
        decltype(&UnpackF32) reference;
    };
    for (const Variant& v :
         {Variant{"plain", UnpackF16, UnpackF32}, Variant{"SSE", UnpackF16Sse, UnpackF32Sse}}) {
        std::vector<YCPixel> expected(side * side);
        v.reference(expected.data(), side, floats.data(), side * 16, side, side);
        std::vector<YCPixel> pixels(side * side, YCPixel{0x5A5A, 0x5A5A, 0x5A5A});
        v.half(pixels.data(), side, halves.data(), side * 8, side, side);
        int failures = 0;
        for (int32_t i = 0; i < side * side && failures < 10; ++i) {
            const int16_t got[3] = {pixels[i].y, pixels[i].cb, pixels[i].cr};
            const int16_t want[3] = {expected[i].y, expected[i].cb, expected[i].cr};
            for (int c = 0; c < 3; ++c) {
                if (got[c] != want[c]) {
                    ADD_FAILURE() << v.name << ": half 0x" << std::hex << WordOf(i, c) << std::dec
                                  << " gives " << got[c] << ", through D3DX " << want[c];
                    ++failures;
                }
            }
        }
    }
}

}  // namespace
