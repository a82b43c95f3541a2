#include "command_line/options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "command_line/file_names.h"
#include "command_line/video_recipe.h"
#include "host_interface/tracks.h"
#include "pictures/frame_size.h"
#include "pictures/picture_io.h"
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

bool ParseSize(const std::string& text, int* width, int* height)
{
    size_t x = text.find_first_of("xX");
    long long w;
    long long h;
    if (x == std::string::npos || !ParseInt(text.substr(0, x), 1, INT_MAX, &w) ||
        !ParseInt(text.substr(x + 1), 1, INT_MAX, &h)) {
        return false;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

// The text without blanks, in lower case: how names are compared, so that
// " R( gamm ) " is R(gamm).
std::string Squeezed(const std::string& text)
{
    std::string squeezed;
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            squeezed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return squeezed;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string TrackNameList()
{
    std::string list;
    for (int i = 0; i < trackCount; ++i) list += (i == 0 ? "" : ", ") + std::string(trackNames[i]);
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
        !ParseInt(Squeezed(text.substr(equals + 1)), INT32_MIN, INT32_MAX, &value)) {
        return false;
    }
    const std::string index = Squeezed(text.substr(0, equals));
    long long number = -1;
    // What does not begin like a number is a name.
    const bool named = !index.empty() && !std::isdigit(static_cast<unsigned char>(index[0])) &&
                       index[0] != '-' && index[0] != '+';
    if (named) {
        for (int i = 0; i < nameCount; ++i) {
            if (index == Squeezed(names[i])) number = i;
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

bool EndsWith(const std::string& text, const char* ending)
{
    const size_t n = std::strlen(ending);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != ending[i]) {
            return false;
        }
    }
    return true;
}

// What to use instead of a file filterhost cannot read or write, or "".
std::string AdviceForPath(const std::string& path, const char* direction)
{
    if (NamesStandardStream(path)) {
        return std::string(direction) + " " + path + ": for standard " +
               (direction[0] == 'i' ? "input" : "output") + " give - (a YUV4MPEG2 stream)";
    }
    if (EndsWith(path, ".yuv")) {
        return std::string(direction) + " " + path +
               ": raw YUV has no header to tell its size and layout; use a YUV4MPEG2 stream "
               "(.y4m, or - with ffmpeg's -f yuv4mpegpipe), or --raw for the host's own raw "
               "frames (.yc)";
    }
    return "";
}

// What the command line said that the options record does not keep.
struct GivenOptions {
    bool size = false;
    bool matrix = false;
    std::vector<std::string> seen;  // the options with one value, by their long names
};

// The long name of an option that has a short one.
std::string LongName(const std::string& name)
{
    static const char* const pairs[][2] = {{"-i", "--input"}, {"-o", "--output"},
                                           {"-s", "--size"},  {"-n", "--frames"},
                                           {"-t", "--track"}, {"-c", "--check"}};
    for (const auto& pair : pairs) {
        if (name == pair[0]) return pair[1];
    }
    return name;
}

bool BadValue(const std::string& name, const std::string& text, const std::string& expected,
              std::string* error)
{
    *error = "bad value '" + text + "' for " + name + " (expected " + expected + ")";
    return false;
}

// Options without a value.
struct Switch {
    const char* name;
    bool HostOptions::*flag;
    bool value;
};

const Switch switches[] = {
    {"-h", &HostOptions::help, true},
    {"--help", &HostOptions::help, true},
    {"--table", &HostOptions::table, true},
    {"--verify", &HostOptions::verify, true},
    {"--no-timing", &HostOptions::timing, false},
    {"--show-errors", &HostOptions::showErrors, true},
    {"--raw", &HostOptions::rawInput, true},
    {"--progress", &HostOptions::progress, true},
};

const char* const valueOptions[] = {
    "--range", "--matrix",    "--cube", "--cube-size", "--precision-report", "--plugin",
    "-i",      "--input",     "-o",     "--output",    "--before",           "-s",
    "--size",  "--max-width", "-n",     "--frames",    "--update-every",     "--release-every",
    "-t",      "--track",     "-c",     "--check"};

// False for any name but a switch's.
bool SetSwitch(const std::string& name, HostOptions* options)
{
    for (const Switch& s : switches) {
        if (name == s.name) {
            options->*s.flag = s.value;
            return true;
        }
    }
    return false;
}

bool TakesValue(const std::string& name)
{
    for (const char* n : valueOptions) {
        if (name == n) return true;
    }
    return false;
}

// Edits (letters put in, left out or changed) that turn one text into the
// other.
size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The long option a mistyped name most likely meant, or "" when none is
// close: at most two edits, and fewer than a third of its letters, so that
// a short name is not "corrected" into an unrelated one.
std::string NearestOption(const std::string& name)
{
    std::vector<const char*> names(std::begin(valueOptions), std::end(valueOptions));
    for (const Switch& s : switches) names.push_back(s.name);
    const std::string given = Squeezed(name);
    std::string nearest;
    size_t best = 3;
    for (const char* known : names) {
        const size_t letters = std::strlen(known) - 2;
        const size_t distance = EditDistance(given, known);
        if (std::strncmp(known, "--", 2) == 0 && distance < best && distance * 3 <= letters) {
            best = distance;
            nearest = known;
        }
    }
    return nearest;
}

// The options that name a file, a folder or a video setting.
bool SetText(const std::string& name, const std::string& v, HostOptions* options,
             GivenOptions* given, std::string* error)
{
    if (name == "--range") {
        if (v != "limited" && v != "full") return BadValue(name, v, "limited or full", error);
        options->range = v == "full" ? VideoRange::full : VideoRange::limited;
        options->rangeGiven = true;
    } else if (name == "--matrix") {
        if (v != "601" && v != "709" && v != "auto") {
            return BadValue(name, v, "601, 709 or auto", error);
        }
        options->matrixAuto = v == "auto";
        options->matrix = v == "709" ? VideoMatrix::bt709 : VideoMatrix::bt601;
        given->matrix = true;
    } else if (name == "--cube") {
        options->cubePath = v;
        if (v == "-" || !EndsWith(v, ".cube")) {
            return BadValue(name, v, "a file name ending in .cube", error);
        }
    } else if (name == "--precision-report") {
        options->precisionReportDir = v;
        if (v.empty()) return BadValue(name, "", "a folder", error);
    } else if (name == "--plugin") {
        options->pluginPath = v;
    } else if (name == "-i" || name == "--input") {
        options->inputPath = v;
    } else if (name == "-o" || name == "--output") {
        options->outputPath = v;
    } else if (name == "--before") {
        options->beforePath = v;
    }
    return true;
}

// The options that take a number, a size or an INDEX=VALUE pair.
bool SetNumber(const std::string& name, const std::string& v, HostOptions* options,
               GivenOptions* given, std::string* error)
{
    long long n;
    if (name == "--cube-size") {
        if (!ParseInt(v, smallestCubeSize, largestCubeSize, &n)) {
            return BadValue(name, v, "2..256", error);
        }
        options->cubeSize = static_cast<int>(n);
    } else if (name == "-s" || name == "--size") {
        if (!ParseSize(v, &options->width, &options->height)) {
            return BadValue(
                name, v, "WIDTHxHEIGHT, each from 1 to " + std::to_string(hostMaxFrameSide), error);
        }
        given->size = true;
    } else if (name == "--max-width") {
        if (!ParseInt(v, 1, INT_MAX, &n)) {
            return BadValue(name, v,
                            "a width in pixels, from the frame's width to " +
                                std::to_string(hostMaxFrameSide),
                            error);
        }
        options->maxWidth = static_cast<int>(n);
    } else if (name == "-n" || name == "--frames" || name == "--update-every" ||
               name == "--release-every") {
        if (!ParseInt(v, 1, 1000000, &n)) return BadValue(name, v, "1..1000000", error);
        (name == "--update-every"    ? options->updateEvery
         : name == "--release-every" ? options->releaseEvery
                                     : options->frames) = static_cast<int>(n);
    } else if (name == "-t" || name == "--track") {
        IndexedValue item;
        bool unknownName = false;
        if (!ParseIndexedValue(v, trackNames, trackCount, &item, &unknownName)) {
            if (unknownName) {
                *error = "bad value '" + v + "' for " + name + ": no track is called '" +
                         Trim(v.substr(0, v.find('='))) + "'; give a number from 0 to " +
                         std::to_string(trackCount - 1) + " or one of " + TrackNameList();
                return false;
            }
            return BadValue(name, v,
                            "TRACK=VALUE, the track by number or name, such as 1=40 or "
                            "'Y(gain)=40'; --table lists them with their ranges",
                            error);
        }
        for (const IndexedValue& earlier : options->tracks) {
            if (earlier.index == item.index) {
                *error = "track " +
                         (item.index < trackCount ? std::string(trackNames[item.index]) + " (" +
                                                        std::to_string(item.index) + ")"
                                                  : std::to_string(item.index)) +
                         " is given twice; give it once";
                return false;
            }
        }
        options->tracks.push_back(item);
    } else if (name == "-c" || name == "--check") {
        IndexedValue item;
        bool unknownName = false;
        if (!ParseIndexedValue(v, nullptr, 0, &item, &unknownName)) {
            return BadValue(name, v, "INDEX=VALUE, such as 0=1; --table lists them", error);
        }
        if (item.value != 0 && item.value != 1) {
            return BadValue(name, v, "INDEX=0 or INDEX=1: a check box is off or on", error);
        }
        options->checks.push_back(item);
    } else {
        return SetText(name, v, options, given, error);
    }
    return true;
}

// The argument at *i, and its value (the next argument, or after '=').
bool ParseArgument(const std::vector<std::string>& arguments, size_t* i, HostOptions* options,
                   GivenOptions* given, std::string* error)
{
    const std::string& a = arguments[*i];
    std::string name = a;
    std::string value;
    bool hasInlineValue = false;
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
        size_t equals = a.find('=');
        if (equals != std::string::npos) {
            name = a.substr(0, equals);
            value = a.substr(equals + 1);
            hasInlineValue = true;
        }
    }
    if (SetSwitch(name, options)) return true;
    if (TakesValue(name)) {
        if (!hasInlineValue) {
            if (*i + 1 >= arguments.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = arguments[++*i];
        }
        // An empty value is a slip (an unset shell variable, a stray '='),
        // never a choice: for a path it would mean the test picture or no
        // output at all.
        if (Trim(value).empty()) {
            *error = name + " was given an empty value";
            return false;
        }
        const std::string longName = LongName(name);
        if (longName != "--track" && longName != "--check") {
            if (std::find(given->seen.begin(), given->seen.end(), longName) != given->seen.end()) {
                *error = longName + " is given twice; give it once";
                return false;
            }
            given->seen.push_back(longName);
        }
        return SetNumber(name, value, options, given, error);
    }
    if (a.size() > 1 && a[0] == '-') {
        const std::string nearest = NearestOption(name);
        *error = "unknown option " + name +
                 (nearest.empty() ? "" : "; did you mean " + nearest + "?");
        return false;
    }
    if (!options->pluginPath.empty()) {
        *error = "unexpected argument " + a + " (only one plug-in can be loaded)";
        return false;
    }
    // Loading a picture or a stream as a module fails with "Bad EXE format".
    if (FileKindOfPath(a, true) != FileKind::unknown) {
        *error = a +
                 " would be loaded as the plug-in (an argument without an option names the "
                 "plug-in): to read it, give --input " +
                 a;
        return false;
    }
    options->pluginPath = a;
    return true;
}

bool Refuse(const std::string& message, std::string* error)
{
    *error = message;
    return false;
}

// Names that cannot be read or written as they are, raw input and the kind
// of the input.
bool CheckInput(HostOptions* options, const GivenOptions& given, std::string* error)
{
    if (!options->rawInput && IsVideoFileName(options->inputPath)) {
        return Refuse(VideoFileAdvice(options->inputPath, *options), error);
    }
    if (!options->rawInput && !AdviceForPath(options->inputPath, "input").empty()) {
        return Refuse(AdviceForPath(options->inputPath, "input"), error);
    }
    if (!AdviceForPath(options->outputPath, "output").empty()) {
        return Refuse(AdviceForPath(options->outputPath, "output"), error);
    }
    options->streamInput = !options->rawInput && IsStreamPath(options->inputPath);
    if (!options->inputPath.empty() && FileKindOfPath(options->inputPath, false) == FileKind::raw) {
        options->rawInput = true;
    }
    if (options->rawInput && options->inputPath == "-") {
        return Refuse("raw frames are read from files only; standard input carries a YUV4MPEG2 "
                      "stream",
                      error);
    }
    if (options->streamInput && given.size) {
        return Refuse("--size applies to raw input and the test picture; a YUV4MPEG2 stream has "
                      "its own size",
                      error);
    }
    return true;
}

// The options that apply to some runs only, and the kind of the output.
bool CheckRun(HostOptions* options, const GivenOptions& given, std::string* error)
{
    const bool streamOutput = IsStreamPath(options->outputPath);
    if (options->rangeGiven && !options->streamInput && !streamOutput) {
        return Refuse("--range applies to YUV4MPEG2 streams (--input or --output - or FILE.y4m)",
                      error);
    }
    if (given.matrix && !options->streamInput && !streamOutput) {
        return Refuse("--matrix applies to YUV4MPEG2 streams (--input or --output - or "
                      "FILE.y4m)",
                      error);
    }
    if (options->cubeSize != 0 && options->cubePath.empty()) {
        return Refuse("--cube-size needs --cube FILE", error);
    }
    if (options->rawInput && options->inputPath.empty()) {
        return Refuse("--raw needs --input", error);
    }
    if (options->rawInput && !given.size) {
        return Refuse("raw input needs --size WIDTHxHEIGHT", error);
    }
    if (!options->rawInput && !options->inputPath.empty() && given.size) {
        return Refuse("--size applies to raw input and the test picture; a picture has its own "
                      "size",
                      error);
    }
    return true;
}

// Where results go: --before and --output by their names.
bool CheckOutput(HostOptions* options, std::string* error)
{
    if (!options->beforePath.empty() &&
        (options->streamInput || IsStreamPath(options->beforePath) ||
         FileKindOfPath(options->beforePath, true) == FileKind::unknown ||
         FileKindOfPath(options->beforePath, true) == FileKind::raw)) {
        return Refuse("--before writes the input picture as .png, .bmp or .jpg; a stream's "
                      "frames are already in the input file",
                      error);
    }
    if (options->outputPath.empty()) {
        options->outputKind = FileKind::unknown;
    } else if (IsStreamPath(options->outputPath)) {
        options->outputKind = FileKind::y4m;
    } else {
        options->outputKind = FileKindOfPath(options->outputPath, true);
        if (options->outputKind == FileKind::unknown) {
            return Refuse("output " + options->outputPath +
                              ": the name must end in .png, .bmp, .jpg, .jpeg, .yc, .raw or .y4m, "
                              "or be - (standard output)",
                          error);
        }
    }
    return true;
}

// --table, --precision-report and --cube each write their own output and
// stop. The table is the plug-in's alone; the precision report makes its
// own frames and settings; the cube makes its own frame but takes the
// settings. An option that would have no say is refused rather than
// ignored: whoever gave it expected something of it.
bool CheckStoppingRuns(const HostOptions& o, const GivenOptions& given, std::string* error)
{
    const int stoppingRuns = (o.table ? 1 : 0) + (o.precisionReportDir.empty() ? 0 : 1) +
                             (o.cubePath.empty() ? 0 : 1);
    if (stoppingRuns > 1) {
        return Refuse("--table, --precision-report and --cube each write their output and "
                      "stop; give one of them",
                      error);
    }
    const struct {
        bool given;
        const char* name;
        bool forCube;  // has a say in the cube
    } runOptions[] = {
        {!o.inputPath.empty(), "--input", false},
        {o.rawInput, "--raw", false},
        {given.size, "--size", false},
        {o.maxWidth != 0, "--max-width", false},
        {o.frames != 0, "--frames", false},
        {!o.outputPath.empty(), "--output", false},
        {!o.beforePath.empty(), "--before", false},
        {o.rangeGiven, "--range", false},
        {given.matrix, "--matrix", false},
        {o.progress, "--progress", false},
        {o.verify, "--verify", false},
        {o.updateEvery != 0, "--update-every", false},
        {o.releaseEvery != 0, "--release-every", false},
        {!o.timing, "--no-timing", true},
        {!o.tracks.empty(), "--track", true},
        {!o.checks.empty(), "--check", true},
    };
    const char* run = o.table                         ? "--table lists what the plug-in registers"
                      : !o.precisionReportDir.empty() ? "--precision-report writes the precision "
                                                        "chart"
                      : !o.cubePath.empty()           ? "--cube writes the LUT"
                                                      : nullptr;
    if (run == nullptr) return true;
    for (const auto& r : runOptions) {
        if (r.given && !(r.forCube && !o.cubePath.empty())) {
            return Refuse(std::string(run) + " and stops; " + r.name + " does not apply", error);
        }
    }
    return true;
}

}  // namespace

bool IsStreamPath(const std::string& path)
{
    return path == "-" || FileKindOfPath(path, false) == FileKind::y4m;
}

bool ParseOptions(const std::vector<std::string>& arguments, HostOptions* options,
                  std::string* error)
{
    *options = HostOptions();
    GivenOptions given;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (!ParseArgument(arguments, &i, options, &given, error)) return false;
    }
    return CheckFileNames(*options, error) && CheckInput(options, given, error) &&
           CheckRun(options, given, error) && CheckOutput(options, error) &&
           CheckStoppingRuns(*options, given, error);
}

bool OutputIsStdout(const HostOptions& options)
{
    return options.outputPath == "-";
}
