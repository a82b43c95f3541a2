#include "pictures/pending_file.h"

#include <cerrno>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "wide_text.h"
#else
#include <unistd.h>
#endif

#include "pictures/picture_io.h"
#include "run_ledger.h"

namespace {

#ifdef _WIN32

std::string BusyMessage(const PendingFile& pending)
{
    return "cannot write " + pending.path + ": another run is writing it (it holds " +
           pending.temporary + "); wait for that run to end, or choose another name";
}

HANDLE HandleOf(std::FILE* file)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

int ErrnoOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    default:
        return EIO;
    }
}

bool Exists(const std::string& path)
{
    return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether `path` still names the file open as `handle`: its last holder may
// have renamed it away between our opening it and locking it.
bool StillNamed(HANDLE handle, const std::wstring& path)
{
    HANDLE named = CreateFileW(path.c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    const bool same = GetFileInformationByHandle(handle, &a) &&
                      GetFileInformationByHandle(named, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
}

// Whether the temporary file is still where it was put; `pending` says
// otherwise, and whether it went with a deleted folder.
bool StillInPlace(PendingFile* pending)
{
    const HANDLE handle = HandleOf(pending->file);
    if (StillNamed(handle, WideFromUtf8(pending->temporary))) return true;
    BY_HANDLE_FILE_INFORMATION information;
    pending->displaced = true;
    pending->deleted = GetFileInformationByHandle(handle, &information) &&
                       information.nNumberOfLinks == 0;
    return false;
}

// Renamed through the handle that holds it, so that no other run can take
// the file between the rename and the close. False with GetLastError.
bool RenameOpenFile(std::FILE* file, const std::string& path, bool replace)
{
    const std::wstring wide = WideFromUtf8(path);
    const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) return false;
    std::wstring full(length, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), length, &full[0], nullptr));
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + (full.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(full.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, full.c_str(), (full.size() + 1) * sizeof(wchar_t));
    return SetFileInformationByHandle(HandleOf(file), FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

bool NameTaken(DWORD code)
{
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
}

#else

bool Exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

bool StillInPlace(PendingFile* pending)
{
    return pending->file != nullptr;
}

#endif

// Gives the open temporary file the name `to`; false (errno set) when it
// cannot, with *taken when a file of that name is already there.
bool Rename(PendingFile* pending, const std::string& to, bool replace, bool* taken)
{
    *taken = false;
#ifdef _WIN32
    if (RenameOpenFile(pending->file, to, replace)) return true;
    const DWORD code = GetLastError();
    *taken = NameTaken(code);
    errno = ErrnoOf(code);
    return false;
#else
    if (!replace && Exists(to)) {
        *taken = true;
        errno = EEXIST;
        return false;
    }
    return std::rename(pending->temporary.c_str(), to.c_str()) == 0;
#endif
}

// Flushes and closes; false (errno set) when the last bytes could not be
// written.
bool Close(PendingFile* pending)
{
    errno = 0;
    bool ok = std::fflush(pending->file) == 0;
    // A failure of the close itself is the last chance to hear of one.
    ok = std::fclose(pending->file) == 0 && ok;
    pending->file = nullptr;
    if (!ok && errno == 0) errno = EIO;
    return ok;
}

// Why a displaced file could not be given a name, and where its bytes are.
std::string DisplacedMessage(const PendingFile& pending)
{
    if (pending.deleted) {
        return "cannot write " + pending.path +
               ": its folder was deleted during the run, and the frames written with it";
    }
    const size_t folder = pending.temporary.find_last_of("/\\");
    return "cannot write " + pending.path +
           ": its folder was renamed or moved during the run; the frames written are in " +
           pending.temporary.substr(folder == std::string::npos ? 0 : folder + 1) +
           " in that folder, wherever it is now";
}

// Closes a displaced file as it is: its old name may now be another file's.
void CloseDisplaced(PendingFile* pending)
{
    std::fclose(pending->file);
    pending->file = nullptr;
}

}  // namespace

PendingFile::~PendingFile()
{
    DiscardFile(this);
}

std::string PartialName(const std::string& path, int n)
{
    const size_t folder = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > 0 &&
                              (folder == std::string::npos || dot > folder + 1);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : "";
    return stem + ".partial" + (n > 1 ? "-" + std::to_string(n) : "") + extension;
}

bool BeginFile(const std::string& path, PendingFile* pending, std::string* error)
{
    DiscardFile(pending);
    pending->path = path;
    pending->temporary = path + ".filterhost.part";
    pending->firstError = 0;
    pending->displaced = false;
    pending->deleted = false;
#ifdef _WIN32
    // The temporary file is held twice over: opened for writing without
    // sharing writes, which other processes of the same Wine server (and
    // Windows) are refused, and locked, which Wine also passes on to the Unix
    // file as a lock that runs under other Wine prefixes see. It is emptied
    // only once it is ours: one left behind by a killed run is taken over.
    const std::wstring wide = WideFromUtf8(pending->temporary);
    for (int attempt = 0; attempt < 3 && pending->file == nullptr; ++attempt) {
        HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            *error = code == ERROR_SHARING_VIOLATION
                         ? BusyMessage(*pending)
                         : "cannot create " + path + ": " + std::strerror(ErrnoOf(code));
            return false;
        }
        OVERLAPPED start = {};
        if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                        &start)) {
            CloseHandle(handle);
            *error = BusyMessage(*pending);
            return false;
        }
        if (!StillNamed(handle, wide)) {
            CloseHandle(handle);
            continue;
        }
        const int descriptor = SetEndOfFile(handle)
                                   ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY)
                                   : -1;
        pending->file = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
        if (pending->file == nullptr) {
            if (descriptor >= 0) {
                _close(descriptor);
            } else {
                CloseHandle(handle);
            }
            *error = "cannot create " + path + ": " + std::strerror(EIO);
            return false;
        }
    }
    if (pending->file == nullptr) {
        *error = BusyMessage(*pending);
        return false;
    }
#else
    pending->file = std::fopen(pending->temporary.c_str(), "wb");
    if (pending->file == nullptr) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
#endif
    pending->existed = Exists(path);
    LedgerFileBegun(pending->temporary, path);
    return true;
}

void PutBytes(PendingFile* pending, const void* data, size_t size)
{
    if (pending->firstError != 0 || size == 0) return;
    errno = 0;
    if (!WriteAll(pending->file, data, size)) {
        pending->firstError = errno != 0 ? errno : EIO;
    }
}

bool FinishFile(PendingFile* pending, std::string* error)
{
    if (pending->file == nullptr) return false;
    errno = 0;
    if (pending->firstError == 0 && std::fflush(pending->file) != 0) {
        pending->firstError = errno != 0 ? errno : EIO;
    }
    if (pending->firstError != 0) {
        *error = "cannot write " + pending->path + ": " + std::strerror(pending->firstError);
        DiscardFile(pending);
        return false;
    }
    if (!StillInPlace(pending)) {
        *error = DisplacedMessage(*pending);
        CloseDisplaced(pending);
        return false;
    }
    bool taken = false;
#ifdef _WIN32
    if (!Rename(pending, pending->path, true, &taken)) {
        const int code = errno;
        std::string kept;
        std::string ignored;
        pending->existed = true;
        *error = "cannot replace " + pending->path + ": " + std::strerror(code) +
                 (KeepFile(pending, &kept, &ignored) ? "; its bytes are kept in " + kept : "");
        return false;
    }
    if (!Close(pending)) {
        *error = "cannot write " + pending->path + ": " + std::strerror(errno);
        return false;
    }
#else
    if (!Close(pending) || !Rename(pending, pending->path, true, &taken)) {
        *error = "cannot write " + pending->path + ": " + std::strerror(errno);
        std::remove(pending->temporary.c_str());
        return false;
    }
#endif
    LedgerFileDone(pending->temporary);
    return true;
}

bool KeepFile(PendingFile* pending, std::string* kept, std::string* error)
{
    if (pending->file == nullptr) return false;
    std::fflush(pending->file);
    if (!StillInPlace(pending)) {
        *error = DisplacedMessage(*pending);
        CloseDisplaced(pending);
        return false;
    }
#ifndef _WIN32
    std::fclose(pending->file);
    pending->file = nullptr;
#endif
    bool renamed = false;
    bool taken = true;
    if (!pending->existed) {
        *kept = pending->path;
        renamed = Rename(pending, *kept, false, &taken);
    }
    for (int n = 1; !renamed && taken && n <= partialNames; ++n) {
        *kept = PartialName(pending->path, n);
        renamed = Rename(pending, *kept, false, &taken);
    }
    if (!renamed && taken) {
        // Every partial name is taken: the frames stay where they are.
        *kept = pending->temporary;
        renamed = true;
    }
    if (!renamed) {
        *error = "cannot keep the frames of " + pending->path + ": " + std::strerror(errno);
#ifdef _WIN32
        DiscardFile(pending);
#else
        std::remove(pending->temporary.c_str());
#endif
        return false;
    }
#ifdef _WIN32
    Close(pending);
#endif
    LedgerFileDone(pending->temporary);
    return true;
}

void DiscardFile(PendingFile* pending)
{
    if (pending->file == nullptr) return;
    LedgerFileDone(pending->temporary);
    if (!StillInPlace(pending)) {
        CloseDisplaced(pending);
        return;
    }
#ifdef _WIN32
    // Deleted on closing, through the handle that holds it: a name removed
    // after the close could already be another run's.
    FILE_DISPOSITION_INFO dispose = {TRUE};
    const bool marked = SetFileInformationByHandle(HandleOf(pending->file), FileDispositionInfo,
                                                   &dispose, sizeof dispose) != 0;
    std::fclose(pending->file);
    if (!marked) DeleteFileW(WideFromUtf8(pending->temporary).c_str());
#else
    std::fclose(pending->file);
    std::remove(pending->temporary.c_str());
#endif
    pending->file = nullptr;
}
