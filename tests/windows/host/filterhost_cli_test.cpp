// filterhost.exe as a user runs it, on the stand-in filter and on the shipped
// plug-in: exit status, files written and what it prints.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/format_kinds.h"
#include "host_interface/texture_format_kind.h"
#include "core/correction_tracks.h"
#include "pictures/picture_io.h"
#include "pictures/test_picture.h"
#include "plugin_module.h"
#include "video/y4m_stream.h"
#include "wide_text.h"

namespace {

struct RunResult {
    DWORD status = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::wstring TempPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"filterhost_cli_" + std::to_wstring(GetCurrentProcessId()) +
           L"_" + name;
}

std::string ReadText(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

HANDLE InheritableFile(const std::wstring& path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs filterhost.exe from beside this program with the stand-in plug-in
// unless the arguments name another, and waits for it to end.
RunResult RunHost(const std::wstring& arguments, bool withStandin = true)
{
    std::wstring outPath = TempPath(L"stdout.txt");
    std::wstring errPath = TempPath(L"stderr.txt");
    HANDLE out = InheritableFile(outPath);
    HANDLE err = InheritableFile(errPath);
    std::wstring command = L"\"" + PathBesideProgram(L"filterhost.exe") + L"\" " + arguments;
    if (withStandin) {
        command += L" \"" + PathBesideProgram(L"standin_filter.auf") + L"\"";
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    RunResult result;
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);  // CTest's time limit bounds the run
        GetExitCodeProcess(process.hProcess, &result.status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        ADD_FAILURE() << "cannot start filterhost.exe, error " << GetLastError();
    }
    CloseHandle(out);
    CloseHandle(err);
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return result;
}

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

TEST(FilterHostProgram, RawFramesInAndOut)
{
    // Two different frames, cycled over three runs of the filter.
    std::wstring in = TempPath(L"in.yc");
    std::wstring out = TempPath(L"out.yc");
    YCFrame a = MakeTestPicture(6, 4, 6);
    YCFrame b = MakeTestPicture(6, 4, 6);
    for (YCPixel& p : b.pixels) p.y = static_cast<int16_t>(p.y / 2);
    std::FILE* file = OpenFile(Utf8FromWide(in.c_str()), "wb");
    ASSERT_NE(file, nullptr);
    WriteRawFrame(file, a);
    WriteRawFrame(file, b);
    std::fclose(file);

    RunResult r =
        RunHost(L"-i " + Quoted(in) + L" -s 6x4 --max-width 9 -n 3 -t 0=2 -o " + Quoted(out));
    EXPECT_EQ(r.status, 0u) << r.out << r.err;
    std::vector<YCFrame> frames;
    std::string error;
    ASSERT_TRUE(LoadRawFrames(Utf8FromWide(out.c_str()), 6, 4, 6, &frames, &error)) << error;
    ASSERT_EQ(frames.size(), 3u);
    const YCFrame* sources[3] = {&a, &b, &a};
    for (int f = 0; f < 3; ++f) {
        for (size_t i = 0; i < a.pixels.size(); ++i) {
            EXPECT_EQ(frames[f].pixels[i].y, sources[f]->pixels[i].y + 32) << f << " " << i;
            EXPECT_EQ(frames[f].pixels[i].cb, sources[f]->pixels[i].cb);
        }
    }
    EXPECT_NE(r.out.find("frames:    3 of 6x4 (max width 9), 0 failed\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << "line ends must be plain";
    DeleteFileW(in.c_str());
    DeleteFileW(out.c_str());
}

// A YUV4MPEG2 file through the stand-in, checked by --verify: out to
// standard output with the report on stderr, and out to a file from a
// stream cut short in its last frame, which stops the run at that frame
// and leaves the frames before it whole, unless --frames stops the run
// before it: the frame read ahead of the run's last one is no error. A
// line end after the last frame is trailing data: every frame is written,
// and the run fails. An output that is the input is refused untouched.
TEST(FilterHostProgram, StreamsInAndOutAndACutShortStream)
{
    std::wstring in = TempPath(L"in.y4m");
    std::wstring cut = TempPath(L"cut.y4m");
    std::wstring trailing = TempPath(L"trailing.y4m");
    std::wstring out = TempPath(L"out.y4m");
    Y4MHeader header;
    header.width = 6;
    header.height = 4;
    header.depth = 10;
    std::string stream = FormatY4MHeader(header, VideoRange::limited);
    const RowLevels levels = MakeRowLevels(10, VideoRange::limited);
    std::vector<uint8_t> bytes;
    for (int f = 0; f < 3; ++f) {
        YCFrame frame = MakeTestPicture(6, 4, 6);
        for (YCPixel& p : frame.pixels) p.cb = static_cast<int16_t>(p.cb / (f + 1));
        EncodeY4MFrame(frame, levels, &bytes);
        stream.append(bytes.begin(), bytes.end());
    }
    for (const auto& file : {std::make_pair(in, stream.substr(0, stream.size())),
                             std::make_pair(cut, stream.substr(0, stream.size() - 10)),
                             std::make_pair(trailing, stream + "\r\n")}) {
        std::FILE* f = OpenFile(Utf8FromWide(file.first.c_str()), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(file.second.data(), 1, file.second.size(), f);
        std::fclose(f);
    }
    const std::wstring neutral = L" -t 0=3 -t 1=0 -t 4=0 -t 5=0 -t 6=0 -t 9=0 -t 12=0 --verify";

    RunResult r = RunHost(L"-i " + Quoted(in) + L" -o - --progress" + neutral);
    EXPECT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out.compare(0, stream.find('\n') + 1, stream, 0, stream.find('\n') + 1), 0)
        << "standard output carries the stream, header first";
    EXPECT_EQ(r.out.size(), stream.size());
    EXPECT_NE(r.err.find("outside the accepted range: 0 pixels"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("frame 1 of 3 (33 %), "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("filterhost: 3 frames of 6x4 C444p10, limited range, BT.601 (by frame "
                         "size) in "),
              std::string::npos)
        << r.err;

    r = RunHost(L"-i " + Quoted(in) + L" -o " + Quoted(in) + neutral);
    EXPECT_EQ(r.status, 2u) << r.err;
    EXPECT_NE(r.err.find("is the input file"), std::string::npos) << r.err;
    EXPECT_EQ(ReadText(in), stream);

    r = RunHost(L"-i " + Quoted(trailing) + L" -o " + Quoted(out) + L" --matrix 709" + neutral);
    EXPECT_EQ(r.status, 2u) << r.err;
    EXPECT_NE(r.err.find("trailing data after frame 3: 2 bytes"), std::string::npos) << r.err;
    EXPECT_EQ(ReadText(out).size(), stream.size());
    EXPECT_NE(r.out.find("frames:    3 of 6x4"), std::string::npos) << r.out;

    r = RunHost(L"-i " + Quoted(in) + L" -o " + Quoted(out) + L" --frames 9" + neutral);
    EXPECT_EQ(r.status, 0u) << r.err;
    EXPECT_NE(r.err.find("the stream ended after 3 frames, fewer than --frames 9"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadText(out).size(), stream.size());

    // The frames before the cut beside the older file, which stays whole.
    r = RunHost(L"-i " + Quoted(cut) + L" -o " + Quoted(out) + neutral);
    EXPECT_EQ(r.status, 2u) << r.err;
    EXPECT_NE(r.err.find("frame 3: the stream ends inside the frame"), std::string::npos) << r.err;
    const std::wstring partial = TempPath(L"out.partial.y4m");
    std::string written = ReadText(partial);
    EXPECT_EQ(written.size(), stream.find('\n') + 1 + 2 * bytes.size()) << "header and two frames";
    EXPECT_EQ(ReadText(out).size(), stream.size());
    EXPECT_NE(r.out.find("frames:    2 of 6x4"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("outside the accepted range: 0 pixels"), std::string::npos) << r.out;

    r = RunHost(L"-i " + Quoted(cut) + L" -o " + Quoted(out) + L" --frames 2" + neutral);
    EXPECT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(ReadText(out), written);
    for (const std::wstring& path : {in, cut, trailing, out, partial}) DeleteFileW(path.c_str());
}

TEST(FilterHostProgram, TimingSummaryComesFromTheDebugWindow)
{
    RunResult r = RunHost(L"-s 16x8 -n 3 -t 15=1");
    EXPECT_EQ(r.status, 0u) << r.out << r.err;
    EXPECT_NE(r.out.find("format:    F16 (debug window: 16x8)"), std::string::npos) << r.out;
    // Put: 1, 2, 3 ms; Proc: 2, 4, 6 ms; Alloc on the first frame only.
    EXPECT_NE(r.out.find("Alloc          1       50.000      50.000      50.000\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Put            3        2.000       1.000       3.000\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Proc           3        4.000       2.000       6.000\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Total          3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nwrote:     nothing (no --output given)\n"), std::string::npos) << r.out;
}

TEST(FilterHostProgram, PictureInAndOut)
{
    std::wstring in = TempPath(L"in.png");
    std::wstring out = TempPath(L"out.bmp");
    RgbImage image;
    image.width = 5;
    image.height = 3;
    for (int i = 0; i < 15; ++i) {
        image.rgb.insert(image.rgb.end(), {static_cast<uint8_t>(i * 10), 100, 30});
    }
    std::string error;
    ASSERT_TRUE(SavePicture(Utf8FromWide(in.c_str()), image, &error)) << error;
    // No change from the stand-in at track 0 = 0: the picture must survive
    // the host's conversion both ways.
    // --before writes what the plug-in was given beside it.
    std::wstring before = TempPath(L"before.png");
    RunResult r = RunHost(L"--input " + Quoted(in) + L" --output " + Quoted(out) + L" --before " +
                          Quoted(before) + L" -t 0=0 --no-timing");
    EXPECT_EQ(r.status, 0u) << r.out << r.err;
    EXPECT_EQ(r.out.find("median"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("wrote:     " + Utf8FromWide(before.c_str()) + " (the input"),
              std::string::npos)
        << r.out;
    for (const std::wstring& written : {out, before}) {
        RgbImage back;
        ASSERT_TRUE(LoadPicture(Utf8FromWide(written.c_str()), &back, &error)) << error;
        EXPECT_EQ(back.rgb, image.rgb);
    }
    for (const std::wstring& path : {in, out, before}) DeleteFileW(path.c_str());
}

TEST(FilterHostProgram, VerifyPassesAMatchingFilterAndFailsASpoiledPixel)
{
    // The stand-in's Y + 16 * track 0 is what the model makes of a Y offset
    // on track 0, with every other colour track at 0.
    std::wstring neutral = L" -t 1=0 -t 4=0 -t 5=0 -t 6=0 -t 9=0 -t 12=0";
    RunResult good = RunHost(L"--verify -s 64x32 -n 2 -t 0=10" + neutral);
    EXPECT_EQ(good.status, 0u) << good.out << good.err;
    EXPECT_NE(good.out.find("4096 pixels in 2 frames"), std::string::npos) << good.out;
    EXPECT_NE(good.out.find("(F32)"), std::string::npos) << good.out;
    EXPECT_NE(good.out.find("outside the accepted range: 0 pixels"), std::string::npos) << good.out;

    RunResult bad = RunHost(L"--verify -s 64x32 -t 0=10 -c 1=0" + neutral);
    EXPECT_EQ(bad.status, 3u) << bad.out << bad.err;
    EXPECT_NE(bad.out.find("Cr 100"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("outside the accepted range: 1 pixels"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("at (0, 0)"), std::string::npos) << bad.out;
}

TEST(FilterHostProgram, ErrorBoxesGoToStderrAndFailTheRun)
{
    RunResult r = RunHost(L"-s 8x8 -n 2 -t 2=77");
    EXPECT_EQ(r.status, 1u) << r.out << r.err;
    EXPECT_NE(r.err.find("error box \"Standin\": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nframe refused\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("frame 2: onProcess returned 0"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("2 failed"), std::string::npos) << r.out;
}

TEST(FilterHostProgram, MistakesGiveClearMessages)
{
    const std::wstring notes = TempPath(L"notes.txt");
    std::FILE* text = OpenFile(Utf8FromWide(notes.c_str()), "wb");
    std::fputs("no module", text);
    std::fclose(text);
    struct Case {
        std::wstring arguments;
        bool withStandin;
        DWORD status;
        std::string mentions;
    };
    const std::wstring absent = TempPath(L"absent");
    const std::string absentFolder = "the folder " + Utf8FromWide(absent.c_str()) +
                                     " does not exist";
    const std::wstring notFolder = PathBesideProgram(L"standin_filter.auf");
    const Case cases[] = {
        {L"-s 4097x16", true, 2, "over the host's limit of 4096x4096"},
        {L"-s 64x16 --max-width 32", true, 2, "max width 32"},
        {L"-i " + Quoted(TempPath(L"absent.png")), true, 2, "cannot open"},
        {L"-t 16=1", true, 2, "track 16 does not exist"},
        {L"-s 8x8 -t 1=-255", true, 1, "onInit returned 0"},
        {L"--track \" cb( GAIN ) = 100000\"", true, 2,
         "track T3 (3) = 100000 lies outside its range -256..256"},
        {L"-t \"Y(gian)=1\"", true, 2, "no track is called 'Y(gian)'; give a number from 0 to 15"},
        {L"-o " + Quoted(absent + L"\\out.yc"), true, 2,
         "--output " + Utf8FromWide(absent.c_str())},
        {L"--before " + Quoted(absent + L"\\in.png"), true, 2, absentFolder},
        {L"--precision-report " + Quoted(absent + L"\\report"), true, 2, absentFolder},
        {L"--cube " + Quoted(notFolder + L"\\a.cube"), true, 2,
         Utf8FromWide(notFolder.c_str()) + " is not a folder"},
        {L"--frobnicate", true, 2, "unknown option --frobnicate (see --help)"},
        {L"--tracks 1=40", true, 2, "unknown option --tracks; did you mean --track?"},
        {L"-i " + Quoted(TempPath(L"clip.MOV")), true, 2,
         "is a video file; filterhost reads YUV4MPEG2 streams"},
        {L"-i " + Quoted(TempPath(L"absent.y4m")), true, 2, "cannot open"},
        {Quoted(PathBesideProgram(L"no_table_filter.auf")), false, 1, "GetFilterTable"},
        {Quoted(PathBesideProgram(L"nowhere.auf")), false, 1, "no such file"},
        {Quoted(TempPath(L"clip.y4m")) + L" -o x.y4m", false, 2, "to read it, give --input"},
        {Quoted(notes), false, 1, "it is not a 32-bit Windows DLL (error 193)"},
        {L"--precision-report " + Quoted(notes), true, 2, "this is a file, not a folder"},
    };
    for (const Case& c : cases) {
        RunResult r = RunHost(c.arguments, c.withStandin);
        EXPECT_EQ(r.status, c.status) << Utf8FromWide(c.arguments.c_str()) << "\n" << r.err;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos)
            << Utf8FromWide(c.arguments.c_str()) << "\n"
            << r.err;
        if (c.status == 2) {
            EXPECT_EQ(r.out, "") << "refused before any frame";
        }
    }

    DeleteFileW(notes.c_str());
}

TEST(FilterHostProgram, UnreadableAndHeldPicturesAreSaid)
{
    // An unreadable picture.
    std::wstring junk = TempPath(L"junk.png");
    std::FILE* file = OpenFile(Utf8FromWide(junk.c_str()), "wb");
    std::fputs("not a picture at all", file);
    std::fclose(file);
    RunResult r = RunHost(L"-i " + Quoted(junk));
    EXPECT_EQ(r.status, 2u);
    EXPECT_NE(r.err.find("as a picture"), std::string::npos) << r.err;
    DeleteFileW(junk.c_str());

    // A picture that cannot take its name once the frame is corrected
    // (another program holds the file open): the frame is kept beside it,
    // the report says nothing was written under the name, and the stage
    // table still counts the frame the plug-in corrected.
    std::wstring held = TempPath(L"held.png");
    const std::wstring keptBeside = TempPath(L"held.partial.png");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    r = RunHost(L"-s 8x8 -o " + Quoted(held));
    CloseHandle(holder);
    DeleteFileW(held.c_str());
    const bool kept = DeleteFileW(keptBeside.c_str()) != 0;
    EXPECT_EQ(r.status, 1u) << r.err;
    EXPECT_TRUE(kept) << r.err;
    EXPECT_EQ(r.out.find("wrote:"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("its bytes are kept in "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("held.partial.png"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("\nTotal          1 "), std::string::npos) << r.out;
}

TEST(FilterHostProgram, HelpNamesTheColourConversion)
{
    RunResult r = RunHost(L"--help", false);
    EXPECT_EQ(r.status, 0u);
    EXPECT_NE(r.out.find("BT.601 full range"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("limited range by default"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("within 7 (8 in full range)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--verify"), std::string::npos);
    for (const char* name : trackNames) EXPECT_NE(r.out.find(name), std::string::npos) << name;
}

}  // namespace

namespace {

// The shipped plug-in end to end, as the README's main job runs it: the
// built-in picture (ramps over the whole range, colour bars, alternating
// columns and rows) in every format, with settings changes, a release of
// the frame memory and a pitch wider than the frame, every frame checked
// against the reference model within the tolerance of its format.
TEST(FilterHostProgram, ShippedPluginVerifiesInEveryFormat)
{
    for (int kind = 0; kind < textureFormatKindCount; ++kind) {
        const char* tag = formatKinds[kind].name;
        SCOPED_TRACE(tag);
        RunResult r = RunHost(L"--size 161x90 --max-width 170 --frames 3 --verify --no-timing "
                              L"--update-every 1 --release-every 2 --track 1=40 --track 8=-90 "
                              L"--track 12=30 --track 15=" +
                                  std::to_wstring(kind),
                              false);
        EXPECT_EQ(r.status, 0u) << r.out << r.err;
        EXPECT_NE(r.out.find(std::string("format:    ") + tag), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("frames:    3 of 161x90 (max width 170), 0 failed"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("outside the accepted range: 0 pixels"), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

}  // namespace
