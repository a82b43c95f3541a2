// The 3D LUT's lattice frame and .cube file: order, values, clipping.
#include <cstdio>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "pictures/color_convert.h"
#include "reports/cube_lut.h"

namespace {

std::string CubeFileText(const YCFrame& frame, int size)
{
    std::FILE* file = std::tmpfile();
    EXPECT_TRUE(WriteCube(file, frame, size, "grade \"x\"\n", {"first note", "second"}));
    std::string text(static_cast<size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    EXPECT_EQ(std::fread(&text[0], 1, text.size(), file), text.size());
    std::fclose(file);
    return text;
}

// A frame left as the lattice (no correction) gives the identity table:
// each data line is its lattice point, red fastest, to within the host's
// rounding (half a unit in Y, Cb and Cr: well under 1e-3 in R, G, B).
TEST(CubeLut, UncorrectedLatticeIsTheIdentityInCubeOrder)
{
    for (int size : {2, 5, 17}) {
        SCOPED_TRACE(size);
        YCFrame lattice = MakeLatticeFrame(size);
        const int points = size * size * size;
        EXPECT_GE(static_cast<int64_t>(lattice.width) * lattice.height, points);
        std::istringstream text(CubeFileText(lattice, size));
        std::string line;
        std::getline(text, line);
        EXPECT_EQ(line, "TITLE \"grade 'x'?\"") << "no quote or newline may break the title";
        std::getline(text, line);
        EXPECT_EQ(line, "# first note");
        std::getline(text, line);
        std::getline(text, line);
        EXPECT_EQ(line, "# Results outside 0..1 (by more than rounding), clipped: 0 of " +
                            std::to_string(points) + " points");
        std::getline(text, line);
        EXPECT_EQ(line, "LUT_3D_SIZE " + std::to_string(size));
        double worst = 0;
        int count = 0;
        double rgb[3];
        while (text >> rgb[0] >> rgb[1] >> rgb[2]) {
            const int index[3] = {count % size, count / size % size, count / size / size};
            for (int c = 0; c < 3; ++c) {
                worst = std::max(worst, std::abs(rgb[c] - index[c] / double(size - 1)));
            }
            ++count;
        }
        EXPECT_TRUE(text.eof());
        EXPECT_EQ(count, points);
        EXPECT_LT(worst, 1e-3);
    }
    // 256 points per side fill the largest frame exactly.
    EXPECT_EQ(MakeLatticeFrame(largestCubeSize).width, 4096);
}

TEST(CubeLut, ResultsOutsideTheCubeAreClippedAndCounted)
{
    YCFrame frame = MakeLatticeFrame(3);
    frame.pixels[0] = YCPixel{-410, 0, 0};      // grey at -0.1
    frame.pixels[26] = YCPixel{4096, 0, 2048};  // white plus red: R 1.70
    CubeSummary summary = SummariseCube(frame, 3);
    EXPECT_EQ(summary.points, 27);
    EXPECT_EQ(summary.clipped, 2);
    double rgb[3];
    RgbUnitFromYC(frame.pixels[26], rgb);
    EXPECT_DOUBLE_EQ(summary.largestExcess, rgb[0] - 1.0);
    const std::string text = CubeFileText(frame, 3);
    EXPECT_NE(text.find("clipped: 2 of 27 points"), std::string::npos);
    EXPECT_NE(text.find("LUT_3D_SIZE 3\n0.000000 0.000000 0.000000\n"), std::string::npos);
    // G = Y - 0.714136 Cr: white with Cr +0.5 keeps 0.642932 of its green.
    EXPECT_NE(text.find("\n1.000000 0.642932 1.000000\n"), std::string::npos) << text;
}

}  // namespace
