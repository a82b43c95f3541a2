#include "video/stream_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#include "pictures/picture_io.h"
#include "video/file_writes.h"

std::FILE* OpenStreamInput(const std::string& path, std::string* error)
{
    if (path == "-") {
        _setmode(_fileno(stdin), _O_BINARY);
        return stdin;
    }
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
    }
    return file;
}

int64_t FramesInFile(std::FILE* file, const Y4MReader& reader)
{
    if (FilePosition(file) < 0) return -1;
    const int64_t size = _filelengthi64(_fileno(file));
    const Y4MHeader& h = reader.header;
    const int64_t frame = static_cast<int64_t>(Y4MFrameBytes(h.width, h.height, h.depth)) + 6;
    return size < reader.headerBytes ? -1 : (size - reader.headerBytes) / frame;
}

void CloseStreamInput(std::FILE* file)
{
    if (file != stdin) std::fclose(file);
}

std::FILE* OpenStreamOutput(const std::string& path, std::string* error)
{
    if (path == "-") return stdout;
    std::FILE* file = OpenFile(path, "wb");
    if (file == nullptr) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
    }
    return file;
}

bool WriteBlock(std::FILE* file, const void* data, size_t size, bool checkRoom)
{
    if (checkRoom && !RoomFor(file, size)) {
        errno = ENOSPC;
        return false;
    }
    return WriteAll(file, data, size);
}

bool CloseStreamOutput(std::FILE* file)
{
    if (file == stdout) return std::fflush(stdout) == 0;
    return std::fclose(file) == 0;
}
