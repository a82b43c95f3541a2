// The files behind filterhost's streams, as the system sees them: standard
// input and output in binary mode, a stream file's length in frames, whole
// blocks written only where they fit, and the output closed or flushed.
// The threads that read and write frames (frame_streams.h) use these, and
// file_writes.h for where a file stands and cutting it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "video/y4m_stream.h"

// Standard input for "-", else the file; null with a message naming it.
std::FILE* OpenStreamInput(const std::string& path, std::string* error);

// The frames a regular file holds, counted from its size as if every FRAME
// line were bare; -1 for a pipe.
int64_t FramesInFile(std::FILE* file, const Y4MReader& reader);

// Closes the file; standard input stays open.
void CloseStreamInput(std::FILE* file);

// Standard output for "-", else the file, created; null with a message.
std::FILE* OpenStreamOutput(const std::string& path, std::string* error);

// The whole block; with `checkRoom` only when the volume has room for all
// of it (errno ENOSPC otherwise). errno says why a write failed.
bool WriteBlock(std::FILE* file, const void* data, size_t size, bool checkRoom);

// Flushes standard output, closes any other file; false when the last of
// the bytes could not be written.
bool CloseStreamOutput(std::FILE* file);
