// The command line: what is accepted, what is refused, and the frame limits.
#include <gtest/gtest.h>

#include "command_line/options.h"
#include "core/correction_tracks.h"
#include "pictures/frame_size.h"

namespace {

bool Parse(std::vector<std::string> args, HostOptions* options, std::string* error)
{
    return ParseOptions(args, options, error);
}

TEST(Options, DefaultsWithoutArguments)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({}, &o, &error)) << error;
    EXPECT_TRUE(o.pluginPath.empty());
    EXPECT_TRUE(o.inputPath.empty());
    EXPECT_EQ(o.frames, 0);
    EXPECT_TRUE(o.timing);
    EXPECT_FALSE(o.showErrors);
    EXPECT_FALSE(o.verify);
}

TEST(Options, FullCommandLineInBothSpellings)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"-i",
                       "in.yc",
                       "--size=320x200",
                       "--max-width",
                       "400",
                       "-t",
                       "0=12",
                       "--track=15=4",
                       "-c",
                       "0=1",
                       "-n",
                       "30",
                       "-o",
                       "out.png",
                       "--verify",
                       "--no-timing",
                       "--show-errors",
                       "--update-every",
                       "5",
                       "--release-every=7",
                       "other.auf"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.inputPath, "in.yc");
    EXPECT_TRUE(o.rawInput);
    EXPECT_EQ(o.width, 320);
    EXPECT_EQ(o.height, 200);
    EXPECT_EQ(o.maxWidth, 400);
    ASSERT_EQ(o.tracks.size(), 2u);
    EXPECT_EQ(o.tracks[0].index, 0);
    EXPECT_EQ(o.tracks[0].value, 12);
    EXPECT_EQ(o.tracks[1].index, 15);
    EXPECT_EQ(o.tracks[1].value, 4);
    ASSERT_EQ(o.checks.size(), 1u);
    EXPECT_EQ(o.checks[0].value, 1);
    EXPECT_EQ(o.frames, 30);
    EXPECT_EQ(o.outputPath, "out.png");
    EXPECT_TRUE(o.verify);
    EXPECT_FALSE(o.timing);
    EXPECT_TRUE(o.showErrors);
    EXPECT_EQ(o.updateEvery, 5);
    EXPECT_EQ(o.releaseEvery, 7);
    EXPECT_EQ(o.pluginPath, "other.auf");
}

// The plug-in's table holds the ranges; the run checks them.
TEST(Options, TrackValuesAreAnyIntegerUntilThePluginsRangesAreKnown)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"-t", "3=-256", "-t", "15=-3", "-t", "1=100000"}, &o, &error)) << error;
    EXPECT_EQ(o.tracks[0].value, -256);
    EXPECT_EQ(o.tracks[1].value, -3);
    EXPECT_EQ(o.tracks[2].value, 100000);
}

// Kelvo's slider names stand for their numbers, case and blanks aside.
TEST(Options, TracksByNumberOrSliderName)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(Parse(
        {"-t", "Y(gain)=40", "--track", "cb(gain)=64", "--track= R( gamm ) = -96", "-t", " 15 = 2"},
        &o, &error))
        << error;
    const IndexedValue expected[] = {{TrackIndex("Y(gain)"), 40},
                                     {TrackIndex("Cb(gain)"), 64},
                                     {TrackIndex("R(gamm)"), -96},
                                     {trackFormat, 2}};
    ASSERT_EQ(o.tracks.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(o.tracks[i].index, expected[i].index) << i;
        EXPECT_EQ(o.tracks[i].value, expected[i].value) << i;
    }
    for (int i = 0; i < trackCount; ++i) {
        ASSERT_TRUE(Parse({"--track", std::string(trackNames[i]) + "=1"}, &o, &error)) << error;
        EXPECT_EQ(o.tracks[0].index, i) << trackNames[i];
    }
}

TEST(Options, UnknownOptionsAreAnsweredWithTheNearestKnownOne)
{
    const std::pair<const char*, const char*> cases[] = {
        {"--tracks", "unknown option --tracks; did you mean --track?"},
        {"--ouptut=a.png", "unknown option --ouptut; did you mean --output?"},
        {"-track", "unknown option -track; did you mean --track?"},
        {"--Verify", "unknown option --Verify; did you mean --verify?"},
        {"--bogus", "unknown option --bogus"},
        {"--in", "unknown option --in"},
        {"-x", "unknown option -x"},
    };
    for (const auto& c : cases) {
        HostOptions o;
        std::string error;
        EXPECT_FALSE(Parse({c.first}, &o, &error));
        EXPECT_EQ(error, c.second);
    }
}

namespace {

struct MistakeCase {
    std::vector<std::string> args;
    const char* mentions;
};
const MistakeCase optionMistakes[] = {
    {{"-i"}, "needs a value"},
    {{"--size", "640"}, "640"},
    {{"--size", "0x480"}, "'0x480' for --size (expected WIDTHxHEIGHT, each from 1 to 4096)"},
    {{"--size", "64x48x"}, "64x48x"},
    {{"-t", "3"}, "TRACK=VALUE"},
    {{"-t", "-1=3"}, "TRACK=VALUE"},
    {{"-t", "Y(gian)=40"},
     "no track is called 'Y(gian)'; give a number from 0 to 15 or one of Y(offs), Y(gain), "},
    {{"-c", "Sync=1"}, "INDEX=VALUE"},
    {{"-i", "Holiday.MP4", "-t", "cr(gain)=9"},
     "-i Holiday.MP4 -pix_fmt yuv444p16le -strict -1 -f yuv4mpegpipe - |\n"
     "    scripts/run --input - --output - --frames-expected \"$frames\" --track 'Cr(gain)=9' "
     "|\n"},
    {{"-i", "a b.mkv"}, "-i 'a b.mkv' -map 0:v -map '1:a?' -c:v ffv1 -c:a copy 'a b-graded.mkv'"},
    {{"-i", "a.mkv", "-o", "Graded.MP4"}, "-c:v libx264 -qp 0 -c:a copy Graded.MP4"},
    {{"-i", "a.mkv", "-o", "g.y4m"}, "--output g.y4m --frames-expected \"$frames\""},
    {{"--frames-expected", "9"}, "--frames-expected applies to YUV4MPEG2 streams"},
    {{"-t", "3=abc"}, "TRACK=VALUE"},
    {{"-t", "3=99999999999"}, "TRACK=VALUE"},
    {{"-n", "0"}, "1..1000000"},
    {{"--max-width", "-5"}, "from the frame's width to 4096"},
    {{"a.auf", "b.auf"}, "b.auf"},
    {{"-i", "frames.raw"}, "--size"},
    {{"--raw"}, "--input"},
    {{"-i", "photo.png", "-s", "64x64"}, "--size"},
    {{"-o", "result.tiff"}, ".y4m"},
    {{"-i", "-", "-s", "64x48"}, "own size"},
    {{"-i", "-", "--raw", "-s", "64x48"}, "files only"},
    {{"--range", "tv"}, "limited or full"},
    {{"-i", "a.png", "--range", "full"}, "YUV4MPEG2"},
    {{"--cube-size", "17"}, "--cube FILE"},
    {{"--cube", "a.cube", "--cube-size", "1"}, "2..256"},
    {{"--cube", "a.cube", "-i", "clip.y4m"}, "--cube writes the LUT and stops; --input does "},
    {{"--cube", "a.cube", "--verify"}, "; --verify does not apply"},
    {{"--cube", "a.cube", "--before", "b.png"}, "; --before does not apply"},
    {{"--cube", "-"}, "'-' for --cube (expected a file name ending in .cube)"},
    {{"--cube", "x.png"}, "ending in .cube"},
    {{"--table", "-i", "missing.png"},
     "--table lists what the plug-in registers and stops; "
     "--input does not apply"},
    {{"--table", "-t", "1=40"}, "; --track does not apply"},
    {{"--precision-report", "d", "-t", "1=40"}, "; --track does not apply"},
    {{"-o", ""}, "-o was given an empty value"},
    {{"--output="}, "--output was given an empty value"},
    {{"-i", " "}, "-i was given an empty value"},
    {{"--before", ""}, "--before was given an empty value"},
    {{"--cube", ""}, "--cube was given an empty value"},
    {{"-o", "a.png", "--output", "b.png"}, "--output is given twice; give it once"},
    {{"-i", "a.png", "-i", "b.png"}, "--input is given twice"},
    {{"--matrix", "601", "--matrix=709", "-o", "-"}, "--matrix is given twice"},
    {{"-c", "0=7"}, "a check box is off or on"},
    {{"-c", "0=1", "--check", "0=0"}, "check box 0 is given twice; give it once"},
    {{"-t", "1=40", "-t", "y(gain)=9"}, "track Y(gain) (1) is given twice"},
    {{"--matrix", "bt709"}, "601, 709 or auto"},
    {{"-i", "a.png", "--matrix", "709"}, "YUV4MPEG2"},
    {{"-i", "clip.YUV"}, "use a YUV4MPEG2 stream (.y4m, or -"},
    {{"-i", "/dev/stdin"}, "give -"},
    {{"-i", "-", "-o", "/dev/stdout"}, "for standard output give -"},
    {{"--precision-report", "d", "-i", "clip.y4m"}, "; --input does not apply"},
    {{"--precision-report", "d", "-n", "3", "--verify"}, "; --frames does not apply"},
    {{"--precision-report", "d", "--no-timing"}, "; --no-timing does not apply"},
    {{"--cube", "a.cube", "--table"}, "give one of them"},
    {{"clip.y4m"}, "to read it, give --input clip.y4m"},
    {{"-o", "nul.y4m"}, "NUL is a Windows device name"},
    {{"-o", "/dev/null"}, "leave out --output"},
    {{"-o", "sub/Aux.Y4M"}, "AUX is a Windows device name, in any folder"},
    {{"-o", "com1.png"}, "serial port"},
    {{"-o", "LPT9 .y4m"}, "printer port"},
    {{"-o", "con.y4m"}, "for standard output give -"},
    {{"--before", "prn.png", "-o", "a.png"}, "PRN is a Windows device name"},
    {{"-i", "nul.y4m"}, "rename the file"},
    {{"--cube", "aux.cube"}, "AUX"},
};

}  // namespace

TEST(Options, MistakesAreRefusedWithTheirReason)
{
    for (const MistakeCase& c : optionMistakes) {
        HostOptions o;
        std::string error;
        EXPECT_FALSE(Parse(c.args, &o, &error)) << c.args[0];
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    }
}

TEST(Options, StreamsAndLuts)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(
        Parse({"-i", "-", "-o", "-", "--range=full", "--progress", "-t", "1=40"}, &o, &error))
        << error;
    EXPECT_TRUE(IsStreamPath(o.inputPath));
    EXPECT_TRUE(IsStreamPath(o.outputPath));
    EXPECT_FALSE(o.rawInput);
    EXPECT_EQ(o.range, VideoRange::full);
    EXPECT_TRUE(o.progress);
    ASSERT_TRUE(Parse({"-i", "Clip.Y4M", "-o", "graded.y4m"}, &o, &error)) << error;
    EXPECT_FALSE(o.range);
    EXPECT_TRUE(IsStreamPath(o.inputPath));
    EXPECT_FALSE(o.matrix);
    ASSERT_TRUE(Parse({"-o", "-", "--range", "limited", "--matrix=709"}, &o, &error)) << error;
    EXPECT_EQ(o.matrix, VideoMatrix::bt709);
    ASSERT_TRUE(Parse({"-i", "clip.yuv", "--raw", "-s", "8x8"}, &o, &error)) << error;
    ASSERT_TRUE(Parse({"--cube", "grade.cube", "-t", "8=-90"}, &o, &error)) << error;
    EXPECT_EQ(o.cubePath, "grade.cube");
    EXPECT_EQ(o.cubeSize, 0);
    ASSERT_TRUE(Parse({"--cube", "grade.cube", "--cube-size=65"}, &o, &error)) << error;
    EXPECT_EQ(o.cubeSize, 65);
    // Names that only look like devices, and Unix paths that are files.
    ASSERT_TRUE(Parse({"-i", "/dev/shm/in.yuv4mpeg", "-o", "nullify.y4m"}, &o, &error)) << error;
    EXPECT_TRUE(o.streamInput);
    EXPECT_EQ(o.outputKind, FileKind::y4m);
    ASSERT_TRUE(Parse({"-o", "com10.png", "--before", "sub.con/lpt.png"}, &o, &error)) << error;
}

TEST(Options, RawInputByNameOrSwitch)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"-i", "CLIP.YC", "-s", "8x8"}, &o, &error)) << error;
    EXPECT_TRUE(o.rawInput);
    ASSERT_TRUE(Parse({"-i", "clip.bin", "--raw", "-s", "8x8"}, &o, &error)) << error;
    EXPECT_TRUE(o.rawInput);
    ASSERT_TRUE(Parse({"-i", "clip.jpeg"}, &o, &error)) << error;
    EXPECT_FALSE(o.rawInput);
}

TEST(Options, FrameSizeLimits)
{
    std::string error;
    EXPECT_TRUE(CheckFrameSize(4096, 4096, 4096, &error));
    EXPECT_TRUE(CheckFrameSize(1, 1, 1, &error));
    EXPECT_TRUE(CheckFrameSize(100, 10, 4096, &error));
    EXPECT_FALSE(CheckFrameSize(4097, 10, 4097, &error));
    EXPECT_NE(error.find("4096x4096"), std::string::npos) << error;
    EXPECT_FALSE(CheckFrameSize(10, 4097, 10, &error));
    EXPECT_FALSE(CheckFrameSize(0, 10, 10, &error));
    EXPECT_FALSE(CheckFrameSize(100, 10, 99, &error));
    EXPECT_NE(error.find("99"), std::string::npos) << error;
    EXPECT_FALSE(CheckFrameSize(100, 10, 4097, &error));
}

}  // namespace
