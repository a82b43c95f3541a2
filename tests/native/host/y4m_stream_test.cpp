// YUV4MPEG2 streams: which headers are taken and which refused (and what
// the refusal says), the byte layout of a frame, and broken streams, which
// must stop at the right frame with every frame before it handed out whole.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "video/y4m_stream.h"

namespace {

TEST(Y4MHeader, FfmpegHeadersAreTakenAndWrittenBack)
{
    struct Case {
        const char* line;
        int depth;
        VideoRange range;
        bool hasRange;
        size_t dropped;  // fields not understood
    };
    // As ffmpeg writes them, plus a bare one, one with fields filterhost
    // does not know, and one whose line ended in CR LF.
    const Case cases[] = {
        {"YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C444 XYSCSS=444 XCOLORRANGE=LIMITED", 8,
         VideoRange::limited, true, 0},
        {"YUV4MPEG2 W64 H48 F30000:1001 Ip A4:3 C444p10 XYSCSS=444P10 XCOLORRANGE=FULL", 10,
         VideoRange::full, true, 0},
        {"YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C444p12 XYSCSS=444P12", 12, VideoRange::limited, false,
         0},
        {"YUV4MPEG2 H48 W64 C444p16 I? A0:0 XFOO=1 Zbar", 16, VideoRange::limited, false, 2},
        {"YUV4MPEG2 W64 H48 C444p10 XCOLORRANGE=FULL\r", 10, VideoRange::full, true, 0},
        {"YUV4MPEG2 W0000000064 H048 C444", 8, VideoRange::limited, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Y4MHeader h;
        std::string error;
        ASSERT_TRUE(ParseY4MHeader(c.line, &h, &error)) << error;
        EXPECT_EQ(h.width, 64);
        EXPECT_EQ(h.height, 48);
        EXPECT_EQ(h.depth, c.depth);
        EXPECT_EQ(h.range, c.range);
        EXPECT_EQ(h.hasRange, c.hasRange);
        EXPECT_EQ(h.dropped.size(), c.dropped);
        EXPECT_EQ(h.crlf, std::string(c.line).back() == '\r');
        // What is written reads back the same, in the range it names, with
        // plain line ends and nothing that was not understood.
        std::string line = FormatY4MHeader(h, VideoRange::full);
        ASSERT_EQ(line.back(), '\n');
        line.pop_back();
        Y4MHeader back;
        ASSERT_TRUE(ParseY4MHeader(line, &back, &error)) << error;
        EXPECT_EQ(back.depth, h.depth);
        EXPECT_EQ(back.frameRate, h.frameRate);
        EXPECT_EQ(back.aspect, h.aspect);
        EXPECT_TRUE(back.dropped.empty());
        EXPECT_FALSE(back.crlf);
        EXPECT_EQ(back.range, VideoRange::full);
    }
    Y4MHeader h;
    std::string error;
    ASSERT_TRUE(ParseY4MHeader(cases[1].line, &h, &error));
    EXPECT_EQ(FormatY4MHeader(h, VideoRange::full), std::string(cases[1].line) + "\n");
}

TEST(Y4MHeader, UnusableHeadersNameTheFieldAndTheFfmpegOption)
{
    struct Case {
        const char* line;
        const char* field;
        const char* advice;
    };
    const Case cases[] = {
        {"YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg XYSCSS=420JPEG", "C420jpeg", "yuv444p16le"},
        {"YUV4MPEG2 W64 H48 F25:1 Ip", "C field", "-pix_fmt"},
        {"YUV4MPEG2 W64 H48 C422", "C422", "4:2:2"},
        {"YUV4MPEG2 W64 H48 Cmono16", "Cmono16", "-pix_fmt"},
        {"YUV4MPEG2 W64 H48 C444alpha", "C444alpha", "-pix_fmt"},
        {"YUV4MPEG2 W64 H48 C444p14", "C444p14", "-pix_fmt"},
        {"YUV4MPEG2 W64 H48 It C444", "It", "bwdif"},
        {"YUV4MPEG2 W64 H48 Ib C444", "Ib", "-field_order progressive"},
        {"YUV4MPEG2 W0 H48 C444", "W0", "width"},
        {"YUV4MPEG2 W64 C444", "no H", "height"},
        {"YUV4MPEG2 W64 H48 F25 C444", "F25", "N:D"},
        {"YUV4MPEG W64 H48", "not a YUV4MPEG2 stream", "-f yuv4mpegpipe"},
        {"YUV4MPEG2 W64 H48 C444 \x01\xFEjunk", "\\x01\\xFEjunk", "printable ASCII"},
        {"YUV4MPEG2 W64 H48 C444 XCOLORRANGE=FULL\r\r", "FULL\\x0D", "printable ASCII"},
        {"YUV4MPEG2 W64 H48 C444 XCOLORRANGE=WIDE", "XCOLORRANGE=WIDE", "FULL or LIMITED"},
    };
    for (const Case& c : cases) {
        Y4MHeader h;
        std::string error;
        EXPECT_FALSE(ParseY4MHeader(c.line, &h, &error)) << c.line;
        EXPECT_NE(error.find(c.field), std::string::npos) << error;
        EXPECT_NE(error.find(c.advice), std::string::npos) << error;
    }
}

// A frame's bytes: the FRAME line, then whole planes Y, Cb, Cr, 16-bit
// samples little-endian; decoded through the levels and encoded back.
TEST(Y4MFrame, PlanesInOrderAndLittleEndian)
{
    YCFrame frame = MakeFrame(2, 1, 3);
    const RowLevels t16 = MakeRowLevels(16, VideoRange::limited);
    // Y 4096 and 60160 (black, white), Cb 4096 and 61440 (-0.5, +0.5),
    // Cr 32768 twice.
    const uint8_t planes16[] = {0x00, 0x10, 0x00, 0xEB, 0x00, 0x10,
                                0x00, 0xF0, 0x00, 0x80, 0x00, 0x80};
    DecodeY4MFrame(planes16, t16, &frame);
    EXPECT_TRUE(SamePixel(PixelAt(frame, 0, 0), YCPixel{0, -2048, 0}));
    EXPECT_TRUE(SamePixel(PixelAt(frame, 1, 0), YCPixel{4096, 2048, 0}));
    EXPECT_TRUE(PaddingIntact(frame));
    std::vector<uint8_t> bytes;
    EncodeY4MFrame(frame, t16, &bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "FRAME\n" + std::string(planes16, planes16 + sizeof planes16));

    const RowLevels t8 = MakeRowLevels(8, VideoRange::limited);
    const uint8_t planes8[] = {16, 235, 16, 240, 128, 128};
    DecodeY4MFrame(planes8, t8, &frame);
    EXPECT_TRUE(SamePixel(PixelAt(frame, 1, 0), YCPixel{4096, 2048, 0}));
    EncodeY4MFrame(frame, t8, &bytes);
    EXPECT_EQ(std::string(bytes.begin() + 6, bytes.end()), std::string(planes8, planes8 + 6));

    // A 10-bit word past 1023 is taken as 1023, not read past the table.
    const RowLevels t10 = MakeRowLevels(10, VideoRange::limited);
    const uint8_t planes10[] = {0xFF, 0xFF, 0xFF, 0x03, 0, 2, 0, 2, 0, 2, 0, 2};
    DecodeY4MFrame(planes10, t10, &frame);
    EXPECT_EQ(PixelAt(frame, 0, 0).y, PixelAt(frame, 1, 0).y);
}

// Three 4x2 frames of 8 bits, broken in various ways. Each case says how
// many frames come out whole before the reader stops, and what the message
// must name.
TEST(Y4MReaderTest, BrokenStreamsStopAtTheRightFrame)
{
    const std::string header = "YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C444\n";
    const size_t frameBytes = 4 * 2 * 3;
    auto frame = [&](char fill, size_t size = 4 * 2 * 3) {
        return "FRAME\n" + std::string(size, fill);
    };
    struct Case {
        const char* what;
        std::string stream;
        int wholeFrames;
        const char* mentions;  // nullptr: the stream ends cleanly
    };
    const Case cases[] = {
        {"good, with frame parameters and a CR LF",
         header + frame('a') + "FRAME Ixyz\n" + std::string(frameBytes, 'b') + "FRAME\r\n" +
             std::string(frameBytes, 'c'),
         3, nullptr},
        {"header only", header, 0, nullptr},
        {"cut inside frame 2", header + frame('a') + frame('b').substr(0, 10), 1,
         "frame 2: the stream ends inside the frame, after 4 bytes"},
        {"cut inside frame 3's FRAME line", header + frame('a') + frame('b') + "FRA", 2,
         "frame 3: the stream ends inside"},
        {"frame 1 one byte long", header + frame('a', frameBytes + 1) + frame('b'), 0,
         "frame 1: its data does not end where the next FRAME line"},
        {"frame 2 two bytes short", header + frame('a') + frame('b', frameBytes - 2) + frame('c'),
         1, "frame 2: its data does not end"},
        {"another stream after frame 2",
         header + frame('a') + frame('b') + "YUV4MPEG2 W8 H2 C444\n" + frame('c', 48), 2,
         "frame 3: a new stream header"},
        {"no FRAME line at all", header + std::string(frameBytes, 'a'), 0,
         "frame 1: no FRAME line"},
        {"a line end after the last frame", header + frame('a') + frame('b') + "\r\n", 2,
         "trailing data after frame 2: 2 bytes that are no frame (\"\\x0D\\x0A\")"},
        {"the last frame a frame's size too long",
         header + frame('a') + frame('b') + std::string(frameBytes + 6, 'x'), 1,
         "frame 2: its data does not end"},
        {"frame 2 without its FRAME line",
         header + frame('a') + std::string(frameBytes, 'b') + frame('c'), 1,
         "frame 2: no FRAME line before its data"},
        {"the last frame without its FRAME line",
         header + frame('a') + frame('b') + std::string(frameBytes, 'c'), 2,
         "frame 3: no FRAME line before its data"},
        {"a FRAME line of 5000 bytes",
         header + "FRAME " + std::string(5000, 'X') + "\n" + std::string(frameBytes, 'a'), 1,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        std::fwrite(c.stream.data(), 1, c.stream.size(), file);
        std::rewind(file);
        Y4MReader reader;
        std::string error;
        ASSERT_TRUE(StartY4MReader(file, &reader, &error)) << error;
        EXPECT_EQ(reader.headerBytes, static_cast<int64_t>(header.size()));
        int whole = 0;
        Y4MRead read;
        while ((read = ReadY4MFrame(&reader, &error)) == Y4MRead::frame) {
            EXPECT_EQ(reader.samples, std::vector<uint8_t>(frameBytes, 'a' + whole));
            ++whole;
        }
        EXPECT_EQ(whole, c.wholeFrames);
        if (c.mentions == nullptr) {
            EXPECT_EQ(read, Y4MRead::end) << error;
        } else {
            EXPECT_EQ(read, Y4MRead::failed);
            EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
            // The reader stays stopped.
            EXPECT_EQ(ReadY4MFrame(&reader, &error), Y4MRead::failed);
        }
        std::fclose(file);
    }
}

}  // namespace
