#include "core/correction_constants.h"

#include <cmath>

namespace {

// Full-range BT.601 (Kr = 0.299, Kb = 0.114) rounded to five decimals; each
// literal is the float nearest to the decimal. Row 0 is zero so the spare
// channel of every product is 0.
// clang-format off
const float kMatYC2BGR[16] = {
    0.0f, 0.0f, 0.0f,      0.0f,
    0.0f, 1.0f, 1.772f,    0.0f,       // B
    0.0f, 1.0f, -0.34414f, -0.71414f,  // G
    0.0f, 1.0f, 0.0f,      1.402f,     // R
};
// clang-format on

// clang-format off
const float kMatBGR2YC[16] = {
    0.0f, 0.0f,     0.0f,     0.0f,
    0.0f, 0.114f,   0.587f,   0.299f,    // Y
    0.0f, 0.5f,     -0.33126f, -0.16874f, // Cb
    0.0f, -0.08131f, -0.41869f, 0.5f,    // Cr
};
// clang-format on

// One track step is 1/256. The product is formed in double and only then
// rounded to float, so every integer track gives the exact step multiple.
float Step(int32_t value)
{
    return static_cast<float>(static_cast<double>(value) * 0.00390625);
}

// The 256 is added in double so that a broken host's extreme track value
// cannot overflow the integer.
float Gain(int32_t track)
{
    return static_cast<float>((static_cast<double>(track) + 256.0) * 0.00390625);
}

// 8^(track/256): the exponent runs 0.125..8 over the slider, 1 in the middle.
float Gamma(int32_t track)
{
    return static_cast<float>(std::pow(8.0, static_cast<double>(track) * 0.00390625));
}

}  // namespace

CorrectionConstants ComputeCorrectionConstants(const int32_t tracks[trackCount])
{
    CorrectionConstants c{};

    c.ycOffs[0] = 0.0f;
    c.ycOffs[1] = Step(tracks[trackYOffset]);
    c.ycOffs[2] = Step(tracks[trackCbOffset]);
    c.ycOffs[3] = Step(tracks[trackCrOffset]);

    c.ycAmp[0] = 0.0f;
    c.ycAmp[1] = Gain(tracks[trackYGain]);
    c.ycAmp[2] = Gain(tracks[trackCbGain]);
    c.ycAmp[3] = Gain(tracks[trackCrGain]);

    // The BGR vectors run blue, green, red, the reverse of the track order.
    c.bgrOffs[0] = 0.0f;
    c.bgrOffs[1] = Step(tracks[trackBOffset]);
    c.bgrOffs[2] = Step(tracks[trackGOffset]);
    c.bgrOffs[3] = Step(tracks[trackROffset]);

    c.bgrAmp[0] = 0.0f;
    c.bgrAmp[1] = Gain(tracks[trackBGain]);
    c.bgrAmp[2] = Gain(tracks[trackGGain]);
    c.bgrAmp[3] = Gain(tracks[trackRGain]);

    // x is 1, not 0: the spare channel goes through the gamma as 0^1 = 0.
    c.bgrGamma[0] = 1.0f;
    c.bgrGamma[1] = Gamma(tracks[trackBGamma]);
    c.bgrGamma[2] = Gamma(tracks[trackGGamma]);
    c.bgrGamma[3] = Gamma(tracks[trackRGamma]);

    for (int i = 0; i < 16; ++i) {
        c.matYC2BGR[i] = kMatYC2BGR[i];
        c.matBGR2YC[i] = kMatBGR2YC[i];
    }
    return c;
}
