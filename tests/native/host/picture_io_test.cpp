// Picture and raw files in a scratch folder.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "pictures/picture_io.h"

namespace {

class PictureFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() /
                 ("filterhost_io_" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string Path(const char* name) const { return (folder / name).string(); }

    std::filesystem::path folder;
};

RgbImage Gradient(int width, int height)
{
    RgbImage image;
    image.width = width;
    image.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.rgb.push_back(static_cast<uint8_t>(x * 255 / (width - 1)));
            image.rgb.push_back(static_cast<uint8_t>(y * 255 / (height - 1)));
            image.rgb.push_back(static_cast<uint8_t>((x * 7 + y * 13) & 0xFF));
        }
    }
    return image;
}

TEST_F(PictureFiles, LosslessFormatsComeBackExactly)
{
    RgbImage image = Gradient(17, 9);
    for (const char* name : {"a.png", "b.BMP"}) {
        std::string error;
        ASSERT_TRUE(SavePicture(Path(name), image, &error)) << error;
        RgbImage back;
        ASSERT_TRUE(LoadPicture(Path(name), &back, &error)) << error;
        EXPECT_EQ(back.width, 17);
        EXPECT_EQ(back.height, 9);
        EXPECT_EQ(back.rgb, image.rgb) << name;
    }
}

TEST_F(PictureFiles, JpegComesBackClose)
{
    RgbImage image = Gradient(32, 32);
    for (size_t i = 0; i < image.rgb.size(); i += 3) image.rgb[i + 2] = 100;  // smooth
    std::string error;
    ASSERT_TRUE(SavePicture(Path("c.jpg"), image, &error)) << error;
    RgbImage back;
    ASSERT_TRUE(LoadPicture(Path("c.jpg"), &back, &error)) << error;
    ASSERT_EQ(back.rgb.size(), image.rgb.size());
    int worst = 0;
    for (size_t i = 0; i < image.rgb.size(); ++i) {
        worst = std::max(worst, std::abs(back.rgb[i] - image.rgb[i]));
    }
    EXPECT_LT(worst, 24);
}

TEST_F(PictureFiles, ErrorsSayWhatWentWrong)
{
    RgbImage image;
    std::string error;
    EXPECT_FALSE(LoadPicture(Path("missing.png"), &image, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    EXPECT_NE(error.find("missing.png"), std::string::npos) << error;

    std::FILE* file = std::fopen(Path("text.png").c_str(), "wb");
    std::fputs("this is not a picture", file);
    std::fclose(file);
    EXPECT_FALSE(LoadPicture(Path("text.png"), &image, &error));
    EXPECT_NE(error.find("as a picture"), std::string::npos) << error;

    EXPECT_FALSE(SavePicture(Path("out.gif"), Gradient(2, 2), &error));
    EXPECT_FALSE(SavePicture((folder / "no" / "such" / "x.png").string(), Gradient(2, 2), &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

TEST_F(PictureFiles, RawFramesAreLittleEndianAndUnpadded)
{
    YCFrame a = MakeFrame(3, 2, 5);
    YCFrame b = MakeFrame(3, 2, 5);
    PixelAt(a, 0, 0) = YCPixel{0x0102, -2, 0x7FFF};
    PixelAt(a, 2, 1) = YCPixel{-32768, 4096, -2048};
    PixelAt(b, 1, 0) = YCPixel{77, 88, 99};
    std::FILE* file = OpenFile(Path("two.yc"), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(WriteRawFrame(file, a));
    EXPECT_TRUE(WriteRawFrame(file, b));
    std::fclose(file);
    EXPECT_EQ(std::filesystem::file_size(Path("two.yc")), 2u * 3 * 2 * 6);

    // The first pixel's bytes as they lie in the file.
    file = std::fopen(Path("two.yc").c_str(), "rb");
    unsigned char bytes[6];
    ASSERT_EQ(std::fread(bytes, 1, 6, file), 6u);
    std::fclose(file);
    const unsigned char expected[6] = {0x02, 0x01, 0xFE, 0xFF, 0xFF, 0x7F};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(bytes[i], expected[i]) << i;

    std::vector<YCFrame> frames;
    std::string error;
    ASSERT_TRUE(LoadRawFrames(Path("two.yc"), 3, 2, 4, &frames, &error)) << error;
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].maxWidth, 4);
    EXPECT_TRUE(SamePixel(PixelAt(frames[0], 2, 1), YCPixel{-32768, 4096, -2048}));
    EXPECT_TRUE(SamePixel(PixelAt(frames[1], 1, 0), YCPixel{77, 88, 99}));
    EXPECT_TRUE(PaddingIntact(frames[1]));

    EXPECT_FALSE(LoadRawFrames(Path("two.yc"), 5, 5, 5, &frames, &error));
    EXPECT_NE(error.find("72 bytes"), std::string::npos) << error;

    // A named pipe has no size: its frames are read until it ends, and a
    // frame it ends inside is named.
    std::stringstream whole;
    whole << std::ifstream(Path("two.yc"), std::ios::binary).rdbuf();
    for (size_t cut : {size_t{0}, size_t{30}}) {
        const std::string pipe = Path("pipe.yc");
        std::remove(pipe.c_str());
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        std::thread writer([&] {
            std::ofstream(pipe, std::ios::binary)
                << whole.str().substr(0, whole.str().size() - cut);
        });
        error.clear();
        const bool read = LoadRawFrames(pipe, 3, 2, 4, &frames, &error);
        writer.join();
        EXPECT_EQ(read, cut == 0) << error;
        EXPECT_EQ(frames.size(), cut == 0 ? 2u : 1u);
        EXPECT_TRUE(SamePixel(PixelAt(frames[0], 2, 1), YCPixel{-32768, 4096, -2048}));
        EXPECT_EQ(error, cut == 0 ? "" : pipe + " ends inside frame 2 (6 of its 36 bytes)");
    }
}

TEST(FileKinds, ByEnding)
{
    EXPECT_EQ(FileKindOfPath("x.PNG", true), FileKind::png);
    EXPECT_EQ(FileKindOfPath("x.jpeg", true), FileKind::jpeg);
    EXPECT_EQ(FileKindOfPath("dir.png/x.raw", true), FileKind::raw);
    EXPECT_EQ(FileKindOfPath("x.YUV4MPEG", true), FileKind::y4m);
    EXPECT_EQ(FileKindOfPath("x.tga", true), FileKind::unknown);
    EXPECT_EQ(FileKindOfPath("x.tga", false), FileKind::picture);
    EXPECT_EQ(FileKindOfPath("png", false), FileKind::picture);
}

}  // namespace
