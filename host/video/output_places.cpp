#include "video/output_places.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <windows.h>

#include "wide_text.h"

namespace {

DWORD AttributesOf(const std::string& path)
{
    return GetFileAttributesW(WideFromUtf8(path).c_str());
}

// The folder part of a path, "" for the current folder.
std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return "";
    // "/name" and "C:\name" lie in a drive's top folder.
    const bool top = slash == 0 || path[slash - 1] == ':';
    return path.substr(0, top ? slash + 1 : slash);
}

// Whether the folder takes a new file: one is made, and goes when closed.
bool TakesNewFile(const std::string& folder, std::string* reason)
{
    std::string probe = folder;
    if (!probe.empty() && probe.back() != '/' && probe.back() != '\\') probe += '/';
    probe += ".filterhost-" + std::to_string(GetCurrentProcessId()) + ".probe";
    const int file = _wopen(WideFromUtf8(probe).c_str(),
                            _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
    if (file < 0) {
        *reason = std::strerror(errno);
        return false;
    }
    _close(file);
    return true;
}

bool CheckPlace(const char* option, const std::string& path, bool isFolder, std::string* error)
{
    const auto refuse = [&](const std::string& why) {
        *error = std::string(option) + " " + path + ": " + why;
        return false;
    };
    const DWORD own = AttributesOf(path);
    const bool exists = own != INVALID_FILE_ATTRIBUTES;
    if (exists && ((own & FILE_ATTRIBUTE_DIRECTORY) != 0) != isFolder) {
        return refuse(isFolder ? "this is a file, not a folder" : "this is a folder, not a file");
    }
    if (exists && !isFolder && (own & FILE_ATTRIBUTE_READONLY) != 0) {
        return refuse("the file is read-only");
    }
    // A file is written beside itself under a temporary name; a folder that
    // is not there yet is made in its parent.
    const std::string folder = exists && isFolder ? path : FolderOf(path);
    if (!folder.empty()) {
        const DWORD attributes = AttributesOf(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return refuse("the folder " + folder + " does not exist");
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return refuse(folder + " is not a folder");
    }
    std::string reason;
    if (!TakesNewFile(folder, &reason)) {
        return refuse("no file can be made in " +
                      (folder.empty() ? std::string("the current folder") : folder) + ": " +
                      reason);
    }
    return true;
}

}  // namespace

bool CheckOutputPlaces(const HostOptions& options, std::string* error)
{
    const struct {
        const char* option;
        const std::string& path;
        bool isFolder;
    } places[] = {
        {"--output", options.outputPath, false},
        {"--before", options.beforePath, false},
        {"--cube", options.cubePath, false},
        {"--precision-report", options.precisionReportDir, true},
    };
    for (const auto& p : places) {
        if (p.path.empty() || p.path == "-") continue;
        if (!CheckPlace(p.option, p.path, p.isFolder, error)) return false;
    }
    return true;
}
