#include "video/video_levels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double hostScale = 4096.0;

// The weights of R and B in luma.
struct LumaWeights {
    double kr, kb;
};

LumaWeights WeightsOf(VideoMatrix matrix)
{
    return matrix == VideoMatrix::bt709 ? LumaWeights{0.2126, 0.0722} : LumaWeights{0.299, 0.114};
}

struct Matrix3 {
    double m[3][3];
};

// (E'Y, E'Pb, E'Pr) from (E'R, E'G, E'B):
//   Y = kr R + (1 - kr - kb) G + kb B,  Pb = (B - Y) / 2(1 - kb),  Pr = (R - Y) / 2(1 - kr)
Matrix3 YPbPrFromRgb(LumaWeights w)
{
    const double kg = 1.0 - w.kr - w.kb;
    const double pb = 2.0 * (1.0 - w.kb);
    const double pr = 2.0 * (1.0 - w.kr);
    return Matrix3{{{w.kr, kg, w.kb},
                    {-w.kr / pb, -kg / pb, (1.0 - w.kb) / pb},
                    {(1.0 - w.kr) / pr, -kg / pr, -w.kb / pr}}};
}

// Its inverse: R = Y + 2(1 - kr) Pr, B = Y + 2(1 - kb) Pb, and G from Y.
Matrix3 RgbFromYPbPr(LumaWeights w)
{
    const double kg = 1.0 - w.kr - w.kb;
    const double pb = 2.0 * (1.0 - w.kb);
    const double pr = 2.0 * (1.0 - w.kr);
    return Matrix3{{{1.0, 0.0, pr}, {1.0, -w.kb * pb / kg, -w.kr * pr / kg}, {1.0, pb, 0.0}}};
}

Matrix3 Multiply(const Matrix3& a, const Matrix3& b)
{
    Matrix3 product;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            product.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
        }
    }
    return product;
}

// Through RGB, where nothing is clipped.
MatrixMap MakeMap(VideoMatrix matrix)
{
    const LumaWeights host = WeightsOf(VideoMatrix::bt601);
    const LumaWeights stream = WeightsOf(matrix);
    const Matrix3 toHost = Multiply(YPbPrFromRgb(host), RgbFromYPbPr(stream));
    const Matrix3 toStream = Multiply(YPbPrFromRgb(stream), RgbFromYPbPr(host));
    MatrixMap map;
    std::memcpy(map.toHost, toHost.m, sizeof map.toHost);
    std::memcpy(map.toStream, toStream.m, sizeof map.toStream);
    return map;
}

int16_t HostOfSum(double value)
{
    return static_cast<int16_t>(std::lround(std::min(std::max(value, -32768.0), 32767.0)));
}

uint16_t CodeOfSum(double code, const Levels& levels)
{
    code = std::floor(code + 0.5);
    const double largest = static_cast<double>(levels.maxCode);
    return static_cast<uint16_t>(std::min(std::max(code, 0.0), largest));
}

}  // namespace

VideoMatrix MatrixForFrameSize(int width, int height)
{
    return width >= 1280 || height >= 720 ? VideoMatrix::bt709 : VideoMatrix::bt601;
}

Levels LumaLevels(int depth, VideoRange range)
{
    const int maxCode = (1 << depth) - 1;
    if (range == VideoRange::full) {
        return Levels{0.0, static_cast<double>(maxCode), maxCode};
    }
    const double step = std::ldexp(1.0, depth - 8);
    return Levels{16.0 * step, 219.0 * step, maxCode};
}

Levels ChromaLevels(int depth, VideoRange range)
{
    const int maxCode = (1 << depth) - 1;
    if (range == VideoRange::full) {
        return Levels{std::ldexp(1.0, depth - 1), static_cast<double>(maxCode), maxCode};
    }
    const double step = std::ldexp(1.0, depth - 8);
    return Levels{128.0 * step, 224.0 * step, maxCode};
}

int16_t HostFromCode(int code, const Levels& levels)
{
    // Every code of 8..16 bits lands well inside the 16-bit host range
    // (limited 16-bit luma at 65535 gives 4488).
    return static_cast<int16_t>(
        std::lround((code - levels.offset) / levels.codesPerUnit * hostScale));
}

uint16_t CodeFromHost(int16_t host, const Levels& levels)
{
    return CodeOfSum(levels.offset + host / hostScale * levels.codesPerUnit, levels);
}

const MatrixMap& MapOfMatrix(VideoMatrix matrix)
{
    static const MatrixMap maps[2] = {MakeMap(VideoMatrix::bt601), MakeMap(VideoMatrix::bt709)};
    return maps[matrix == VideoMatrix::bt709 ? 1 : 0];
}

YCPixel HostFromCodes(const int codes[3], int depth, VideoRange range, VideoMatrix matrix)
{
    const Levels luma = LumaLevels(depth, range);
    const Levels chroma = ChromaLevels(depth, range);
    if (matrix == VideoMatrix::bt601) {
        return YCPixel{HostFromCode(codes[0], luma), HostFromCode(codes[1], chroma),
                       HostFromCode(codes[2], chroma)};
    }
    const double stream[3] = {(codes[0] - luma.offset) / luma.codesPerUnit,
                              (codes[1] - chroma.offset) / chroma.codesPerUnit,
                              (codes[2] - chroma.offset) / chroma.codesPerUnit};
    const auto& m = MapOfMatrix(matrix).toHost;
    double host[3];
    for (int i = 0; i < 3; ++i) {
        host[i] = (m[i][0] * stream[0] + m[i][1] * stream[1] + m[i][2] * stream[2]) * hostScale;
    }
    return YCPixel{HostOfSum(host[0]), HostOfSum(host[1]), HostOfSum(host[2])};
}

void CodesFromHost(const YCPixel& host, int depth, VideoRange range, VideoMatrix matrix,
                   uint16_t codes[3])
{
    const Levels luma = LumaLevels(depth, range);
    const Levels chroma = ChromaLevels(depth, range);
    if (matrix == VideoMatrix::bt601) {
        codes[0] = CodeFromHost(host.y, luma);
        codes[1] = CodeFromHost(host.cb, chroma);
        codes[2] = CodeFromHost(host.cr, chroma);
        return;
    }
    const double e[3] = {host.y / hostScale, host.cb / hostScale, host.cr / hostScale};
    const auto& m = MapOfMatrix(matrix).toStream;
    for (int i = 0; i < 3; ++i) {
        const Levels& levels = i == 0 ? luma : chroma;
        const double stream = m[i][0] * e[0] + m[i][1] * e[1] + m[i][2] * e[2];
        codes[i] = CodeOfSum(levels.offset + stream * levels.codesPerUnit, levels);
    }
}
