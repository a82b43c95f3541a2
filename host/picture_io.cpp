#include "picture_io.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#define STBI_NO_STDIO
#define STBI_WRITE_NO_STDIO
#include "stb_image.h"
#include "stb_image_write.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string Lower(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool EndsWith(const std::string& text, const char* ending)
{
    size_t n = std::strlen(ending);
    return text.size() >= n && text.compare(text.size() - n, n, ending) == 0;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes,
                   std::string* error)
{
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes->clear();
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes->insert(bytes->end(), buffer, buffer + n);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

void AppendToVector(void* context, void* data, int size)
{
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    const auto* bytes = static_cast<const unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

FileKind FileKindOfPath(const std::string& path, bool forWriting)
{
    std::string name = Lower(path);
    if (EndsWith(name, ".png")) return FileKind::png;
    if (EndsWith(name, ".bmp")) return FileKind::bmp;
    if (EndsWith(name, ".jpg") || EndsWith(name, ".jpeg")) return FileKind::jpeg;
    if (EndsWith(name, ".yc") || EndsWith(name, ".raw")) return FileKind::raw;
    if (EndsWith(name, ".y4m")) return FileKind::y4m;
    return forWriting ? FileKind::unknown : FileKind::picture;
}

std::FILE* OpenFile(const std::string& path, const char* mode)
{
#ifdef _WIN32
    int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        errno = EINVAL;
        return nullptr;
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], length);
    std::wstring wideMode(mode, mode + std::strlen(mode));
    return _wfopen(wide.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool LoadPicture(const std::string& path, RgbImage* image, std::string* error)
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, &bytes, error)) {
        return false;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* data = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()),
                                                &width, &height, &channels, 3);
    if (data == nullptr) {
        const char* reason = stbi_failure_reason();
        *error = "cannot read " + path + " as a picture (" +
                 (reason != nullptr ? reason : "unknown format") + ")";
        return false;
    }
    image->width = width;
    image->height = height;
    image->rgb.assign(data, data + static_cast<size_t>(width) * height * 3);
    stbi_image_free(data);
    return true;
}

bool SavePicture(const std::string& path, const RgbImage& image, std::string* error)
{
    std::vector<unsigned char> bytes;
    int ok = 0;
    switch (FileKindOfPath(path, true)) {
    case FileKind::png:
        ok = stbi_write_png_to_func(AppendToVector, &bytes, image.width, image.height, 3,
                                    image.rgb.data(), image.width * 3);
        break;
    case FileKind::bmp:
        ok = stbi_write_bmp_to_func(AppendToVector, &bytes, image.width, image.height, 3,
                                    image.rgb.data());
        break;
    case FileKind::jpeg:
        ok = stbi_write_jpg_to_func(AppendToVector, &bytes, image.width, image.height, 3,
                                    image.rgb.data(), 95);
        break;
    default:
        *error = "cannot write " + path + ": the name must end in .png, .bmp, .jpg or .jpeg";
        return false;
    }
    if (!ok) {
        *error = "cannot encode " + path;
        return false;
    }
    std::FILE* file = OpenFile(path, "wb");
    if (file == nullptr) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (!written) {
        *error = "cannot write " + path;
    }
    return written;
}

bool LoadRawFrames(const std::string& path, int width, int height, int maxWidth,
                   std::vector<YCFrame>* frames, std::string* error)
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, &bytes, error)) {
        return false;
    }
    size_t frameBytes = static_cast<size_t>(width) * height * 6;
    if (frameBytes == 0 || bytes.empty() || bytes.size() % frameBytes != 0) {
        *error = "cannot read " + path + " as raw frames of " + std::to_string(width) + "x" +
                 std::to_string(height) + ": its " + std::to_string(bytes.size()) +
                 " bytes are not a whole number of " + std::to_string(frameBytes) +
                 "-byte frames";
        return false;
    }
    frames->clear();
    const unsigned char* p = bytes.data();
    for (size_t f = 0; f < bytes.size() / frameBytes; ++f) {
        YCFrame frame = MakeFrame(width, height, maxWidth);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x, p += 6) {
                YCPixel& pixel = PixelAt(frame, x, y);
                pixel.y = static_cast<int16_t>(p[0] | (p[1] << 8));
                pixel.cb = static_cast<int16_t>(p[2] | (p[3] << 8));
                pixel.cr = static_cast<int16_t>(p[4] | (p[5] << 8));
            }
        }
        frames->push_back(std::move(frame));
    }
    return true;
}

bool WriteRawFrame(std::FILE* file, const YCFrame& frame)
{
    std::vector<unsigned char> row(static_cast<size_t>(frame.width) * 6);
    for (int y = 0; y < frame.height; ++y) {
        unsigned char* p = row.data();
        for (int x = 0; x < frame.width; ++x) {
            const YCPixel& pixel = PixelAt(frame, x, y);
            const int16_t values[3] = {pixel.y, pixel.cb, pixel.cr};
            for (int16_t v : values) {
                uint16_t u = static_cast<uint16_t>(v);
                *p++ = static_cast<unsigned char>(u & 0xFF);
                *p++ = static_cast<unsigned char>(u >> 8);
            }
        }
        if (std::fwrite(row.data(), 1, row.size(), file) != row.size()) {
            return false;
        }
    }
    return true;
}
