#include "command_line/option_table.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iterator>

#include "command_line/file_names.h"
#include "core/correction_tracks.h"
#include "pictures/frame_size.h"
#include "reports/cube_lut.h"

namespace {

bool ParseInt(const std::string& text, long long lo, long long hi, long long* value)
{
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) {
        return false;
    }
    *value = v;
    return true;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string TrackNameList(const char* separator)
{
    std::string list;
    for (int i = 0; i < trackCount; ++i)
        list += (i == 0 ? "" : separator) + std::string(trackNames[i]);
    return list;
}

// INDEX=VALUE, blanks forgiven; with `names`, INDEX may also be one of them.
// `*unknownName` is set when INDEX is neither a number nor a name.
bool ParseIndexedValue(const std::string& text, const char* const* names, int nameCount,
                       IndexedValue* result, bool* unknownName)
{
    *unknownName = false;
    size_t equals = text.find('=');
    long long value;
    if (equals == std::string::npos ||
        !ParseInt(LowercaseWithoutBlanks(text.substr(equals + 1)), INT32_MIN, INT32_MAX, &value)) {
        return false;
    }
    const std::string index = LowercaseWithoutBlanks(text.substr(0, equals));
    long long number = -1;
    // What does not begin like a number is a name.
    const bool named = !index.empty() && !std::isdigit(static_cast<unsigned char>(index[0])) &&
                       index[0] != '-' && index[0] != '+';
    if (named) {
        for (int i = 0; i < nameCount; ++i) {
            if (index == LowercaseWithoutBlanks(names[i])) number = i;
        }
        *unknownName = number < 0 && names != nullptr;
    } else if (!ParseInt(index, 0, 255, &number)) {
        return false;
    }
    if (number < 0) return false;
    result->index = static_cast<int>(number);
    result->value = static_cast<int32_t>(value);
    return true;
}

bool BadValue(const std::string& name, const std::string& text, const std::string& expected,
              std::string* error)
{
    *error = "bad value '" + text + "' for " + name + " (expected " + expected + ")";
    return false;
}

template <bool HostOptions::*flag, bool value>
bool SetSwitch(const std::string&, const std::string&, HostOptions* options, std::string*)
{
    options->*flag = value;
    return true;
}

template <std::string HostOptions::*text>
bool SetText(const std::string&, const std::string& v, HostOptions* options, std::string*)
{
    options->*text = v;
    return true;
}

// Frames, and the frames between settings changes or releases.
template <int HostOptions::*count>
bool SetCount(const std::string& name, const std::string& v, HostOptions* options,
              std::string* error)
{
    long long n;
    if (!ParseInt(v, 1, 1000000, &n)) return BadValue(name, v, "1..1000000", error);
    options->*count = static_cast<int>(n);
    return true;
}

bool SetSize(const std::string& name, const std::string& v, HostOptions* options,
             std::string* error)
{
    const size_t x = v.find_first_of("xX");
    long long w;
    long long h;
    if (x == std::string::npos || !ParseInt(v.substr(0, x), 1, INT_MAX, &w) ||
        !ParseInt(v.substr(x + 1), 1, INT_MAX, &h)) {
        return BadValue(name, v, "WIDTHxHEIGHT, each from 1 to " + std::to_string(hostMaxFrameSide),
                        error);
    }
    options->width = static_cast<int>(w);
    options->height = static_cast<int>(h);
    return true;
}

bool SetMaxWidth(const std::string& name, const std::string& v, HostOptions* options,
                 std::string* error)
{
    long long n;
    if (!ParseInt(v, 1, INT_MAX, &n)) {
        return BadValue(name, v,
                        "a width in pixels, from the frame's width to " +
                            std::to_string(hostMaxFrameSide),
                        error);
    }
    options->maxWidth = static_cast<int>(n);
    return true;
}

bool SetRange(const std::string& name, const std::string& v, HostOptions* options,
              std::string* error)
{
    if (v != "limited" && v != "full") return BadValue(name, v, "limited or full", error);
    options->range = v == "full" ? VideoRange::full : VideoRange::limited;
    return true;
}

// "auto" leaves the matrix to the frame size.
bool SetMatrix(const std::string& name, const std::string& v, HostOptions* options,
               std::string* error)
{
    if (v != "601" && v != "709" && v != "auto") {
        return BadValue(name, v, "601, 709 or auto", error);
    }
    options->matrix.reset();
    if (v != "auto") options->matrix = v == "709" ? VideoMatrix::bt709 : VideoMatrix::bt601;
    return true;
}

bool SetCubePath(const std::string& name, const std::string& v, HostOptions* options,
                 std::string* error)
{
    options->cubePath = v;
    if (v == "-" || !NameEndsWith(v, ".cube")) {
        return BadValue(name, v, "a file name ending in .cube", error);
    }
    return true;
}

bool SetCubeSize(const std::string& name, const std::string& v, HostOptions* options,
                 std::string* error)
{
    long long n;
    if (!ParseInt(v, smallestCubeSize, largestCubeSize, &n)) {
        return BadValue(name, v,
                        std::to_string(smallestCubeSize) + ".." + std::to_string(largestCubeSize),
                        error);
    }
    options->cubeSize = static_cast<int>(n);
    return true;
}

std::string TrackText(int index)
{
    return index < trackCount ? std::string(trackNames[index]) + " (" + std::to_string(index) + ")"
                              : std::to_string(index);
}

// By number or by kelvo's slider name; each track once.
bool AddTrack(const std::string& name, const std::string& v, HostOptions* options,
              std::string* error)
{
    IndexedValue item;
    bool unknownName = false;
    if (!ParseIndexedValue(v, trackNames, trackCount, &item, &unknownName)) {
        if (unknownName) {
            *error = "bad value '" + v + "' for " + name + ": no track is called '" +
                     Trim(v.substr(0, v.find('='))) + "'; give a number from 0 to " +
                     std::to_string(trackCount - 1) + " or one of " + TrackNameList(", ");
            return false;
        }
        return BadValue(name, v,
                        "TRACK=VALUE, the track by number or name, such as 1=40 or "
                        "'Y(gain)=40'; --table lists them with their ranges",
                        error);
    }
    for (const IndexedValue& earlier : options->tracks) {
        if (earlier.index == item.index) {
            *error = "track " + TrackText(item.index) + " is given twice; give it once";
            return false;
        }
    }
    options->tracks.push_back(item);
    return true;
}

bool AddCheck(const std::string& name, const std::string& v, HostOptions* options,
              std::string* error)
{
    IndexedValue item;
    bool unknownName = false;
    if (!ParseIndexedValue(v, nullptr, 0, &item, &unknownName)) {
        return BadValue(name, v, "INDEX=VALUE, such as 0=1; --table lists them", error);
    }
    if (item.value != 0 && item.value != 1) {
        return BadValue(name, v, "INDEX=0 or INDEX=1: a check box is off or on", error);
    }
    for (const IndexedValue& earlier : options->checks) {
        if (earlier.index == item.index) {
            *error = "check box " + std::to_string(item.index) + " is given twice; give it once";
            return false;
        }
    }
    options->checks.push_back(item);
    return true;
}

// The words, broken into lines of at most `width` characters, each ending
// in \n.
std::string WrappedWords(const std::string& words, size_t width)
{
    std::string text;
    size_t lineStart = 0;
    for (size_t start = 0; start < words.size();) {
        size_t end = words.find(' ', start);
        if (end == std::string::npos) end = words.size();
        const std::string word = words.substr(start, end - start);
        if (text.size() > lineStart && text.size() - lineStart + 1 + word.size() > width) {
            text += '\n';
            lineStart = text.size();
        }
        text += (text.size() > lineStart ? " " : "") + word;
        start = end + 1;
    }
    return text + '\n';
}

// --track's help, naming every slider.
const std::string& TrackHelp()
{
    static const std::string help =
        "start with track T at V, which must lie in the track's\n" +
        WrappedWords("range. T is the track's number (0-based, see --table) or kelvo's slider "
                     "name, in any case and with blanks anywhere: " +
                         TrackNameList(" ") + "; quoted for the shell: --track 'Y(gain)=40'",
                     53);
    return help;
}

// Input, run, settings: see OptionTable.
const OptionRow optionRows[] = {
    {HelpSection::input, "-i", "--input", "FILE", Takes::once, SetText<&HostOptions::inputPath>,
     InStoppingRun::refused, Streams::any,
     "picture to process (PNG, BMP, JPEG); raw frames when\n"
     "FILE ends in .yc or .raw; a YUV4MPEG2 stream when it\n"
     "ends in .y4m or is - (standard input); without it, a\n"
     "built-in test picture: colour bars, a grey ramp, Cb\n"
     "and Cr ramps and fine detail (alternating columns,\n"
     "rows, checkerboard). A video file (.mp4, .mkv, .mov,\n"
     "...) is answered with the ffmpeg commands that grade\n"
     "it (see Video)\n"},
    {HelpSection::input, "", "--raw", "", Takes::nothing, SetSwitch<&HostOptions::rawInput, true>,
     InStoppingRun::refused, Streams::any, "read --input as raw frames whatever its name\n"},
    {HelpSection::input, "-s", "--size", "WxH", Takes::once, SetSize, InStoppingRun::refused,
     Streams::any,
     "frame size of raw input or of the test picture\n"
     "(test picture default 1280x720)\n"},
    {HelpSection::input, "", "--max-width", "N", Takes::once, SetMaxWidth, InStoppingRun::refused,
     Streams::any,
     "row pitch in pixels handed to the plug-in, >= the width\n"
     "(default: the width); the pixels past the width are\n"
     "checked to be left alone\n"},
    {HelpSection::run, "-n", "--frames", "N", Takes::once, SetCount<&HostOptions::frames>,
     InStoppingRun::refused, Streams::any,
     "frames to process. A picture, raw frames or the test\n"
     "picture are repeated as needed (default 1, or every\n"
     "frame of raw input); a stream is read up to N frames\n"
     "(default every frame), and one that ends sooner is\n"
     "noted\n"},
    {HelpSection::run, "", "--frames-expected", "N", Takes::once,
     SetCount<&HostOptions::framesExpected>, InStoppingRun::refused, Streams::only,
     "the frames a stream on standard input will bring, for\n"
     "the progress's per cent and time left (a pipe has no\n"
     "length; ffprobe knows it); no limit, unlike --frames\n"},
    {HelpSection::run, "-o", "--output", "FILE", Takes::once, SetText<&HostOptions::outputPath>,
     InStoppingRun::refused, Streams::any,
     "write the result: .png, .bmp, .jpg/.jpeg (the last\n"
     "frame), .yc/.raw (every frame, one after another),\n"
     "or a YUV4MPEG2 stream: FILE.y4m or - (standard\n"
     "output; the report then goes to standard error).\n"
     "An output that is the input file (the same name, a\n"
     "link to it, or a redirection) is refused\n"},
    {HelpSection::run, "", "--before", "FILE", Takes::once, SetText<&HostOptions::beforePath>,
     InStoppingRun::refused, Streams::any,
     "also write the input picture (the last frame's) as the\n"
     "plug-in received it: .png, .bmp, .jpg/.jpeg, to put\n"
     "beside the output\n"},
    {HelpSection::run, "", "--range", "limited|full", Takes::once, SetRange, InStoppingRun::refused,
     Streams::only, "levels of YUV4MPEG2 input and output (see Video)\n"},
    {HelpSection::run, "", "--matrix", "601|709|auto", Takes::once, SetMatrix,
     InStoppingRun::refused, Streams::only,
     "colour matrix of YUV4MPEG2 input and output (see\n"
     "Video; default auto)\n"},
    {HelpSection::run, "", "--progress", "", Takes::nothing,
     SetSwitch<&HostOptions::progress, true>, InStoppingRun::refused, Streams::any,
     "show progress on standard error even when it is not a\n"
     "terminal (on a terminal it is always shown)\n"},
    {HelpSection::run, "", "--verify", "", Takes::nothing, SetSwitch<&HostOptions::verify, true>,
     InStoppingRun::refused, Streams::any,
     "compare every output frame with the CPU reference\n"
     "model (format from the debug window's size line) and\n"
     "report the largest error per channel in host units and\n"
     "the pixels outside the model's accepted range\n"},
    {HelpSection::run, "", "--no-timing", "", Takes::nothing,
     SetSwitch<&HostOptions::timing, false>, InStoppingRun::cube, Streams::any,
     "leave out the timing summary\n"},
    {HelpSection::run, "", "--show-errors", "", Takes::nothing,
     SetSwitch<&HostOptions::showErrors, true>, InStoppingRun::kept, Streams::any,
     "show the plug-in's error boxes; by default they are\n"
     "printed to stderr and answered with OK, so nothing\n"
     "waits for a click\n"},
    {HelpSection::run, "", "--table", "", Takes::nothing, SetSwitch<&HostOptions::table, true>,
     InStoppingRun::kept, Streams::any, "print the plug-in's registration table and stop\n"},
    {HelpSection::run, "", "--precision-report", "DIR", Takes::once,
     SetText<&HostOptions::precisionReportDir>, InStoppingRun::kept, Streams::any,
     "measure every format's error against the exact\n"
     "correction on generated sweeps of the input range,\n"
     "for a few settings, write DIR/precision.md and\n"
     "DIR/precision.png and stop (other input and run\n"
     "options are refused)\n"},
    {HelpSection::run, "", "--cube", "FILE", Takes::once, SetCubePath, InStoppingRun::kept,
     Streams::any,
     "write the current settings as a 3D LUT (.cube, RGB\n"
     "in and out, 0..1, BT.601 full range) and stop; the\n"
     "plug-in itself corrects a frame holding the lattice,\n"
     "in the texture format the Format track gives; results\n"
     "outside 0..1 are clipped and counted\n"},
    {HelpSection::run, "", "--cube-size", "N", Takes::once, SetCubeSize, InStoppingRun::kept,
     Streams::any,
     "lattice points per side, 2..256 (default 33)\n"
     "(--table, --precision-report and --cube each stop,\n"
     "so only one of them can be given; an option that\n"
     "would have no say in it is refused: the cube takes\n"
     "only tracks, check boxes and --no-timing)\n"},
    {HelpSection::run, "", "--plugin", "FILE", Takes::once, SetText<&HostOptions::pluginPath>,
     InStoppingRun::kept, Streams::any, "the plug-in to load (the same as PLUGIN)\n"},
    {HelpSection::run, "-h", "--help", "", Takes::nothing, SetSwitch<&HostOptions::help, true>,
     InStoppingRun::kept, Streams::any, "this text\n"},
    {HelpSection::settings, "-t", "--track", "T=V", Takes::each, AddTrack, InStoppingRun::cube,
     Streams::any, TrackHelp().c_str()},
    {HelpSection::settings, "-c", "--check", "N=V", Takes::each, AddCheck, InStoppingRun::cube,
     Streams::any, "start with check box N at V (0 off, 1 on)\n"},
    {HelpSection::settings, "", "--update-every", "N", Takes::once,
     SetCount<&HostOptions::updateEvery>, InStoppingRun::refused, Streams::any,
     "report a settings change (onUpdate) before every\n"
     "Nth frame after the first\n"},
    {HelpSection::settings, "", "--release-every", "N", Takes::once,
     SetCount<&HostOptions::releaseEvery>, InStoppingRun::refused, Streams::any,
     "after every Nth frame switch the filter off, send\n"
     "message 1133 (free frame memory) and switch it on again\n"},
};

}  // namespace

const std::vector<OptionRow>& OptionTable()
{
    static const std::vector<OptionRow> rows(std::begin(optionRows), std::end(optionRows));
    return rows;
}

std::string LowercaseWithoutBlanks(const std::string& text)
{
    std::string result;
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return result;
}

const OptionRow* FindOption(const std::string& name)
{
    for (const OptionRow& row : OptionTable()) {
        if (name == row.name || (*row.shortName != '\0' && name == row.shortName)) return &row;
    }
    return nullptr;
}
