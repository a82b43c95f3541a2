// The levels a video stream's codes follow: the range of its codes and the
// colour matrix of its YCbCr. The command line chooses them, video/ carries
// them out (video/video_levels.h).
#pragma once

enum class VideoRange { limited, full };

enum class VideoMatrix { bt601, bt709 };

inline const char* RangeName(VideoRange range)  // "limited", "full"
{
    return range == VideoRange::full ? "full" : "limited";
}

inline const char* MatrixName(VideoMatrix matrix)  // "BT.601", "BT.709"
{
    return matrix == VideoMatrix::bt709 ? "BT.709" : "BT.601";
}
