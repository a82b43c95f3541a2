#include "cpu_correction.h"

#include <algorithm>
#include <cmath>

namespace {

int16_t HostFromUnit(double v)
{
    double n = std::nearbyint(v * 4096.0);
    return static_cast<int16_t>(std::min(std::max(n, -32768.0), 32767.0));
}

}  // namespace

void CorrectFrameOnCpu(const CorrectionConstants& k, const YCPixel* input, YCPixel* output,
                       int width, int height, int pitch)
{
    for (int row = 0; row < height; ++row) {
        const YCPixel* in = input + static_cast<size_t>(row) * pitch;
        YCPixel* out = output + static_cast<size_t>(row) * pitch;
        for (int x = 0; x < width; ++x) {
            // Components x, Y, Cb, Cr on the common scale (1.0 = 4096).
            const double sample[4] = {0.0, in[x].y / 4096.0, in[x].cb / 4096.0, in[x].cr / 4096.0};
            double yc[4];
            for (int i = 0; i < 4; ++i) yc[i] = sample[i] * k.ycAmp[i] + k.ycOffs[i];
            double adjusted[4];
            for (int i = 0; i < 4; ++i) {
                double b = 0.0;
                for (int j = 0; j < 4; ++j) b += k.matYC2BGR[4 * i + j] * yc[j];
                // The power acts on the part inside [0, 1]; the rest passes.
                double q = std::min(std::max(b, 0.0), 1.0);
                double g = (b - q) + (q > 0.0 ? std::pow(q, double(k.bgrGamma[i])) : 0.0);
                adjusted[i] = g * k.bgrAmp[i] + k.bgrOffs[i];
            }
            double result[4];
            for (int i = 0; i < 4; ++i) {
                result[i] = 0.0;
                for (int j = 0; j < 4; ++j) result[i] += k.matBGR2YC[4 * i + j] * adjusted[j];
            }
            out[x] = YCPixel{HostFromUnit(result[1]), HostFromUnit(result[2]),
                             HostFromUnit(result[3])};
        }
    }
}
