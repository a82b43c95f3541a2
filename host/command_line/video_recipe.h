// What to say to a video file given as input: filterhost reads YUV4MPEG2
// streams, which ffmpeg makes from any video file and takes back.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "command_line/options.h"

// Where the printed commands find the program and the files. As given
// (relative, "scripts/run") unless the running host says where they are:
// filterhost fills it in with absolute paths (command_line/recipe_places.h),
// so that the commands work pasted in any folder.
struct RecipePlaces {
    std::vector<std::string> runCommand = {"scripts/run"};    // the words that start filterhost
    std::function<std::string(const std::string&)> fullPath;  // empty: paths as given
};

// Whether the name ends like a video container's (.mp4, .mov, .mkv, .ts,
// ...), in any case.
bool IsVideoFileName(const std::string& path);

// The message for a video file as input: the commands that grade it
// through ffmpeg on both sides with the options' tracks, check boxes, range
// and matrix, as docs/video.md gives them, ready for a shell. The stream's
// length comes from ffprobe (--frames-expected), so that the progress has
// per cent and time left. The result goes to --output when it names a
// video file (a stream, .y4m or -, is filterhost's own output), otherwise
// to STEM-graded.mkv in the current folder.
std::string VideoFileAdvice(const HostOptions& options, const RecipePlaces& places);
