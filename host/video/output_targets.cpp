#include "video/output_targets.h"

#include <fcntl.h>
#include <io.h>

#include <windows.h>
#include <winternl.h>

#include "pictures/pending_file.h"
#include "runs/stderr_message.h"
#include "wide_text.h"
#include "stop_request.h"

namespace {

constexpr LONG statusNoSuchDevice = static_cast<LONG>(0xC000000E);  // ENXIO: no reader yet
constexpr ULONG fileOpen = 1;
constexpr ULONG fileSynchronousIoNonalert = 0x20;
constexpr ULONG fileNonDirectoryFile = 0x40;

using NtCreateFileFunction = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*,
                                          IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG, ULONG, ULONG,
                                          ULONG, void*, ULONG);
using DosPathToNtPathFunction = BOOLEAN(NTAPI*)(const wchar_t*, UNICODE_STRING*, wchar_t**, void*);
using FreeUnicodeStringFunction = void(NTAPI*)(UNICODE_STRING*);

template <typename Function>
Function NtdllFunction(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// Opens `path` for writing data only; the NTSTATUS.
LONG OpenForWritingOnly(const std::wstring& path, HANDLE* handle)
{
    static const auto create = NtdllFunction<NtCreateFileFunction>("NtCreateFile");
    static const auto toNtPath =
        NtdllFunction<DosPathToNtPathFunction>("RtlDosPathNameToNtPathName_U");
    static const auto freeName = NtdllFunction<FreeUnicodeStringFunction>("RtlFreeUnicodeString");
    UNICODE_STRING name;
    if (create == nullptr || toNtPath == nullptr ||
        !toNtPath(path.c_str(), &name, nullptr, nullptr)) {
        return static_cast<LONG>(0xC0000033);  // STATUS_OBJECT_NAME_INVALID
    }
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK io;
    const LONG status = create(handle, FILE_WRITE_DATA | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, fileOpen,
                               fileSynchronousIoNonalert | fileNonDirectoryFile, nullptr, 0);
    if (freeName != nullptr) freeName(&name);
    return status;
}

}  // namespace

TargetKind KindOfTarget(const std::string& path)
{
    const std::wstring wide = WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return TargetKind::folder;
    }
    // Wine answers ERROR_INVALID_PARAMETER for what is neither a file nor a
    // folder (a FIFO, a device); its handle then tells which.
    HANDLE handle = CreateFileW(wide.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return attributes == INVALID_FILE_ATTRIBUTES ? TargetKind::absent : TargetKind::file;
    }
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type == FILE_TYPE_DISK   ? TargetKind::file
           : type == FILE_TYPE_PIPE ? TargetKind::pipe
                                    : TargetKind::device;
}

bool CheckOutputPath(const std::string& path, const char* what, bool pipeAllowed,
                     std::string* error)
{
    if (path.empty() || path == "-") return true;
    switch (KindOfTarget(path)) {
    case TargetKind::folder:
        *error = std::string(what) + " " + path +
                 " is a folder: give the name of a file (in it, or beside it)";
        return false;
    case TargetKind::device:
        *error = std::string(what) + " " + path + " is a device, not a file: give a file name";
        return false;
    case TargetKind::pipe:
        if (pipeAllowed) return true;
        *error = std::string(what) + " " + path +
                 " is a named pipe: pictures and LUTs are written as files; give a file name";
        return false;
    default:
        return true;
    }
}

std::FILE* OpenPipeOutput(const std::string& path, std::string* error)
{
    const std::wstring wide = WideFromUtf8(path);
    HANDLE handle = nullptr;
    const DWORD start = GetTickCount();
    bool told = false;
    LONG status;
    while ((status = OpenForWritingOnly(wide, &handle)) == statusNoSuchDevice) {
        const DWORD waited = GetTickCount() - start;
        if (StopRequest() != nullptr || waited >= pipeReaderWait * 1000u) {
            *error = "cannot write " + path + ": no program opened the named pipe for reading" +
                     (StopRequest() != nullptr
                          ? std::string(" before the stop request (") + StopRequest() + ")"
                          : " within " + std::to_string(pipeReaderWait) + " s") +
                     "; start its reader first (such as ffmpeg -i " + path + " ...)";
            return nullptr;
        }
        if (!told && waited >= 1000) {
            TellUser("waiting for a program to open the named pipe " + path +
                     " for reading (at most " + std::to_string(pipeReaderWait) + " s)");
            told = true;
        }
        Sleep(100);
    }
    if (status != 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
        *error = "cannot open the named pipe " + path + " for writing (NTSTATUS " + code + ")";
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    std::FILE* file = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
    if (file == nullptr) {
        if (descriptor < 0) CloseHandle(handle);
        *error = "cannot open the named pipe " + path + " for writing";
    }
    return file;
}
