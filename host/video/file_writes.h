// Keeping a file's frames whole when a write fails (the writes themselves
// are WriteAll's, picture_io.h).
//
// A file is cut back to the end of its last whole frame after a failed
// write. Where that cannot be done (under Wine, a standard handle that a
// Unix shell opened cannot have its size set), each write is made only when
// the file's volume has room for all of it, so that a full disk stops the
// run before a frame is begun rather than inside one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The position in a file on a disk, or -1 for a pipe or a console.
int64_t FilePosition(std::FILE* file);

// Whether the file's end can be set (tried at its current end, which
// changes nothing).
bool CanCutBack(std::FILE* file);

// Sets the file's end to `size`.
bool CutBack(std::FILE* file, int64_t size);

// Whether the file's volume has room for `bytes` more, counted in whole
// allocation units with one to spare. True when the volume does not say.
bool RoomFor(std::FILE* file, uint64_t bytes);
