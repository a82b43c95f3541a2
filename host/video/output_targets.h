// What a name given for an output stands for on the disk, looked at before
// the first frame: a file (or none yet), a folder, a named pipe (a Unix
// FIFO, under Wine) or a device. Files are written through PendingFile
// (pictures/pending_file.h); a stream may also go into a named pipe, which
// is opened so that a reader going away is seen as a closed pipe.
#pragma once

#include <cstdio>
#include <string>

enum class TargetKind { absent, file, folder, pipe, device };

TargetKind KindOfTarget(const std::string& path);

// False with a message for a folder, a device, and a named pipe unless
// `pipeAllowed` (streams only: pictures and LUTs are files). `what` names
// the option ("output", "--before").
bool CheckOutputPath(const std::string& path, const char* what, bool pipeAllowed,
                     std::string* error);

// Seconds OpenPipeOutput waits for a program to open the pipe for reading.
constexpr int pipeReaderWait = 10;

// The named pipe, opened for writing only. Wine opens a FIFO for reading
// and writing through CreateFile, so that the writer is a reader too: it
// would never see its reader go away and would wait forever once the pipe
// is full. Opened with no read access, a FIFO is opened write-only and
// without blocking, which fails while no program has it open for reading;
// that is tried again for `pipeReaderWait` seconds, or until a stop request.
// Null with a message when no reader came.
std::FILE* OpenPipeOutput(const std::string& path, std::string* error);
