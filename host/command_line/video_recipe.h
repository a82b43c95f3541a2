// What to say to a video file given as input: filterhost reads YUV4MPEG2
// streams, which ffmpeg makes from any video file and takes back.
#pragma once

#include <string>

#include "command_line/options.h"

// Whether the name ends like a video container's (.mp4, .mov, .mkv, .ts,
// ...), in any case.
bool IsVideoFileName(const std::string& path);

// The message for a video file as input: the commands that grade it
// through ffmpeg on both sides with the options' tracks, check boxes, range
// and matrix, as docs/video.md gives them, ready for a shell in the
// project's folder.
std::string VideoFileAdvice(const std::string& inputPath, const HostOptions& options);
