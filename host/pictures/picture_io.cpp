#include "pictures/picture_io.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#define STBI_NO_STDIO
#define STBI_WRITE_NO_STDIO
#include "stb_image.h"
#include "stb_image_write.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "wide_text.h"
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

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes, std::string* error)
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
    if (EndsWith(name, ".y4m") || EndsWith(name, ".yuv4mpeg")) return FileKind::y4m;
    return forWriting ? FileKind::unknown : FileKind::picture;
}

std::FILE* OpenFile(const std::string& path, const char* mode)
{
#ifdef _WIN32
    const std::wstring wide = WideFromUtf8(path);
    if (wide.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    std::wstring wideMode(mode, mode + std::strlen(mode));
    return _wfopen(wide.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

bool WriteAll(std::FILE* file, const void* data, size_t size)
{
    if (std::fflush(file) != 0) return false;
#ifdef _WIN32
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD done = 0;
        if (!WriteFile(handle, next, chunk, &done, nullptr) || done == 0) {
            switch (GetLastError()) {
            case ERROR_BROKEN_PIPE:
            case ERROR_NO_DATA:
            case ERROR_PIPE_NOT_CONNECTED:  // Wine, for a pipe whose reader has gone
                errno = EPIPE;
                break;
            case ERROR_DISK_FULL:
            case ERROR_HANDLE_DISK_FULL:
                errno = ENOSPC;
                break;
            default:
                errno = EIO;
            }
            return false;
        }
        next += done;
        size -= done;
    }
    return true;
#else
    return std::fwrite(data, 1, size, file) == size && std::fflush(file) == 0;
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

bool PutPicture(PendingFile* file, const RgbImage& image, std::string* error)
{
    std::vector<unsigned char> bytes;
    int ok = 0;
    switch (FileKindOfPath(file->path, true)) {
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
        *error = "cannot write " + file->path + ": the name must end in .png, .bmp, .jpg or .jpeg";
        return false;
    }
    if (!ok) {
        *error = "cannot encode " + file->path;
        return false;
    }
    PutBytes(file, bytes.data(), bytes.size());
    return true;
}

bool SavePicture(const std::string& path, const RgbImage& image, std::string* error)
{
    if (FileKindOfPath(path, true) == FileKind::unknown) {
        *error = "cannot write " + path + ": the name must end in .png, .bmp, .jpg or .jpeg";
        return false;
    }
    PendingFile file;
    return BeginFile(path, &file, error) && PutPicture(&file, image, error) &&
           FinishFile(&file, error);
}

namespace {

int64_t FileLength(std::FILE* file)
{
#ifdef _WIN32
    return _filelengthi64(_fileno(file));
#else
    const off_t here = ftello(file);
    fseeko(file, 0, SEEK_END);
    const off_t length = ftello(file);
    fseeko(file, here, SEEK_SET);
    return length;
#endif
}

bool SeekTo(std::FILE* file, int64_t position)
{
#ifdef _WIN32
    return _fseeki64(file, position, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

}  // namespace

bool OpenRawFrames(const std::string& path, int width, int height, int maxWidth, RawFrames* raw,
                   std::string* error)
{
    CloseRawFrames(raw);
    raw->file = OpenFile(path, "rb");
    if (raw->file == nullptr) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    raw->path = path;
    raw->shape = MakeFrame(width, height, maxWidth);
    const int64_t frameBytes = int64_t{width} * height * 6;
    const int64_t size = FileLength(raw->file);
    raw->bytes.resize(static_cast<size_t>(frameBytes));
    raw->framesRead = 0;
    if (size < 0 && frameBytes != 0) {
        raw->frames = -1;  // a pipe: read until it ends
        return true;
    }
    if (frameBytes == 0 || size <= 0 || size % frameBytes != 0) {
        *error = "cannot read " + path + " as raw frames of " + std::to_string(width) + "x" +
                 std::to_string(height) + ": its " + std::to_string(size) +
                 " bytes are not a whole number of " + std::to_string(frameBytes) + "-byte frames";
        CloseRawFrames(raw);
        return false;
    }
    raw->frames = size / frameBytes;
    return true;
}

namespace {

void DecodeRawFrame(const std::vector<uint8_t>& bytes, YCFrame* frame)
{
    const unsigned char* p = bytes.data();
    for (int y = 0; y < frame->height; ++y) {
        for (int x = 0; x < frame->width; ++x, p += 6) {
            YCPixel& pixel = PixelAt(*frame, x, y);
            pixel.y = static_cast<int16_t>(p[0] | (p[1] << 8));
            pixel.cb = static_cast<int16_t>(p[2] | (p[3] << 8));
            pixel.cr = static_cast<int16_t>(p[4] | (p[5] << 8));
        }
    }
}

}  // namespace

RawRead ReadNextRawFrame(RawFrames* raw, YCFrame* frame, std::string* error)
{
    if (frame->pixels.empty()) *frame = raw->shape;
    const size_t got = std::fread(raw->bytes.data(), 1, raw->bytes.size(), raw->file);
    const std::string number = std::to_string(raw->framesRead + 1);
    if (got == raw->bytes.size()) {
        DecodeRawFrame(raw->bytes, frame);
        ++raw->framesRead;
        return RawRead::frame;
    }
    if (std::ferror(raw->file)) {
        *error = "cannot read frame " + number + " of " + raw->path + ": " + std::strerror(errno);
        return RawRead::failed;
    }
    if (got == 0) return RawRead::end;
    *error = raw->path + " ends inside frame " + number + " (" + std::to_string(got) + " of its " +
             std::to_string(raw->bytes.size()) + " bytes)";
    return RawRead::failed;
}

bool ReadRawFrame(RawFrames* raw, int64_t index, YCFrame* frame, std::string* error)
{
    if (frame->pixels.empty()) *frame = raw->shape;
    const int64_t frameBytes = static_cast<int64_t>(raw->bytes.size());
    if (!SeekTo(raw->file, index * frameBytes) ||
        std::fread(raw->bytes.data(), 1, raw->bytes.size(), raw->file) != raw->bytes.size()) {
        *error = "cannot read frame " + std::to_string(index + 1) + " of " + raw->path + ": " +
                 (std::ferror(raw->file) ? std::strerror(errno) : "the file has become shorter");
        return false;
    }
    DecodeRawFrame(raw->bytes, frame);
    return true;
}

void CloseRawFrames(RawFrames* raw)
{
    if (raw->file != nullptr) std::fclose(raw->file);
    raw->file = nullptr;
}

bool LoadRawFrames(const std::string& path, int width, int height, int maxWidth,
                   std::vector<YCFrame>* frames, std::string* error)
{
    RawFrames raw;
    if (!OpenRawFrames(path, width, height, maxWidth, &raw, error)) return false;
    frames->clear();
    RawRead read;
    do {
        frames->emplace_back();
        read = ReadNextRawFrame(&raw, &frames->back(), error);
    } while (read == RawRead::frame);
    frames->pop_back();
    CloseRawFrames(&raw);
    return read == RawRead::end;
}

void EncodeRawFrame(const YCFrame& frame, std::vector<uint8_t>* bytes)
{
    bytes->resize(static_cast<size_t>(frame.width) * frame.height * 6);
    uint8_t* p = bytes->data();
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const YCPixel& pixel = PixelAt(frame, x, y);
            const int16_t values[3] = {pixel.y, pixel.cb, pixel.cr};
            for (int16_t v : values) {
                const uint16_t u = static_cast<uint16_t>(v);
                *p++ = static_cast<uint8_t>(u & 0xFF);
                *p++ = static_cast<uint8_t>(u >> 8);
            }
        }
    }
}

bool WriteRawFrame(std::FILE* file, const YCFrame& frame)
{
    std::vector<uint8_t> bytes;
    EncodeRawFrame(frame, &bytes);
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}
