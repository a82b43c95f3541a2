#include "video/same_file.h"

#include <cstdint>
#include <cstring>

#include <windows.h>

#include "wide_text.h"
#include "wine_names.h"

namespace {

// A file's identity: its index on its volume, which a link or another
// spelling of the path shares. Size and last write are kept as well: under
// Wine a standard handle that a Unix shell opened tells its index but not
// its volume (0), and two files on different volumes with the same index
// and the same size and time are as good as impossible.
struct FileIdentity {
    uint64_t volume = 0;  // 0: not known
    uint64_t index[2] = {};
    int64_t size = 0;
    int64_t lastWrite = 0;
};

bool SameIdentity(const FileIdentity& a, const FileIdentity& b)
{
    return a.index[0] == b.index[0] && a.index[1] == b.index[1] && a.size == b.size &&
           a.lastWrite == b.lastWrite && (a.volume == b.volume || a.volume == 0 || b.volume == 0);
}

// False for what is no file on a disk: a pipe, a console, nothing.
bool IdentityOfHandle(HANDLE handle, FileIdentity* identity)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        GetFileType(handle) != FILE_TYPE_DISK) {
        return false;
    }
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
        return false;
    }
    identity->size = standard.EndOfFile.QuadPart;
    identity->lastWrite = basic.LastWriteTime.QuadPart;
    FILE_ID_INFO id;
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
        identity->volume = id.VolumeSerialNumber;
        std::memcpy(identity->index, id.FileId.Identifier, sizeof identity->index);
        return true;
    }
    // Systems before Windows 8 know only the older 64-bit index.
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return false;
    identity->volume = information.dwVolumeSerialNumber;
    identity->index[0] = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    identity->index[1] = ~uint64_t{0};  // never equal to a 128-bit index's high half
    return true;
}

// Standard input or output for "-"; otherwise the file, opened for no access
// at all, so that opening it changes nothing and nothing is refused by
// another program holding it open.
bool IdentityOfPath(const std::string& path, DWORD standardHandle, FileIdentity* identity)
{
    if (path.empty()) return false;
    if (path == "-") return IdentityOfHandle(GetStdHandle(standardHandle), identity);
    // Wine has no attributes for what is no file or folder. A named pipe is
    // not opened to be looked at: its writer would take that for its
    // reader, write, and find it gone.
    if (GetFileAttributesW(WideFromUtf8(path).c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = IdentityOfHandle(file, identity);
    CloseHandle(file);
    return known;
}

// "\\?\Z:\clip\out.y4m" as "Z:\clip\out.y4m"; empty when the path cannot be
// opened. A named pipe is not opened (IdentityOfPath).
std::wstring FinalPath(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return L"";
    HANDLE handle = CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return L"";
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = GetFinalPathNameByHandleW(handle, buffer, MAX_PATH * 4, 0);
    CloseHandle(handle);
    if (length == 0 || length >= MAX_PATH * 4) return L"";
    std::wstring final(buffer, length);
    if (final.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + final.substr(8);
    if (final.compare(0, 4, L"\\\\?\\") == 0) return final.substr(4);
    return final;
}

// Where the last name of a path begins.
size_t LastNameAt(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? 0 : slash + 1;
}

// The folder part ("." for none) and the last name.
std::wstring FolderPart(const std::wstring& path)
{
    const size_t at = LastNameAt(path);
    if (at == 0) return L".";
    std::wstring folder = path.substr(0, at == 1 ? 1 : at - 1);
    if (folder.back() == L':') folder += L'\\';  // a drive's top folder
    return folder;
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool OutputIsInput(const std::string& inputPath, const std::string& outputPath, std::string* error)
{
    FileIdentity input;
    FileIdentity output;
    if (!IdentityOfPath(inputPath, STD_INPUT_HANDLE, &input) ||
        !IdentityOfPath(outputPath, STD_OUTPUT_HANDLE, &output) || !SameIdentity(input, output)) {
        return false;
    }
    const std::string in = inputPath == "-" ? "standard input" : inputPath;
    const std::string out = outputPath == "-" ? "standard output" : outputPath;
    *error = "the output (" + out + ") is the input file (" + in +
             "), under the same or another name: writing it would destroy the frames still to be "
             "read; choose another output file";
    return true;
}

bool OutputsAreOneFile(const std::string& outputPath, const std::string& beforePath,
                       std::string* error)
{
    if (outputPath.empty() || beforePath.empty() || outputPath == "-") return false;
    FileIdentity output;
    FileIdentity before;
    const bool existing = IdentityOfPath(outputPath, STD_OUTPUT_HANDLE, &output) &&
                          IdentityOfPath(beforePath, STD_OUTPUT_HANDLE, &before);
    // Names are compared as Windows does, ignoring case, and through links
    // to folders.
    const bool same = existing
                          ? SameIdentity(output, before)
                          : SameIgnoringCase(ResolvedPath(outputPath), ResolvedPath(beforePath));
    if (!same) return false;
    *error = "--output " + outputPath + " and --before " + beforePath +
             " are one file: the picture before the correction would replace the corrected one; "
             "give two names";
    return true;
}

std::wstring ResolvedPath(const std::string& path)
{
    const std::wstring wide = WideFromUtf8(path);
    std::wstring resolved = FinalPath(wide);
    if (!resolved.empty()) return resolved;
    const std::wstring folder = FinalPath(FolderPart(wide));
    if (folder.empty()) return FullWindowsPath(WideFromUtf8(path));
    return folder + (folder.back() == L'\\' ? L"" : L"\\") + wide.substr(LastNameAt(wide));
}

OutputName LookUpOutputName(const std::string& path, std::string* spelled)
{
    *spelled = path;
    const std::wstring wide = WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (path == "-" || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return OutputName::asGiven;
    }
    const std::wstring file = FinalPath(wide);
    const std::wstring folder = FinalPath(FolderPart(wide));
    if (file.empty() || folder.empty()) return OutputName::asGiven;
    const std::wstring givenName = wide.substr(LastNameAt(wide));
    const std::wstring diskName = file.substr(LastNameAt(file));
    if (!SameIgnoringCase(FolderPart(file), folder) || !SameIgnoringCase(diskName, givenName)) {
        return OutputName::link;
    }
    if (diskName == givenName) return OutputName::asGiven;
    *spelled = path.substr(0, path.size() - Utf8FromWide(givenName.c_str()).size()) +
               Utf8FromWide(diskName.c_str());
    return OutputName::otherCase;
}
