// The binary16 texel rule (core/texel_rules.h) against D3DX's own half
// conversion, which the F16 converters replace; the converter tests hold
// the converters to the rule bit for bit. For every host value the rule's
// pack must give D3DX's half of value / 4096, and for every half the rule's
// download, in both variants, what the F32 converter of that variant gives
// for D3DX's float of the half.
#include <gtest/gtest.h>

#include <d3dx9math.h>

#include <vector>

#include "core/pixel_converters.h"
#include "core/texel_rules.h"
#include "engine_fixture.h"

namespace {

constexpr int32_t values = 65536;  // every host value, every half

// The default x87 setting for the duration: D3DX's conversion is exact only
// at full precision, and that is the setting the plug-in keeps.
struct FullX87Precision {
    uint16_t before = X87ControlWord();
    FullX87Precision() { SetX87ControlWord(0x037F); }
    ~FullX87Precision() { SetX87ControlWord(before); }
};

TEST(HalfConversion, TheHalfRuleIsD3dxsBothWays)
{
    FullX87Precision precision;
    std::vector<float> floats(values);
    for (int32_t i = 0; i < values; ++i) {
        floats[i] = static_cast<float>(static_cast<int16_t>(i)) / 4096.0f;
    }
    std::vector<uint16_t> halves(values);
    D3DXFloat32To16Array(reinterpret_cast<D3DXFLOAT16*>(halves.data()), floats.data(), values);
    int failures = 0;
    for (int32_t i = 0; i < values && failures < 10; ++i) {
        const int16_t host[4] = {0, static_cast<int16_t>(i), 0, 0};
        const uint16_t ours = binary16Texel.pack(host).bits16[1];
        if (ours != halves[i]) {
            ADD_FAILURE() << "host value " << host[1] << " gives 0x" << std::hex << ours
                          << ", D3DX 0x" << halves[i];
            ++failures;
        }
    }

    // Each half in channel 1 of a texel of four floats, through D3DX.
    std::vector<uint16_t> everyHalf(4 * values, 0);
    for (int32_t h = 0; h < values; ++h) {
        everyHalf[4 * h + 1] = static_cast<uint16_t>(h);
    }
    std::vector<float> texels(everyHalf.size());
    D3DXFloat16To32Array(texels.data(), reinterpret_cast<const D3DXFLOAT16*>(everyHalf.data()),
                         static_cast<UINT>(everyHalf.size()));
    for (FloatUnpack variant : {FloatUnpack::plain, FloatUnpack::sse}) {
        std::vector<YCPixel> host(values);
        (variant == FloatUnpack::sse ? UnpackF32Sse : UnpackF32)(host.data(), values, texels.data(),
                                                                 values * 16, values, 1);
        for (int32_t h = 0; h < values && failures < 10; ++h) {
            Texel t{};
            t.bits16[1] = static_cast<uint16_t>(h);
            const int32_t ours = binary16Texel.unpack(t, 1, variant);
            if (ours != host[h].y) {
                ADD_FAILURE() << (variant == FloatUnpack::sse ? "SSE" : "plain") << ": half 0x"
                              << std::hex << h << std::dec << " gives " << ours << ", through D3DX "
                              << host[h].y;
                ++failures;
            }
        }
    }
}

}  // namespace
