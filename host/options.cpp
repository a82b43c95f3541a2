#include "options.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "cube_lut.h"
#include "picture_io.h"

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

// A device path where "-" is meant: /dev/stdin, /dev/stdout, CON and the like.
bool IsDevicePath(const std::string& path)
{
    return path.compare(0, 5, "/dev/") == 0 || path.compare(0, 4, "\\\\.\\") == 0 ||
           path == "CON" || path == "CONIN$" || path == "CONOUT$";
}

// What to use instead of a file filterhost cannot read or write, or "".
std::string AdviceForPath(const std::string& path, const char* direction)
{
    if (IsDevicePath(path)) {
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

}  // namespace

bool IsStreamPath(const std::string& path)
{
    return path == "-" || FileKindOfPath(path, false) == FileKind::y4m;
}

bool ParseOptions(const std::vector<std::string>& arguments, HostOptions* options,
                  std::string* error)
{
    *options = HostOptions();
    bool sizeGiven = false;
    bool matrixGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        // Options that take a value accept it as the next argument or after '='.
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
        auto takeValue = [&](std::string* out) {
            if (hasInlineValue) {
                *out = value;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                *error = name + " needs a value";
                return false;
            }
            *out = arguments[++i];
            return true;
        };
        auto bad = [&](const std::string& text, const std::string& expected) {
            *error = "bad value '" + text + "' for " + name + " (expected " + expected + ")";
            return false;
        };
        std::string v;
        long long n;
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
        } else if (name == "--range") {
            if (!takeValue(&v)) return false;
            if (v != "limited" && v != "full") return bad(v, "limited or full");
            options->range = v == "full" ? VideoRange::full : VideoRange::limited;
            options->rangeGiven = true;
        } else if (name == "--matrix") {
            if (!takeValue(&v)) return false;
            if (v != "601" && v != "709" && v != "auto") return bad(v, "601, 709 or auto");
            options->matrixAuto = v == "auto";
            options->matrix = v == "709" ? VideoMatrix::bt709 : VideoMatrix::bt601;
            matrixGiven = true;
        } else if (name == "--cube") {
            if (!takeValue(&options->cubePath)) return false;
            if (options->cubePath.empty()) return bad("", "a file name");
        } else if (name == "--cube-size") {
            if (!takeValue(&v)) return false;
            if (!ParseInt(v, smallestCubeSize, largestCubeSize, &n)) return bad(v, "2..256");
            options->cubeSize = static_cast<int>(n);
        } else if (name == "--precision-report") {
            if (!takeValue(&options->precisionReportDir)) return false;
            if (options->precisionReportDir.empty()) return bad("", "a folder");
        } else if (name == "--plugin") {
            if (!takeValue(&options->pluginPath)) return false;
        } else if (name == "-i" || name == "--input") {
            if (!takeValue(&options->inputPath)) return false;
        } else if (name == "-o" || name == "--output") {
            if (!takeValue(&options->outputPath)) return false;
        } else if (name == "--before") {
            if (!takeValue(&options->beforePath)) return false;
        } else if (name == "-s" || name == "--size") {
            if (!takeValue(&v)) return false;
            if (!ParseSize(v, &options->width, &options->height)) {
                return bad(v, "WIDTHxHEIGHT, each from 1 to " + std::to_string(hostMaxFrameSide));
            }
            sizeGiven = true;
        } else if (name == "--max-width") {
            if (!takeValue(&v)) return false;
            if (!ParseInt(v, 1, INT_MAX, &n)) {
                return bad(v, "a width in pixels, from the frame's width to " +
                                  std::to_string(hostMaxFrameSide));
            }
            options->maxWidth = static_cast<int>(n);
        } else if (name == "-n" || name == "--frames") {
            if (!takeValue(&v)) return false;
            if (!ParseInt(v, 1, 1000000, &n)) return bad(v, "1..1000000");
            options->frames = static_cast<int>(n);
        } else if (name == "--update-every" || name == "--release-every") {
            if (!takeValue(&v)) return false;
            if (!ParseInt(v, 1, 1000000, &n)) return bad(v, "1..1000000");
            (name == "--update-every" ? options->updateEvery : options->releaseEvery) =
                static_cast<int>(n);
        } else if (name == "-t" || name == "--track" || name == "-c" || name == "--check") {
            if (!takeValue(&v)) return false;
            IndexedValue item;
            if (!ParseIndexedValue(v, &item)) {
                return bad(v, "INDEX=VALUE, such as 1=40; --table lists them with their ranges");
            }
            (name == "-t" || name == "--track" ? options->tracks : options->checks)
                .push_back(item);
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option " + a;
            return false;
        } else if (options->pluginPath.empty()) {
            options->pluginPath = a;
        } else {
            *error = "unexpected argument " + a + " (only one plug-in can be loaded)";
            return false;
        }
    }
    if (!options->rawInput && !AdviceForPath(options->inputPath, "input").empty()) {
        *error = AdviceForPath(options->inputPath, "input");
        return false;
    }
    if (!AdviceForPath(options->outputPath, "output").empty()) {
        *error = AdviceForPath(options->outputPath, "output");
        return false;
    }
    const bool streamInput = !options->rawInput && IsStreamPath(options->inputPath);
    if (!options->inputPath.empty() &&
        FileKindOfPath(options->inputPath, false) == FileKind::raw) {
        options->rawInput = true;
    }
    if (options->rawInput && options->inputPath == "-") {
        *error = "raw frames are read from files only; standard input carries a YUV4MPEG2 stream";
        return false;
    }
    if (streamInput && sizeGiven) {
        *error = "--size applies to raw input and the test picture; a YUV4MPEG2 stream has its "
                 "own size";
        return false;
    }
    if (options->rangeGiven && !streamInput && !IsStreamPath(options->outputPath)) {
        *error = "--range applies to YUV4MPEG2 streams (--input or --output - or FILE.y4m)";
        return false;
    }
    if (matrixGiven && !streamInput && !IsStreamPath(options->outputPath)) {
        *error = "--matrix applies to YUV4MPEG2 streams (--input or --output - or FILE.y4m)";
        return false;
    }
    if (options->cubeSize != 0 && options->cubePath.empty()) {
        *error = "--cube-size needs --cube FILE";
        return false;
    }
    if (!options->cubePath.empty() &&
        (!options->inputPath.empty() || !options->outputPath.empty() || options->frames != 0)) {
        *error = "--cube writes the LUT and stops; --input, --output and --frames do not apply";
        return false;
    }
    if (options->rawInput && options->inputPath.empty()) {
        *error = "--raw needs --input";
        return false;
    }
    if (options->rawInput && !sizeGiven) {
        *error = "raw input needs --size WIDTHxHEIGHT";
        return false;
    }
    if (!options->rawInput && !options->inputPath.empty() && sizeGiven) {
        *error = "--size applies to raw input and the test picture; a picture has its own size";
        return false;
    }
    if (!options->beforePath.empty() &&
        (streamInput || IsStreamPath(options->beforePath) ||
         FileKindOfPath(options->beforePath, true) == FileKind::unknown ||
         FileKindOfPath(options->beforePath, true) == FileKind::raw)) {
        *error = "--before writes the input picture as .png, .bmp or .jpg; a stream's frames "
                 "are already in the input file";
        return false;
    }
    if (!options->outputPath.empty() && !IsStreamPath(options->outputPath) &&
        FileKindOfPath(options->outputPath, true) == FileKind::unknown) {
        *error = "output " + options->outputPath +
                 ": the name must end in .png, .bmp, .jpg, .jpeg, .yc, .raw or .y4m, "
                 "or be - (standard output)";
        return false;
    }
    return true;
}

bool CheckFrameSize(int width, int height, int maxWidth, std::string* error)
{
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width < 1 || height < 1) {
        *error = "frame size " + size + " is empty";
        return false;
    }
    if (width > hostMaxFrameSide || height > hostMaxFrameSide) {
        *error = "frame size " + size + " is over the host's limit of 4096x4096";
        return false;
    }
    if (maxWidth < width || maxWidth > hostMaxFrameSide) {
        *error = "max width " + std::to_string(maxWidth) + " must lie between the width " +
                 std::to_string(width) + " and 4096";
        return false;
    }
    return true;
}

const char* UsageText()
{
    return
        "usage: filterhost [options] [PLUGIN]\n"
        "\n"
        "Loads a filter plug-in of the host interface (default: kelvo.auf beside\n"
        "filterhost.exe), starts it (onInit), passes frames through onProcess, stops it\n"
        "(onExit) and reports the stage timings the plug-in shows in its debug window.\n"
        "\n"
        "Input\n"
        "  -i, --input FILE      picture to process (PNG, BMP, JPEG); raw frames when\n"
        "                        FILE ends in .yc or .raw; a YUV4MPEG2 stream when it\n"
        "                        ends in .y4m or is - (standard input); without it, a\n"
        "                        built-in test picture: colour bars, a grey ramp, Cb\n"
        "                        and Cr ramps and fine detail (alternating columns,\n"
        "                        rows, checkerboard)\n"
        "      --raw             read --input as raw frames whatever its name\n"
        "  -s, --size WxH        frame size of raw input or of the test picture\n"
        "                        (test picture default 1280x720)\n"
        "      --max-width N     row pitch in pixels handed to the plug-in, >= the width\n"
        "                        (default: the width); the pixels past the width are\n"
        "                        checked to be left alone\n"
        "  Frames are at most 4096x4096, and --max-width at most 4096.\n"
        "\n"
        "Settings\n"
        "  -t, --track N=V       start with track N (0-based, see --table) at V, which\n"
        "                        must lie in the track's range\n"
        "  -c, --check N=V       start with check box N at V\n"
        "      --update-every N  report a settings change (onUpdate) before every\n"
        "                        Nth frame after the first\n"
        "      --release-every N after every Nth frame switch the filter off, send\n"
        "                        message 1133 (free frame memory) and switch it on again\n"
        "  Before the first frame the host calls onUpdate once, as after loading\n"
        "  settings, so RGB sync applies to the starting values.\n"
        "\n"
        "Run\n"
        "  -n, --frames N        frames to process. A picture, raw frames or the test\n"
        "                        picture are repeated as needed (default 1, or every\n"
        "                        frame of raw input); a stream is read up to N frames\n"
        "                        (default every frame), and one that ends sooner is\n"
        "                        noted\n"
        "  -o, --output FILE     write the result: .png, .bmp, .jpg/.jpeg (the last\n"
        "                        frame), .yc/.raw (every frame, one after another),\n"
        "                        or a YUV4MPEG2 stream: FILE.y4m or - (standard\n"
        "                        output; the report then goes to standard error).\n"
        "                        An output that is the input file (the same name, a\n"
        "                        link to it, or a redirection) is refused\n"
        "      --before FILE     also write the input picture (the last frame's) as the\n"
        "                        plug-in received it: .png, .bmp, .jpg/.jpeg, to put\n"
        "                        beside the output\n"
        "      --range limited|full\n"
        "                        levels of YUV4MPEG2 input and output (see Video)\n"
        "      --matrix 601|709|auto\n"
        "                        colour matrix of YUV4MPEG2 input and output (see\n"
        "                        Video; default auto)\n"
        "      --progress        show progress on standard error even when it is not a\n"
        "                        terminal (on a terminal it is always shown)\n"
        "      --verify          compare every output frame with the CPU reference\n"
        "                        model (format from the debug window's size line) and\n"
        "                        report the largest error per channel in host units and\n"
        "                        the pixels outside the model's accepted range\n"
        "      --no-timing       leave out the timing summary\n"
        "      --show-errors     show the plug-in's error boxes; by default they are\n"
        "                        printed to stderr and answered with OK, so nothing\n"
        "                        waits for a click\n"
        "      --table           print the plug-in's registration table and stop\n"
        "      --precision-report DIR\n"
        "                        measure every format's error against the exact\n"
        "                        correction on generated sweeps of the input range,\n"
        "                        for a few settings, write DIR/precision.md and\n"
        "                        DIR/precision.png and stop (other input and run\n"
        "                        options do not apply)\n"
        "      --cube FILE       write the current settings as a 3D LUT (.cube, RGB\n"
        "                        in and out, 0..1, BT.601 full range) and stop; the\n"
        "                        plug-in itself corrects a frame holding the lattice,\n"
        "                        in the format of track 15; results outside 0..1 are\n"
        "                        clipped and counted\n"
        "      --cube-size N     lattice points per side, 2..256 (default 33)\n"
        "      --plugin FILE     the plug-in to load (the same as PLUGIN)\n"
        "  -h, --help            this text\n"
        "\n"
        "Colours\n"
        "  Pictures become host pixels through ITU-R BT.601 full range on the host's\n"
        "  scale of 4096 steps per unit: Y = 0.299 R + 0.587 G + 0.114 B with white\n"
        "  = 4096; Cb = (B - Y) / 1.772 and Cr = (R - Y) / 1.402 with +-0.5 = +-2048.\n"
        "  Output pictures use the inverse, clamped to 0..255.\n"
        "  Raw frames: per pixel Y, Cb, Cr as signed 16-bit little-endian (6 bytes),\n"
        "  rows of exactly the width, top first, frame after frame.\n"
        "\n"
        "Video\n"
        "  YUV4MPEG2 streams must be progressive 4:4:4 at 8, 10, 12 or 16 bits (C444,\n"
        "  C444p10, C444p12, C444p16); with ffmpeg on both sides:\n"
        "    ffmpeg -i clip.mp4 -pix_fmt yuv444p16le -strict -1 -f yuv4mpegpipe - |\n"
        "      filterhost --input - --output - --track 1=40 |\n"
        "      ffmpeg -f yuv4mpegpipe -i - -c:v ffv1 graded.mkv\n"
        "  Other layouts and interlaced streams are refused. Frames are read, corrected\n"
        "  and written one at a time; the output keeps the input's size, depth, frame\n"
        "  rate and aspect (16 bits, 25 fps for pictures and raw frames).\n"
        "  Levels: ITU-R BT.601, limited range by default (Y 16..235, Cb and Cr\n"
        "  16..240 at 8 bits, times 4, 16 or 256 at 10, 12 or 16 bits), or full range\n"
        "  when the stream's header says XCOLORRANGE=FULL (Y 0..2^n-1, Cb and Cr\n"
        "  centred on 2^(n-1)); --range overrides both ways. Y 16 is host 0 and Y 235\n"
        "  host 4096; Cb, Cr 16 and 240 are -2048 and 2048. A host unit is finer than\n"
        "  a code at 8, 10 and 12 bits, so with all tracks at 0 every code comes back\n"
        "  unchanged; at 16 bits a host unit spans about 14 codes (16 in full range),\n"
        "  and codes come back within 7 (8 in full range) of where they were.\n"
        "  Matrix: a stream's YCbCr is turned into RGB with its own matrix and into\n"
        "  the host's YCbCr (BT.601) with the host's, and back on output, so the\n"
        "  plug-in sees HD footage as the editor shows it. YUV4MPEG2 headers do not\n"
        "  say which matrix a stream uses; auto takes BT.709 for frames of 1280x720\n"
        "  and larger (width 1280 or more, or height 720 or more) and BT.601 below,\n"
        "  as players do, and the summary says which was used. With BT.709 and all\n"
        "  tracks at 0, codes come back unchanged at 8 and 10 bits.\n"
        "  Headers are read strictly: fields must be printable ASCII; a header line\n"
        "  ending in CR LF is read as the same header (with a note); fields filterhost\n"
        "  does not know are left out of the output header (with a note). Bytes\n"
        "  after the last whole frame are reported as trailing data, after the\n"
        "  frames before them have been written.\n"
        "  Progress (frames, frames per second, time left when the length is known)\n"
        "  goes to standard error, and a stream run ends with a one-line summary\n"
        "  there. A stream that is cut short or damaged, or a frame of another size,\n"
        "  stops the run with a message naming the frame. Every output holds whole\n"
        "  frames only: a file (standard output too, when it is a file) is cut back\n"
        "  to its last whole frame when a write fails, and pictures and LUTs are\n"
        "  written under a temporary name and renamed when complete.\n"
        "  Frames are numbered from 1 in progress, messages and the summary alike.\n"
        "\n"
        "Exit status\n"
        "  0 done; 1 the output could not be created or written (a closed pipe, a\n"
        "  full disk), the plug-in could not be loaded or started, or a frame failed;\n"
        "  2 bad command line or input: an unknown option or value, a track outside\n"
        "  its range, an output that is the input, an unreadable picture, a broken\n"
        "  or cut-short stream, trailing data; 3 --verify found pixels outside the\n"
        "  model.\n";
}
