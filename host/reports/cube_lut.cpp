#include "reports/cube_lut.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "pictures/color_convert.h"
#include "pictures/frame_size.h"
#include "pictures/picture_io.h"

namespace {

int LatticeWidth(int size)
{
    const int64_t points = static_cast<int64_t>(size) * size * size;
    return static_cast<int>(std::min<int64_t>(points, hostMaxFrameSide));
}

// Rounding to host units, of the lattice point going in and of the result
// coming out, moves R, G and B by up to 2.8 units (R = Y + 1.402 Cr, B = Y +
// 1.772 Cb); so much past 0 or 1 is no grade leaving the cube.
constexpr double roundingExcess = 3.0 / 4096.0;

// Cube readers expect plain ASCII, and a title in one pair of quotes.
std::string Ascii(const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
        if (c == '"') c = '\'';
    }
    return out;
}

}  // namespace

YCFrame MakeLatticeFrame(int size)
{
    const int64_t points = static_cast<int64_t>(size) * size * size;
    const int width = LatticeWidth(size);
    const int height = static_cast<int>((points + width - 1) / width);
    YCFrame frame = MakeFrame(width, height, width);
    const double step = 1.0 / (size - 1);
    for (int64_t i = 0; i < points; ++i) {
        const int r = static_cast<int>(i % size);
        const int g = static_cast<int>(i / size % size);
        const int b = static_cast<int>(i / size / size);
        frame.pixels[static_cast<size_t>(i)] = YCFromRgbUnit(r * step, g * step, b * step);
    }
    return frame;
}

namespace {

// Channels clipped to 0..1; the return is how far outside the point was.
double LutPoint(YCPixel pixel, double rgb[3])
{
    RgbUnitFromYC(pixel, rgb);
    double excess = 0;
    for (int c = 0; c < 3; ++c) {
        excess = std::max({excess, -rgb[c], rgb[c] - 1.0});
        rgb[c] = std::min(std::max(rgb[c], 0.0), 1.0);
    }
    return excess;
}

}  // namespace

CubeSummary SummariseCube(const YCFrame& corrected, int size)
{
    CubeSummary summary;
    summary.points = static_cast<int64_t>(size) * size * size;
    for (int64_t i = 0; i < summary.points; ++i) {
        double rgb[3];
        const double excess = LutPoint(corrected.pixels[static_cast<size_t>(i)], rgb);
        if (excess > roundingExcess) {
            ++summary.clipped;
            summary.largestExcess = std::max(summary.largestExcess, excess);
        }
    }
    return summary;
}

bool WriteCube(std::FILE* file, const YCFrame& corrected, int size, const std::string& title,
               const std::vector<std::string>& comments, const char* (*stopRequest)())
{
    const CubeSummary summary = SummariseCube(corrected, size);
    std::string text = "TITLE \"" + Ascii(title) + "\"\n";
    for (const std::string& line : comments) {
        text += "# " + Ascii(line) + "\n";
    }
    text += "# Results outside 0..1 (by more than rounding), clipped: " +
            std::to_string(summary.clipped) + " of " + std::to_string(summary.points) + " points\n";
    text += "LUT_3D_SIZE " + std::to_string(size) + "\n";
    for (int64_t i = 0; i < summary.points; ++i) {
        double rgb[3];
        LutPoint(corrected.pixels[static_cast<size_t>(i)], rgb);
        char line[64];
        std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", rgb[0], rgb[1], rgb[2]);
        text += line;
        if (text.size() >= (1 << 20) || i + 1 == summary.points) {
            if (stopRequest != nullptr && stopRequest() != nullptr) {
                errno = EINTR;
                return false;
            }
            if (!WriteAll(file, text.data(), text.size())) return false;
            text.clear();
        }
    }
    return true;
}
