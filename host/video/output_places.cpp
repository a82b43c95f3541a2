#include "video/output_places.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <windows.h>

#include "video/same_file.h"
#include "wide_text.h"
#include "wine_names.h"

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

// Under Wine, the mount point of the read-only file system that holds
// `folder` (from the Unix side's list of mounts), or "".
std::string ReadOnlyMount(const std::string& folder)
{
    std::string path;
    if (!UnixPathOf(ResolvedPath(folder.empty() ? "." : folder), &path)) return "";
    path += "/";
    std::FILE* mounts = _wfopen(L"\\\\?\\unix\\proc\\self\\mounts", L"r");
    if (mounts == nullptr) return "";
    std::string found;
    size_t longest = 0;
    char device[512], point[1024], type[128], flags[1024];
    while (std::fscanf(mounts, "%511s %1023s %127s %1023s %*d %*d", device, point, type, flags) ==
           4) {
        std::string at = point;
        for (size_t i; (i = at.find("\\040")) != std::string::npos;) at.replace(i, 4, " ");
        const std::string prefix = at == "/" ? at : at + "/";
        if (path.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= longest) {
            longest = prefix.size();
            const std::string options = std::string(flags) + ",";
            found = options.compare(0, 3, "ro,") == 0 ? at : "";
        }
    }
    std::fclose(mounts);
    return found;
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
        const std::string mount = errno == EACCES ? ReadOnlyMount(folder) : "";
        *reason = mount.empty() ? std::strerror(errno)
                                : "it lies on a file system mounted read-only (at " + mount + ")";
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

// Standard output for --output -: video needs a pipe or a file there.
bool CheckStandardOutput(std::string* error)
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const char* advice = ": send it into a pipe (| ffmpeg ...) or a file (> out.y4m), or give "
                         "--output FILE";
    DWORD mode = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) == FILE_TYPE_CHAR &&
        GetConsoleMode(out, &mode)) {
        *error = std::string("--output -: standard output is a terminal, which cannot show "
                             "video") +
                 advice;
        return false;
    }
    // Wine hands a program started with standard output closed whatever
    // file the descriptor was given to next; nothing can be written there.
    DWORD written = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE ||
        !WriteFile(out, "", 0, &written, nullptr)) {
        *error = std::string("--output -: standard output is closed, so the video has nowhere to "
                             "go") +
                 advice;
        return false;
    }
    return true;
}

}  // namespace

bool SettleOutputNames(HostOptions* options, std::vector<std::string>* notes, std::string* error)
{
    const struct {
        const char* option;
        std::string* path;
    } names[] = {
        {"--output", &options->outputPath},
        {"--before", &options->beforePath},
        {"--cube", &options->cubePath},
    };
    for (const auto& n : names) {
        std::string spelled;
        switch (LookUpOutputName(*n.path, &spelled)) {
        case OutputName::link:
            // A link to the input is first of all the input.
            if (OutputIsInput(options->inputPath, *n.path, error)) return false;
            *error = std::string(n.option) + " " + *n.path +
                     ": this is a symbolic link; filterhost would put its file in the link's "
                     "place and leave the file it points to as it was; give that file's name";
            return false;
        case OutputName::otherCase:
            notes->push_back("note: " + std::string(n.option) + " " + *n.path + " is the file " +
                             spelled +
                             " (Windows names ignore case); it is written under that name");
            *n.path = spelled;
            break;
        case OutputName::asGiven:
            break;
        }
    }
    return true;
}

bool CheckOutputPlaces(const HostOptions& options, std::string* error)
{
    if (options.outputPath == "-" && !CheckStandardOutput(error)) return false;
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
