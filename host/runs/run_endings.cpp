#include "runs/run_endings.h"

#include "pictures/pending_file.h"

namespace {

std::string FramesText(int64_t frames)
{
    return frames == 1 ? "frame 1" : "frames 1 to " + std::to_string(frames);
}

// What the file holds, as its kept name is followed by in the ending.
std::string Holds(const OutputFate& fate)
{
    const std::string last = std::to_string(fate.frames);
    if (fate.before) return "the input of frame " + last;
    if (fate.picture) return "frame " + last + ", corrected";
    return FramesText(fate.frames);
}

// The last name of a path.
std::string LastName(const std::string& path)
{
    const size_t folder = path.find_last_of("/\\");
    return folder == std::string::npos ? path : path.substr(folder + 1);
}

// What became of a file that did not take its name.
std::string Unfinished(const OutputFate& fate)
{
    const std::string frames = FramesText(fate.frames);
    if (fate.deleted) return frames + " of " + fate.name + " went with its deleted folder";
    if (fate.displaced) {
        return frames + " of " + fate.name + " are in " + LastName(fate.name) +
               ".filterhost.part, in the folder that held it, wherever that folder is now";
    }
    std::string text = fate.kept + " holds " + Holds(fate);
    if (fate.kept != fate.name) text += ", and " + fate.name + " was left as it was";
    if (fate.kept != fate.name + ".filterhost.part") return text;
    return text + " (" + PartialName(fate.name, 1) + " to " + PartialName(fate.name, partialNames) +
           " are all taken; rename it before the next run "
           "of " +
           fate.name + ", which takes it over)";
}

}  // namespace

std::vector<std::string> WrittenLines(const std::vector<OutputFate>& fates)
{
    std::vector<std::string> lines;
    for (const OutputFate& fate : fates) {
        if (fate.kept.empty() || fate.frames == 0 ||
            (fate.direct && fate.name == "standard output")) {
            continue;
        }
        std::string what = fate.picture ? "" : std::to_string(fate.frames) + " frames";
        if (fate.direct) {
            lines.push_back(fate.name + " (" + what + ", into a named pipe)");
        } else if (fate.complete) {
            lines.push_back(fate.name + " (" +
                            (fate.before    ? "the input, as the plug-in received it"
                             : fate.picture ? "the last frame, corrected"
                                            : what) +
                            ")");
        } else {
            lines.push_back(
                fate.kept + " (" + (fate.picture ? Holds(fate) : what) +
                "; the run did not succeed" +
                (fate.kept != fate.name ? ", so " + fate.name + " was left as it was" : "") + ")");
        }
    }
    return lines;
}

std::string EndingText(const char* stoppedBy, int64_t framesDone,
                       const std::vector<OutputFate>& fates)
{
    std::string text;
    if (stoppedBy != nullptr) {
        text = std::string("stopped by ") + stoppedBy +
               (framesDone == 0
                    ? " before the first frame"
                    : " after frame " + std::to_string(framesDone) + ", before the end");
    } else {
        text = framesDone == 0
                   ? "no frame was written"
                   : "the last whole frame written is frame " + std::to_string(framesDone);
    }
    for (const OutputFate& fate : fates) {
        text += "; ";
        if (fate.direct) {
            // Bytes a pipe took may still be dropped by its reader: ffmpeg
            // stopped by the same Ctrl-C leaves out the frames it was
            // still decoding.
            const std::string were = fate.frames == 1 ? " was" : " were";
            text += fate.frames == 0
                        ? "nothing was written to " + fate.name
                        : FramesText(fate.frames) + were +
                              (fate.pipe ? " sent whole to " : " written whole to ") + fate.name;
            if (fate.pipe && fate.frames > 0 && stoppedBy != nullptr) {
                text += " (a pipe: a program reading it that was stopped too may have kept fewer)";
            }
        } else if (fate.displaced && fate.frames > 0) {
            text += Unfinished(fate);
        } else if (fate.kept.empty()) {
            text += fate.existed ? fate.name + " was left as it was"
                                 : "nothing was written to " + fate.name;
        } else {
            text += Unfinished(fate);
        }
    }
    return text;
}
