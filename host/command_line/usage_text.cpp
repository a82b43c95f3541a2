#include <cstring>
#include <string>

#include "command_line/option_table.h"

namespace {

// What filterhost --help says before the options.
const char intro[] =
    "usage: filterhost [options] [PLUGIN]\n"
    "\n"
    "Loads a filter plug-in of the host interface (default: kelvo.auf beside\n"
    "filterhost.exe), starts it (onInit), passes frames through onProcess, stops it\n"
    "(onExit) and reports the stage timings the plug-in shows in its debug window.\n"
    "\n";

// The parts that list options, in the order --help shows them, each with
// what it says after its options.
const struct {
    HelpSection section;
    const char* title;
    const char* after;
} sections[] = {
    {HelpSection::input, "Input\n",
     "  Frames are at most 4096x4096, and --max-width at most 4096.\n"},
    {HelpSection::settings, "Settings\n",
     "  Before the first frame the host calls onUpdate once, as after loading\n"
     "  settings, so RGB sync applies to the starting values.\n"
     "  Each option, and each track and check box, is given at most once, and\n"
     "  never with an empty value.\n"},
    {HelpSection::run, "Run\n", ""},
};

// What --help says after the options.
const char details[] =
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
    "  C444p10, C444p12, C444p16); with ffmpeg on both sides, from the project's\n"
    "  folder (docs/video.md has more: sound, sizes, smaller files):\n"
    "    ffmpeg -hide_banner -loglevel error -nostats -i clip.mp4 \\\n"
    "        -pix_fmt yuv444p16le -strict -1 -f yuv4mpegpipe - |\n"
    "      scripts/run --input - --output - --track 'Y(gain)=40' |\n"
    "      ffmpeg -hide_banner -loglevel error -nostats -f yuv4mpegpipe -i - \\\n"
    "        -c:v ffv1 graded.mkv\n"
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
    "  Progress (frames, frames per second, and per cent done and time left when\n"
    "  the length is known: a file's, --frames or --frames-expected) goes to\n"
    "  standard error, and a stream run ends with a one-line summary there. A\n"
    "  video file as --input is answered with these commands for it, with full\n"
    "  paths and the length from ffprobe. A stream that is cut short or damaged,\n"
    "  or a frame of another size, stops the run with a message naming the frame.\n"
    "  Every output holds whole frames only. Files are written under a temporary\n"
    "  name beside them and take their name, replacing an older file, only when\n"
    "  the run succeeds; a run that stops or fails keeps its whole frames under\n"
    "  the name, or as NAME.partial.EXT beside an older file, which stays as it\n"
    "  was. Standard output, when it is a file, is cut back to its last whole\n"
    "  frame. The report says how many of the corrected frames were written.\n"
    "  Frames are numbered from 1 in progress, messages and the summary alike.\n"
    "\n"
    "Exit status\n"
    "  0 done; 1 the output could not be created or written (a closed pipe, a\n"
    "  full disk, another run writing it), the plug-in could not be loaded or\n"
    "  started, or a frame failed; 2 bad command line or input: an unknown\n"
    "  option or value, a track outside its range, an output that is the input,\n"
    "  an output whose folder is missing or takes no file (every output is\n"
    "  checked before the first frame), a folder or a device name given as a\n"
    "  file (NUL, CON, AUX, COM1... in any folder, with any extension), a video\n"
    "  file as input, an unreadable picture, a broken or cut-short stream,\n"
    "  trailing data; 3 --verify found pixels outside the model; 4 stopped\n"
    "  before the end (Ctrl-C, or SIGTERM or SIGHUP to scripts/wine-run): the\n"
    "  frames written so far are whole, and a message says after which frame.\n";

// "  -i, --input FILE      picture to process ...": the names, then the
// help lines from column 24, or under the names when they reach it.
std::string OptionLines(const OptionRow& row)
{
    constexpr size_t helpColumn = 24;
    std::string names = std::string("  ") +
                        (*row.shortName ? row.shortName + std::string(", ") : "    ") + row.name +
                        (*row.valueName ? " " + std::string(row.valueName) : "");
    names += names.size() < helpColumn ? std::string(helpColumn - names.size(), ' ')
                                       : "\n" + std::string(helpColumn, ' ');
    std::string text = names;
    for (const char* line = row.help; *line != '\0';) {
        const char* end = std::strchr(line, '\n') + 1;
        if (line != row.help) text += std::string(helpColumn, ' ');
        text.append(line, end);
        line = end;
    }
    return text;
}

std::string Usage()
{
    std::string text = intro;
    for (const auto& s : sections) {
        text += s.title;
        for (const OptionRow& row : OptionTable()) {
            if (row.section == s.section) text += OptionLines(row);
        }
        text += std::string(s.after) + "\n";
    }
    return text + details;
}

}  // namespace

const char* UsageText()
{
    static const std::string text = Usage();
    return text.c_str();
}
