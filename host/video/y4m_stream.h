// YUV4MPEG2 streams, the raw-video pipe format of ffmpeg, x264, mpv and
// VapourSynth: a header line, then per frame a "FRAME" line and the frame's
// planes (Y, then Cb, then Cr), rows top first, samples of more than 8 bits
// as 16-bit little-endian words.
//
// filterhost takes progressive 4:4:4 only, at 8, 10, 12 or 16 bits (C444,
// C444p10, C444p12, C444p16); everything else is refused with a message
// that names the header field and the ffmpeg option that gives a stream it
// can read.
//
// Headers are read strictly: a field of bytes outside printable ASCII is
// refused, a header line that ends in CR LF is read as the same header (and
// noted), and fields filterhost does not know are dropped from the output
// header, with a warning, rather than passed on unread.
//
// A stream is read one frame at a time. Each frame's data is checked to be
// followed by the next FRAME line (or the end) before the frame is handed
// out, so a frame whose size differs from the header's is caught as itself
// and never passed on; a frame that lacks its FRAME line (its data follows
// the frame before, then the end or a FRAME line) is named as itself, and
// the frame before it is whole. Bytes after the last whole frame that are
// no frame are reported as trailing data; the frames before them are whole.
// FRAME lines may carry parameters of any length, which are ignored.
//
// Frames are numbered from 1 in every message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pictures/yc_frame.h"
#include "video/level_rows.h"
#include "video/video_levels.h"

struct Y4MHeader {
    int width = 0;
    int height = 0;
    int depth = 8;                   // 8, 10, 12 or 16
    std::string frameRate = "25:1";  // the F field, as given
    std::string aspect = "1:1";      // the A field
    bool hasRange = false;           // an XCOLORRANGE field was given
    VideoRange range = VideoRange::limited;
    bool crlf = false;                 // the line ended in CR LF
    std::vector<std::string> dropped;  // fields not understood, left out of the output
};

// `line` without its newline (a CR before it is taken off here). False
// with a message naming the field.
bool ParseY4MHeader(const std::string& line, Y4MHeader* header, std::string* error);

// The header line with its newline; C, XYSCSS and XCOLORRANGE (`range`)
// describe what is written. Dropped fields are not written.
std::string FormatY4MHeader(const Y4MHeader& header, VideoRange range);

// "C444p16" and the like.
std::string ColourSpaceTag(int depth);

// The bytes of one frame's planes, without its FRAME line.
size_t Y4MFrameBytes(int width, int height, int depth);

struct Y4MReader {
    std::FILE* file = nullptr;
    Y4MHeader header;
    int64_t headerBytes = 0;      // the header line with its newline
    int64_t framesRead = 0;       // frames handed out so far
    bool nextMarkerRead = false;  // the FRAME line of frame framesRead is behind us
    bool ended = false;
    std::string pendingError;      // found after a good frame, reported next
    std::vector<uint8_t> samples;  // the last frame's planes
    // Called once a frame's planes are all in `samples`, before the next
    // FRAME line is looked for, which a live input may keep waiting.
    std::function<void()> planesRead;
};

// Reads the header. False with a message for anything but a usable one.
bool StartY4MReader(std::FILE* file, Y4MReader* reader, std::string* error);

enum class Y4MRead { frame, end, failed };

// The next frame's planes into reader->samples. `failed` with a message
// naming the frame (numbered from 1) for a stream that ends inside a frame
// or whose data does not end where the next FRAME line should start, and
// for trailing data after the last whole frame (the frames before it were
// all handed out).
Y4MRead ReadY4MFrame(Y4MReader* reader, std::string* error);

// The planes of a frame of the reader's size into the host's pixels (the
// frame's first `width` pixels of each row) and back. `bytes` of
// EncodeY4MFrame receives the FRAME line and the planes, ready to write.
void DecodeY4MFrame(const uint8_t* samples, const RowLevels& levels, YCFrame* frame);
void EncodeY4MFrame(const YCFrame& frame, const RowLevels& levels, std::vector<uint8_t>* bytes);
