#include "command_line/video_recipe.h"

#include <cctype>

#include "core/correction_tracks.h"

namespace {

// Containers ffmpeg reads that people are likely to hand over.
const char* const videoEndings[] = {
    ".mp4", ".m4v", ".mov", ".qt",  ".avi",  ".mkv",  ".webm", ".mts", ".m2ts", ".ts",
    ".wmv", ".asf", ".flv", ".f4v", ".mpg",  ".mpeg", ".m2v",  ".vob", ".3gp",  ".mxf",
    ".ogv", ".dv",  ".nut", ".264", ".h264", ".265",  ".hevc", ".ivf",
};

std::string Lower(const std::string& text)
{
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// As a POSIX shell reads it back: quoted unless every character is plain.
std::string ShellWord(const std::string& text)
{
    bool plain = !text.empty();
    for (char c : text) {
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) ||
                          std::string("_./:=+-,").find(c) != std::string::npos);
    }
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The file's name without its folder and ending: "clip" of "/media/clip.mp4".
std::string Stem(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name.empty() ? "video" : name;
}

// FFV1 keeps every bit of the grade where the container takes it; other
// containers (.mp4 and its kin) get lossless H.264.
std::string VideoCodecFor(const std::string& path)
{
    const std::string lower = Lower(path);
    for (const char* ending : {".mkv", ".mov", ".qt", ".avi", ".nut"}) {
        const std::string e = ending;
        if (lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0) {
            return "-c:v ffv1";
        }
    }
    return "-c:v libx264 -qp 0";
}

std::string SettingWords(const HostOptions& options)
{
    std::string words;
    for (const IndexedValue& t : options.tracks) {
        const std::string index = t.index < trackCount ? trackNames[t.index]
                                                       : std::to_string(t.index);
        words += " --track " + ShellWord(index + "=" + std::to_string(t.value));
    }
    for (const IndexedValue& c : options.checks) {
        words += " --check " + std::to_string(c.index) + "=" + std::to_string(c.value);
    }
    if (options.range) words += std::string(" --range ") + RangeName(*options.range);
    if (options.matrix) {
        words += *options.matrix == VideoMatrix::bt709 ? " --matrix 709" : " --matrix 601";
    }
    return words;
}

}  // namespace

bool IsVideoFileName(const std::string& path)
{
    const std::string lower = Lower(path);
    for (const char* ending : videoEndings) {
        const std::string e = ending;
        if (lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0) {
            return true;
        }
    }
    return false;
}

std::string VideoFileAdvice(const HostOptions& options, const RecipePlaces& places)
{
    const auto place = [&places](const std::string& path) {
        return ShellWord(places.fullPath ? places.fullPath(path) : path);
    };
    const std::string input = place(options.inputPath);
    const std::string& output = options.outputPath;
    const bool streamOutput = !output.empty() && IsStreamPath(output);
    const std::string target =
        streamOutput || IsVideoFileName(output) ? output : Stem(options.inputPath) + "-graded.mkv";
    std::string run;
    for (const std::string& word : places.runCommand) run += ShellWord(word) + " ";
    const std::string quiet = "ffmpeg -hide_banner -loglevel error -nostats ";
    std::string text =
        "input " + options.inputPath +
        " is a video file; filterhost reads YUV4MPEG2 streams, so let ffmpeg decode and "
        "encode it (docs/video.md; ffprobe counts the frames for the progress):\n"
        "  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries "
        "stream=nb_read_packets -of csv=p=0 " +
        input + ")\n  " + quiet + "-i " + input +
        " -pix_fmt yuv444p16le -strict -1 -f yuv4mpegpipe - |\n    " + run + "--input - --output " +
        (streamOutput && target != "-" ? place(target) : "-") + " --frames-expected \"$frames\"" +
        SettingWords(options);
    if (streamOutput) return text;
    return text + " |\n    " + quiet + "-f yuv4mpegpipe -i - -i " + input +
           " -map 0:v -map '1:a?' " + VideoCodecFor(target) + " -c:a copy " + place(target);
}
