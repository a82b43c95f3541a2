// Reading and writing the host's input and output: pictures through stb
// (PNG, BMP, JPEG and whatever else stb_image reads) and raw frames.
//
// A raw file is a sequence of frames, each `width * height` pixels of six
// bytes (Y, Cb, Cr as signed 16-bit little-endian), rows packed with no
// padding, top row first.
//
// Paths are UTF-8; on Windows they are opened as wide paths.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "color_convert.h"
#include "yc_frame.h"

enum class FileKind { picture, png, bmp, jpeg, raw, y4m, unknown };

// By the name's ending, case-insensitive: .png, .bmp, .jpg/.jpeg, .yc/.raw,
// .y4m; any other ending gives `picture` (let the reader find out), or
// `unknown` when `forWriting` (a writer has to know what to write).
FileKind FileKindOfPath(const std::string& path, bool forWriting);

std::FILE* OpenFile(const std::string& path, const char* mode);

// Errors name the file and say whether it could not be opened or not read.
bool LoadPicture(const std::string& path, RgbImage* image, std::string* error);
bool SavePicture(const std::string& path, const RgbImage& image, std::string* error);

// All frames of a raw file; the file's size has to be a whole, nonzero
// number of frames.
bool LoadRawFrames(const std::string& path, int width, int height, int maxWidth,
                   std::vector<YCFrame>* frames, std::string* error);

// Appends one frame (its first `width` pixels of every row) to an open file.
bool WriteRawFrame(std::FILE* file, const YCFrame& frame);
