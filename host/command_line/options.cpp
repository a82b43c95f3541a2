#include "command_line/options.h"

#include <algorithm>
#include <cstring>

#include "command_line/file_names.h"
#include "command_line/option_table.h"
#include "command_line/video_recipe.h"

namespace {

// The rows of the options the command line gave, by their place in the table.
using GivenRows = std::vector<bool>;

bool Given(const GivenRows& given, const OptionRow& row)
{
    return given[static_cast<size_t>(&row - OptionTable().data())];
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

// The option a mistyped name most likely meant, or "" when none is close:
// at most two edits, and fewer than a third of its letters, so that a short
// name is not "corrected" into an unrelated one.
std::string NearestOption(const std::string& name)
{
    const std::string given = LowercaseWithoutBlanks(name);
    std::string nearest;
    size_t best = 3;
    for (const OptionRow& row : OptionTable()) {
        const size_t letters = std::strlen(row.name) - 2;
        const size_t distance = EditDistance(given, row.name);
        if (distance < best && distance * 3 <= letters) {
            best = distance;
            nearest = row.name;
        }
    }
    return nearest;
}

// An argument that names no option (`name`: before any '='): the plug-in.
bool SetPlugin(const std::string& a, const std::string& name, HostOptions* options,
               std::string* error)
{
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

// The argument at *i, and its value (the next argument, or after '=').
bool ParseArgument(const std::vector<std::string>& arguments, size_t* i, HostOptions* options,
                   GivenRows* given, std::string* error)
{
    const std::string& a = arguments[*i];
    const bool inlineValue = a.size() > 2 && a.compare(0, 2, "--") == 0 &&
                             a.find('=') != std::string::npos;
    const std::string name = inlineValue ? a.substr(0, a.find('=')) : a;
    const OptionRow* row = FindOption(name);
    if (row == nullptr) return SetPlugin(a, name, options, error);
    std::vector<bool>::reference seen = (*given)[static_cast<size_t>(row - OptionTable().data())];
    if (row->takes == Takes::nothing) {
        seen = true;
        return row->read(name, "", options, error);
    }
    std::string value;
    if (inlineValue) {
        value = a.substr(a.find('=') + 1);
    } else if (*i + 1 < arguments.size()) {
        value = arguments[++*i];
    } else {
        *error = name + " needs a value";
        return false;
    }
    // An empty value is a slip (an unset shell variable, a stray '='), never
    // a choice: for a path it would mean the test picture or no output at all.
    if (value.find_first_not_of(" \t") == std::string::npos) {
        *error = name + " was given an empty value";
        return false;
    }
    if (row->takes == Takes::once && seen) {
        *error = std::string(row->name) + " is given twice; give it once";
        return false;
    }
    seen = true;
    return row->read(name, value, options, error);
}

bool Refuse(const std::string& message, std::string* error)
{
    *error = message;
    return false;
}

// Names that cannot be read or written as they are, raw input and the kind
// of the input.
bool CheckInput(HostOptions* options, const RecipePlaces& places, std::string* error)
{
    if (!options->rawInput && IsVideoFileName(options->inputPath)) {
        return Refuse(VideoFileAdvice(*options, places), error);
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
    if (options->streamInput && options->width != 0) {
        return Refuse("--size applies to raw input and the test picture; a YUV4MPEG2 stream has "
                      "its own size",
                      error);
    }
    return true;
}

// The options that apply to some runs only, and the kind of the output.
bool CheckRun(HostOptions* options, const GivenRows& given, std::string* error)
{
    const bool stream = options->streamInput || IsStreamPath(options->outputPath);
    for (const OptionRow& row : OptionTable()) {
        if (row.streams == Streams::only && Given(given, row) && !stream) {
            return Refuse(std::string(row.name) +
                              " applies to YUV4MPEG2 streams (--input or --output - or FILE.y4m)",
                          error);
        }
    }
    if (options->cubeSize != 0 && options->cubePath.empty()) {
        return Refuse("--cube-size needs --cube FILE", error);
    }
    if (options->rawInput && options->inputPath.empty()) {
        return Refuse("--raw needs --input", error);
    }
    if (options->rawInput && options->width == 0) {
        return Refuse("raw input needs --size WIDTHxHEIGHT", error);
    }
    if (!options->rawInput && !options->inputPath.empty() && options->width != 0) {
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
// ignored: whoever gave it expected something of it. One that has no say
// in any of them is named before one the cube would take.
bool CheckStoppingRuns(const HostOptions& o, const GivenRows& given, std::string* error)
{
    const int stoppingRuns = (o.table ? 1 : 0) + (o.precisionReportDir.empty() ? 0 : 1) +
                             (o.cubePath.empty() ? 0 : 1);
    if (stoppingRuns > 1) {
        return Refuse("--table, --precision-report and --cube each write their output and "
                      "stop; give one of them",
                      error);
    }
    const char* run = o.table                         ? "--table lists what the plug-in registers"
                      : !o.precisionReportDir.empty() ? "--precision-report writes the precision "
                                                        "chart"
                      : !o.cubePath.empty()           ? "--cube writes the LUT"
                                                      : nullptr;
    if (run == nullptr) return true;
    for (InStoppingRun refused : {InStoppingRun::refused, InStoppingRun::cube}) {
        if (refused == InStoppingRun::cube && !o.cubePath.empty()) break;
        for (const OptionRow& row : OptionTable()) {
            if (row.inStoppingRun == refused && Given(given, row)) {
                return Refuse(std::string(run) + " and stops; " + row.name + " does not apply",
                              error);
            }
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
                  std::string* error, const RecipePlaces* places)
{
    *options = HostOptions();
    GivenRows given(OptionTable().size());
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (!ParseArgument(arguments, &i, options, &given, error)) return false;
    }
    return CheckFileNames(*options, error) &&
           CheckInput(options, places != nullptr ? *places : RecipePlaces(), error) &&
           CheckRun(options, given, error) && CheckOutput(options, error) &&
           CheckStoppingRuns(*options, given, error);
}

bool OutputIsStdout(const HostOptions& options)
{
    return options.outputPath == "-";
}
