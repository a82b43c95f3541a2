// An output file that takes its name only when the run that makes it
// succeeds. Its bytes go to a temporary file beside it (NAME.filterhost.part),
// which one run at a time may hold: a second run, or a second output of the
// same run, that wants to write the same name is refused while the first
// holds it. At the end the temporary file either takes the name, replacing
// any file of that name in one step, or, for a run that ended early or
// failed, is kept under a name of its own or removed. An older file of the
// name is never cut or overwritten by a run that does not succeed.
//
// Paths are UTF-8; on Windows they are opened as wide paths.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

struct PendingFile {
    std::string path;       // the name the file is to take
    std::string temporary;  // beside it, while it is written
    std::FILE* file = nullptr;
    bool existed = false;  // a file of that name was there when writing began
    int firstError = 0;    // errno of the first failed write; 0 none
    // The temporary file is no longer where it was put: its folder was
    // renamed, moved or (`deleted`) deleted while the run wrote it. It is
    // then closed as it is, neither renamed nor removed.
    bool displaced = false;
    bool deleted = false;

    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();
};

// Creates and holds the temporary file. False with a message naming `path`
// when it cannot be created or another writer holds it.
bool BeginFile(const std::string& path, PendingFile* pending, std::string* error);

// Appends; after a failure it writes nothing more and keeps the reason.
void PutBytes(PendingFile* pending, const void* data, size_t size);

// A complete file: flushed, closed and given its name, replacing any file of
// that name. When a write failed it is removed instead; false with a message
// naming the file and the system's reason ("No space left on device") then.
// When the name cannot be taken, the bytes stay under the name KeepFile
// would choose, given in the message.
bool FinishFile(PendingFile* pending, std::string* error);

// An incomplete file, kept as it is: under its own name when no file of that
// name was there, otherwise (or when one has appeared since) under the first
// free name of STEM.partial.EXT, STEM.partial-2.EXT, ... up to
// `partialNames`, and when every one of them is taken, under its temporary
// name; `kept` receives the name. False with a message when it cannot be
// kept (it is removed, unless displaced).
bool KeepFile(PendingFile* pending, std::string* kept, std::string* error);

constexpr int partialNames = 99;

// Removes the temporary file; any file of the name stays as it was.
void DiscardFile(PendingFile* pending);

// "clip.partial.y4m" for "clip.y4m" (n 1), "clip.partial-2.y4m" (n 2).
std::string PartialName(const std::string& path, int n);
