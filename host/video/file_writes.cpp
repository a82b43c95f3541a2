#include "video/file_writes.h"

#include <cerrno>
#include <io.h>

#include <windows.h>
#include <winternl.h>

namespace {

HANDLE HandleOf(std::FILE* file)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

// FILE_FS_FULL_SIZE_INFORMATION, asked of the open handle: the path of a
// standard handle is not always known.
struct VolumeSize {
    LARGE_INTEGER totalUnits;
    LARGE_INTEGER callerAvailableUnits;
    LARGE_INTEGER actualAvailableUnits;
    ULONG sectorsPerUnit;
    ULONG bytesPerSector;
};
constexpr int fileFsFullSizeInformation = 7;
using QueryVolumeInformation = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);

}  // namespace

int64_t FilePosition(std::FILE* file)
{
    HANDLE handle = HandleOf(file);
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return -1;
    return _telli64(_fileno(file));
}

bool CanCutBack(std::FILE* file)
{
    const int64_t position = FilePosition(file);
    return position >= 0 && position == _filelengthi64(_fileno(file)) && CutBack(file, position);
}

bool CutBack(std::FILE* file, int64_t size)
{
    return _chsize_s(_fileno(file), size) == 0;
}

bool RoomFor(std::FILE* file, uint64_t bytes)
{
    static const auto query = reinterpret_cast<QueryVolumeInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryVolumeInformationFile")));
    IO_STATUS_BLOCK status;
    VolumeSize volume = {};
    if (query == nullptr ||
        query(HandleOf(file), &status, &volume, sizeof volume, fileFsFullSizeInformation) != 0) {
        return true;
    }
    const uint64_t unit = uint64_t{volume.sectorsPerUnit} * volume.bytesPerSector;
    if (unit == 0) return true;
    const uint64_t needed = (bytes + unit - 1) / unit + 1;
    return static_cast<uint64_t>(volume.callerAvailableUnits.QuadPart) >= needed;
}
