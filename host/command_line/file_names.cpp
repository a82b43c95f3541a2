#include "command_line/file_names.h"

#include <cctype>
#include <cstring>

namespace {

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

const char* DeviceKind(const std::string& device)
{
    if (device == "NUL") return "the null device";
    if (device == "CON") return "the console";
    if (device == "AUX" || device.compare(0, 3, "COM") == 0) return "a serial port";
    return "a printer port";
}

constexpr char discardAdvice[] =
    "to discard the result leave out --output (every frame is still corrected, and checked with "
    "--verify), or give --output - and send standard output to /dev/null";

// What a name given for `what` ("input", "output", "--before") stands for,
// when it is no file.
std::string Refusal(const std::string& path, const std::string& what, bool writes)
{
    const std::string device = WindowsDeviceName(path);
    if (!device.empty()) {
        std::string text = what + " " + path + ": " + device +
                           " is a Windows device name, in any folder and with any extension: "
                           "Windows would " +
                           (writes ? "write to " : "read from ") + DeviceKind(device) +
                           ", not a file; ";
        if (device == "CON")
            return text + "for standard " + (writes ? "output" : "input") + " give -";
        if (writes && device == "NUL") return text + discardAdvice;
        return text + (writes ? "choose another name" : "rename the file");
    }
    if (path == "/dev/null") {
        return what + " /dev/null: " +
               (writes ? discardAdvice : "the null device holds no frames; give a file");
    }
    return "";
}

}  // namespace

std::string WindowsDeviceName(const std::string& path)
{
    const size_t folder = path.find_last_of("/\\");
    std::string name = folder == std::string::npos ? path : path.substr(folder + 1);
    // The device's name ends at the first dot or colon, trailing blanks left out.
    name = name.substr(0, name.find_first_of(".:"));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    name = Upper(name);
    static const char* const plain[] = {"NUL", "CON", "PRN", "AUX"};
    for (const char* device : plain) {
        if (name == device) return name;
    }
    if (name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
        name[3] >= '1' && name[3] <= '9') {
        return name;
    }
    return "";
}

bool NamesStandardStream(const std::string& path)
{
    static const char* const prefixes[] = {"/dev/stdin", "/dev/stdout",    "/dev/stderr",
                                           "/dev/fd/",   "/proc/self/fd/", "\\\\.\\"};
    for (const char* prefix : prefixes) {
        if (path.compare(0, std::string(prefix).size(), prefix) == 0) return true;
    }
    const std::string upper = Upper(path);
    return upper == "CONIN$" || upper == "CONOUT$";
}

bool NameEndsWith(const std::string& path, const char* ending)
{
    const size_t n = std::strlen(ending);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ending[i]) {
            return false;
        }
    }
    return true;
}

std::string AdviceForPath(const std::string& path, const char* direction)
{
    if (NamesStandardStream(path)) {
        return std::string(direction) + " " + path + ": for standard " +
               (direction[0] == 'i' ? "input" : "output") + " give - (a YUV4MPEG2 stream)";
    }
    if (NameEndsWith(path, ".yuv")) {
        return std::string(direction) + " " + path +
               ": raw YUV has no header to tell its size and layout; use a YUV4MPEG2 stream "
               "(.y4m, or - with ffmpeg's -f yuv4mpegpipe), or --raw for the host's own raw "
               "frames (.yc)";
    }
    return "";
}

bool CheckFileNames(const HostOptions& options, std::string* error)
{
    const struct {
        const std::string& path;
        const char* what;
        bool writes;
    } files[] = {
        {options.inputPath, "input", false},
        {options.outputPath, "output", true},
        {options.beforePath, "--before", true},
        {options.cubePath, "--cube", true},
        {options.precisionReportDir, "--precision-report", true},
    };
    for (const auto& f : files) {
        *error = Refusal(f.path, f.what, f.writes);
        if (!error->empty()) return false;
    }
    return true;
}
