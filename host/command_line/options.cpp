#include "command_line/options.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "command_line/file_names.h"
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

bool ParseIndexedValue(const std::string& text, IndexedValue* result)
{
    size_t equals = text.find('=');
    long long index;
    long long value;
    if (equals == std::string::npos || !ParseInt(text.substr(0, equals), 0, 255, &index) ||
        !ParseInt(text.substr(equals + 1), INT32_MIN, INT32_MAX, &value)) {
        return false;
    }
    result->index = static_cast<int>(index);
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
};

bool BadValue(const std::string& name, const std::string& text, const std::string& expected,
              std::string* error)
{
    *error = "bad value '" + text + "' for " + name + " (expected " + expected + ")";
    return false;
}

// Options without a value; false for any other name.
bool SetSwitch(const std::string& name, HostOptions* options)
{
    if (name == "-h" || name == "--help") {
        options->help = true;
    } else if (name == "--table") {
        options->table = true;
    } else if (name == "--verify") {
        options->verify = true;
    } else if (name == "--no-timing") {
        options->timing = false;
    } else if (name == "--show-errors") {
        options->showErrors = true;
    } else if (name == "--raw") {
        options->rawInput = true;
    } else if (name == "--progress") {
        options->progress = true;
    } else {
        return false;
    }
    return true;
}

bool TakesValue(const std::string& name)
{
    static const char* const names[] = {
        "--range", "--matrix",    "--cube", "--cube-size", "--precision-report", "--plugin",
        "-i",      "--input",     "-o",     "--output",    "--before",           "-s",
        "--size",  "--max-width", "-n",     "--frames",    "--update-every",     "--release-every",
        "-t",      "--track",     "-c",     "--check"};
    for (const char* n : names) {
        if (name == n) return true;
    }
    return false;
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
        if (v.empty()) return BadValue(name, "", "a file name", error);
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
    } else if (name == "-t" || name == "--track" || name == "-c" || name == "--check") {
        IndexedValue item;
        if (!ParseIndexedValue(v, &item)) {
            return BadValue(
                name, v, "INDEX=VALUE, such as 1=40; --table lists them with their ranges", error);
        }
        (name == "-t" || name == "--track" ? options->tracks : options->checks).push_back(item);
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
        return SetNumber(name, value, options, given, error);
    }
    if (a.size() > 1 && a[0] == '-') {
        *error = "unknown option " + a;
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
    if (!options->cubePath.empty() &&
        (!options->inputPath.empty() || !options->outputPath.empty() || options->frames != 0)) {
        return Refuse("--cube writes the LUT and stops; --input, --output and --frames do not "
                      "apply",
                      error);
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
// stop; the precision report makes its own frames and settings, so no
// input or run option has a say in it.
bool CheckStoppingRuns(const HostOptions& o, const GivenOptions& given, std::string* error)
{
    const int stoppingRuns = (o.table ? 1 : 0) + (o.precisionReportDir.empty() ? 0 : 1) +
                             (o.cubePath.empty() ? 0 : 1);
    if (stoppingRuns > 1) {
        return Refuse("--table, --precision-report and --cube each write their output and "
                      "stop; give one of them",
                      error);
    }
    if (o.precisionReportDir.empty()) return true;
    const struct {
        bool given;
        const char* name;
    } runOptions[] = {
        {!o.inputPath.empty(), "--input"},
        {o.rawInput, "--raw"},
        {given.size, "--size"},
        {o.maxWidth != 0, "--max-width"},
        {o.frames != 0, "--frames"},
        {!o.outputPath.empty(), "--output"},
        {!o.beforePath.empty(), "--before"},
        {o.rangeGiven, "--range"},
        {given.matrix, "--matrix"},
        {o.progress, "--progress"},
        {o.verify, "--verify"},
        {!o.timing, "--no-timing"},
    };
    for (const auto& r : runOptions) {
        if (r.given) {
            return Refuse(std::string("--precision-report writes the precision chart and "
                                      "stops; ") +
                              r.name + " does not apply",
                          error);
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
