// Reading and writing the host's input and output: pictures through stb
// (PNG, BMP, JPEG and whatever else stb_image reads) and raw frames.
//
// A raw file is a sequence of frames, each `width * height` pixels of six
// bytes (Y, Cb, Cr as signed 16-bit little-endian), rows packed with no
// padding, top row first.
//
// Paths are UTF-8; on Windows they are opened as wide paths.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pictures/color_convert.h"
#include "pictures/pending_file.h"
#include "pictures/yc_frame.h"

enum class FileKind { picture, png, bmp, jpeg, raw, y4m, unknown };

// By the name's ending, case-insensitive: .png, .bmp, .jpg/.jpeg, .yc/.raw,
// .y4m/.yuv4mpeg; any other ending gives `picture` (let the reader find out), or
// `unknown` when `forWriting` (a writer has to know what to write).
FileKind FileKindOfPath(const std::string& path, bool forWriting);

std::FILE* OpenFile(const std::string& path, const char* mode);

// The whole block, after what the C library holds. On Windows it goes to
// the system in as few calls as possible, past the C library, which hands a
// large block over in pieces of its buffer size (40 ms for a 12 MB frame to
// a file under Wine, against 3 ms in one call) and, under Wine, reports a
// full disk as EINVAL. errno is set as the C library would set it: EPIPE for
// a closed pipe, ENOSPC for a full disk.
bool WriteAll(std::FILE* file, const void* data, size_t size);

// Errors name the file and say whether it could not be opened or not read.
bool LoadPicture(const std::string& path, RgbImage* image, std::string* error);
bool SavePicture(const std::string& path, const RgbImage& image, std::string* error);
// The picture, encoded as its name says, into the begun file.
bool PutPicture(PendingFile* file, const RgbImage& image, std::string* error);

// A raw file's frames, read one at a time, so that a file of any size can
// be read. A named pipe has no size: its frames are read one after another
// until it ends (ReadNextRawFrame).
struct RawFrames {
    std::string path;
    std::FILE* file = nullptr;
    int64_t frames = 0;  // -1 for a pipe: not known
    int64_t framesRead = 0;
    YCFrame shape;               // the frame size, pixels zero
    std::vector<uint8_t> bytes;  // one frame as it lies in the file
};

// A file's size has to be a whole, nonzero number of frames.
bool OpenRawFrames(const std::string& path, int width, int height, int maxWidth, RawFrames* raw,
                   std::string* error);
// Frame `index` (from 0) of a file into `frame`, made of the file's shape if
// empty.
bool ReadRawFrame(RawFrames* raw, int64_t index, YCFrame* frame, std::string* error);

enum class RawRead { frame, end, failed };

// The next frame of a pipe (or a file) into `frame`: `end` when it ended
// after a whole frame, `failed` with a message naming the frame when it
// ended inside one or could not be read.
RawRead ReadNextRawFrame(RawFrames* raw, YCFrame* frame, std::string* error);
void CloseRawFrames(RawFrames* raw);

// All frames of a raw file.
bool LoadRawFrames(const std::string& path, int width, int height, int maxWidth,
                   std::vector<YCFrame>* frames, std::string* error);

// One frame (its first `width` pixels of every row) as raw bytes; and
// appended to an open file.
void EncodeRawFrame(const YCFrame& frame, std::vector<uint8_t>* bytes);
bool WriteRawFrame(std::FILE* file, const YCFrame& frame);
