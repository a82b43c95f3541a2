#include "video/y4m_stream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t longestLine = 4096;  // far more than any real header or FRAME line
constexpr char pixFmtAdvice[] =
    "have ffmpeg write one with -pix_fmt yuv444p16le -strict -1 (or yuv444p, yuv444p10le, "
    "yuv444p12le)";

// A sample is a byte at 8 bits, otherwise a little-endian word.
size_t SampleBytes(int depth)
{
    return depth > 8 ? 2 : 1;
}

// For quoting what was found where something else was expected.
std::string Printable(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            text += code;
        }
    }
    return text;
}

// Leading zeros are allowed (W0000000016 is 16); a number too large for an
// int is taken as the largest, which the frame size check then refuses.
bool ParseCount(const std::string& text, int* value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const std::string digits = text.substr(std::min(text.find_first_not_of('0'), text.size() - 1));
    *value = digits.size() > 9 ? INT_MAX : std::atoi(digits.c_str());
    return true;
}

bool IsRatio(const std::string& text, bool zeroAllowed)
{
    size_t colon = text.find(':');
    int n;
    int d;
    return colon != std::string::npos && ParseCount(text.substr(0, colon), &n) &&
           ParseCount(text.substr(colon + 1), &d) && (zeroAllowed || (n > 0 && d > 0));
}

std::string DescribeLayout(const std::string& tag)
{
    if (tag.compare(0, 3, "420") == 0) return "4:2:0";
    if (tag.compare(0, 3, "422") == 0) return "4:2:2";
    if (tag.compare(0, 3, "411") == 0) return "4:1:1";
    if (tag.compare(0, 4, "mono") == 0) return "monochrome";
    if (tag == "444alpha") return "4:4:4 with alpha";
    if (tag.compare(0, 4, "444p") == 0) return tag.substr(4) + "-bit 4:4:4";
    return "an unknown layout";
}

bool ParseColourSpace(const std::string& tag, int* depth, std::string* error)
{
    static const struct {
        const char* tag;
        int depth;
    } accepted[] = {{"444", 8}, {"444p10", 10}, {"444p12", 12}, {"444p16", 16}};
    for (const auto& a : accepted) {
        if (tag == a.tag) {
            *depth = a.depth;
            return true;
        }
    }
    *error = "header field C" + Printable(tag) + ": the stream is " + DescribeLayout(tag) +
             "; filterhost reads 4:4:4 at 8, 10, 12 or 16 bits (C444, C444p10, C444p12, "
             "C444p16): " +
             pixFmtAdvice;
    return false;
}

// Up to and without the newline; false at the end of the input or past
// `longestLine` (then `line` holds what was read).
bool ReadLine(std::FILE* file, std::string* line)
{
    line->clear();
    int c;
    while ((c = std::getc(file)) != EOF) {
        if (c == '\n') return true;
        if (line->size() == longestLine) return false;
        *line += static_cast<char>(c);
    }
    return false;
}

enum class Marker { frame, end, bad, failed };

std::string FrameLabel(int64_t index)
{
    return "frame " + std::to_string(index + 1) + ": ";
}

// The FRAME line of frame `index` (from 0). `failed`: the stream ends inside it, or
// another stream's header begins, or the input cannot be read (the frames
// before are whole); `bad`: something else stands there, so the data
// before it is not a frame of the header's size. `found` quotes it.
Marker ReadMarker(Y4MReader* reader, int64_t index, std::string* found, std::string* error)
{
    const std::string frame = FrameLabel(index);
    char start[5];
    size_t n = std::fread(start, 1, sizeof start, reader->file);
    if (n == 0 && !std::ferror(reader->file)) {
        return Marker::end;
    }
    if (std::ferror(reader->file)) {
        *error = frame + "cannot read the input: " + std::strerror(errno);
        return Marker::failed;
    }
    *found = std::string(start, n);
    if (n < sizeof start && std::memcmp(start, "FRAME", n) == 0) {
        *error = frame + "the stream ends inside the frame's FRAME line (it is cut short)";
        return Marker::failed;
    }
    if (n == sizeof start && std::memcmp(start, "YUV4M", 5) == 0) {
        std::string rest;
        ReadLine(reader->file, &rest);
        *error = frame + "a new stream header begins here (\"" + Printable(*found + rest) +
                 "\"): filterhost takes one frame size and format per stream";
        return Marker::failed;
    }
    if (n < sizeof start || std::memcmp(start, "FRAME", 5) != 0) {
        return Marker::bad;
    }
    // Frame parameters, of any length (the format sets none), are ignored;
    // a CR before the newline too.
    int c = std::getc(reader->file);
    if (c != ' ' && c != '\r' && c != '\n' && c != EOF) {
        char more[7];
        *found += static_cast<char>(c);
        found->append(more, std::fread(more, 1, sizeof more, reader->file));
        return Marker::bad;
    }
    while (c != '\n' && c != EOF) c = std::getc(reader->file);
    if (c == EOF) {
        *error = frame + "the stream ends inside the frame's FRAME line (it is cut short)";
        return Marker::failed;
    }
    return Marker::frame;
}

// The fields a header must hold, as far as they have been read.
struct FieldsSeen {
    bool width = false;
    bool height = false;
    bool colourGiven = false;
    std::string colour;
};

// One field (its tag letter and value, no blanks) into the header; fields
// filterhost does not know are kept in `dropped`.
bool ParseHeaderField(const std::string& field, Y4MHeader* header, FieldsSeen* seen,
                      std::string* error)
{
    const std::string value = field.substr(1);
    const std::string quoted = "header field " + Printable(field);
    for (unsigned char c : field) {
        if (c < 0x21 || c > 0x7E) {
            *error = quoted + ": bytes outside printable ASCII; the header is damaged, or "
                              "the file is no YUV4MPEG2 stream";
            return false;
        }
    }
    switch (field[0]) {
    case 'W':
    case 'H': {
        int size;
        if (!ParseCount(value, &size) || size < 1) {
            *error = quoted + ": the frame " + (field[0] == 'W' ? "width" : "height") +
                     " must be a whole number of 1 or more";
            return false;
        }
        (field[0] == 'W' ? header->width : header->height) = size;
        (field[0] == 'W' ? seen->width : seen->height) = true;
        break;
    }
    case 'F':
        if (!IsRatio(value, false)) {
            *error = quoted + ": the frame rate must be N:D, both above 0";
            return false;
        }
        header->frameRate = value;
        break;
    case 'A':
        if (!IsRatio(value, true)) {
            *error = quoted + ": the pixel aspect must be N:D";
            return false;
        }
        header->aspect = value;
        break;
    case 'I':
        if (value == "t" || value == "b" || value == "m") {
            *error = quoted + ": the frames are interlaced (" +
                     (value == "t"   ? "top field first"
                      : value == "b" ? "bottom field first"
                                     : "mixed") +
                     "); filterhost corrects whole progressive frames: deinterlace with "
                     "ffmpeg -vf bwdif, or if the frames are in fact progressive, mark them "
                     "so with -field_order progressive";
            return false;
        }
        if (value != "p" && value != "?") {
            *error = quoted + ": unknown interlacing (expected Ip)";
            return false;
        }
        break;
    case 'C':
        seen->colour = value;
        seen->colourGiven = true;
        break;
    case 'X':
        if (value.compare(0, 11, "COLORRANGE=") == 0) {
            const std::string range = value.substr(11);
            if (range != "FULL" && range != "LIMITED") {
                *error = quoted + ": the colour range must be FULL or LIMITED";
                return false;
            }
            header->hasRange = true;
            header->range = range == "FULL" ? VideoRange::full : VideoRange::limited;
        } else if (value.compare(0, 6, "YSCSS=") != 0) {
            header->dropped.push_back(field);
        }
        break;
    default:
        header->dropped.push_back(field);
    }
    return true;
}

}  // namespace

bool ParseY4MHeader(const std::string& text, Y4MHeader* header, std::string* error)
{
    *header = Y4MHeader();
    std::string line = text;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
        header->crlf = true;
    }
    if (line.compare(0, 9, "YUV4MPEG2") != 0 || (line.size() > 9 && line[9] != ' ')) {
        *error = "not a YUV4MPEG2 stream: it starts with \"" + Printable(line.substr(0, 12)) +
                 "\" (ffmpeg writes one with -f yuv4mpegpipe)";
        return false;
    }
    FieldsSeen seen;
    size_t pos = 9;
    while (pos < line.size()) {
        size_t end = line.find(' ', pos + 1);
        if (end == std::string::npos) end = line.size();
        std::string field = line.substr(pos + 1, end - pos - 1);
        pos = end;
        if (field.empty()) continue;
        if (!ParseHeaderField(field, header, &seen, error)) return false;
    }
    if (!seen.width || !seen.height) {
        *error = std::string("the header has no ") + (seen.width ? "H" : "W") + " field (frame " +
                 (seen.width ? "height" : "width") + ")";
        return false;
    }
    if (!seen.colourGiven) {
        *error = "the header has no C field, which means 4:2:0 (C420jpeg); filterhost reads 4:4:4 "
                 "at 8, 10, 12 or 16 bits: " +
                 std::string(pixFmtAdvice);
        return false;
    }
    return ParseColourSpace(seen.colour, &header->depth, error);
}

std::string ColourSpaceTag(int depth)
{
    return depth == 8 ? "C444" : "C444p" + std::to_string(depth);
}

std::string FormatY4MHeader(const Y4MHeader& header, VideoRange range)
{
    std::string line =
        "YUV4MPEG2 W" + std::to_string(header.width) + " H" + std::to_string(header.height) + " F" +
        header.frameRate + " Ip A" + header.aspect + " " + ColourSpaceTag(header.depth) +
        " XYSCSS=" + (header.depth == 8 ? "444" : "444P" + std::to_string(header.depth)) +
        " XCOLORRANGE=" + (range == VideoRange::full ? "FULL" : "LIMITED");
    return line + "\n";
}

size_t Y4MFrameBytes(int width, int height, int depth)
{
    return static_cast<size_t>(width) * height * 3 * SampleBytes(depth);
}

bool StartY4MReader(std::FILE* file, Y4MReader* reader, std::string* error)
{
    const std::function<void()> planesRead = reader->planesRead;
    *reader = Y4MReader();
    reader->file = file;
    reader->planesRead = planesRead;
    std::string line;
    if (!ReadLine(file, &line)) {
        if (std::ferror(file)) {
            *error = std::string("cannot read the input: ") + std::strerror(errno);
        } else if (line.empty()) {
            *error = "the input is empty: no YUV4MPEG2 header";
        } else if (line.compare(0, 9, "YUV4MPEG2") != 0) {
            return ParseY4MHeader(line, &reader->header, error);
        } else if (line.size() == longestLine) {
            *error = "the header line is over 4096 bytes long: the stream is damaged";
        } else {
            *error = "the stream ends inside its header";
        }
        return false;
    }
    reader->headerBytes = static_cast<int64_t>(line.size()) + 1;
    return ParseY4MHeader(line, &reader->header, error);
}

namespace {

// What `found` is, which stands where a FRAME line should after a frame's
// data. `found` receives what follows, up to a frame and its FRAME line.
enum class PastFrame {
    trailing,   // the input ends less than a whole frame later, with no FRAME line
                // in this frame's data or after it (a short frame takes in the next
                // one's FRAME line): this frame is whole
    noMarker,   // a frame's data follows, then the end or a FRAME line: the next
                // frame lacks its FRAME line, and this frame is whole
    otherSize,  // this frame is not of the header's size, or the stream is damaged
};

PastFrame LookPastFrame(Y4MReader* reader, std::string* found)
{
    const std::vector<uint8_t>& data = reader->samples;
    const size_t frameBytes = data.size();
    const size_t wholeFrame = frameBytes + 6;
    if (found->size() < wholeFrame) {
        std::vector<char> rest(wholeFrame - found->size());
        const size_t got = std::fread(rest.data(), 1, rest.size(), reader->file);
        if (std::ferror(reader->file)) return PastFrame::otherSize;
        found->append(rest.data(), got);
    }
    if (found->size() == frameBytes ||
        (found->size() >= frameBytes + 5 && found->compare(frameBytes, 5, "FRAME") == 0)) {
        return PastFrame::noMarker;
    }
    const std::string all = std::string(data.begin(), data.end()) + *found;
    return found->size() < wholeFrame && all.find("FRAME") == std::string::npos
               ? PastFrame::trailing
               : PastFrame::otherSize;
}

// Reads what follows frame `index`'s data: the next FRAME line, the end, or
// what stands there instead. What spoils only the next frame is kept for its
// read (pendingError); false, with the error, when this frame is not whole.
bool ReadPastFrame(Y4MReader* reader, int64_t index, const std::string& layout, std::string* found,
                   std::string* error)
{
    std::string next;
    switch (ReadMarker(reader, index + 1, found, &next)) {
    case Marker::frame:
        reader->nextMarkerRead = true;
        return true;
    case Marker::end:
        reader->ended = true;
        return true;
    case Marker::failed:
        reader->pendingError = next;  // this frame is whole; the next one is not
        return true;
    case Marker::bad:
        break;
    }
    switch (LookPastFrame(reader, found)) {
    case PastFrame::trailing:
        reader->pendingError = "trailing data after frame " + std::to_string(index + 1) + ": " +
                               std::to_string(found->size()) + " bytes that are no frame (\"" +
                               Printable(found->substr(0, 16)) + "\"" +
                               (found->size() > 16 ? "..." : "") + ")";
        return true;
    case PastFrame::noMarker:
        reader->pendingError = FrameLabel(index + 1) + "no FRAME line before its data (found \"" +
                               Printable(found->substr(0, 5)) +
                               "\"): the stream is damaged; the frames before it are whole";
        return true;
    case PastFrame::otherSize:
        break;
    }
    *error = FrameLabel(index) +
             "its data does not end where the next FRAME line should start (found \"" +
             Printable(*found) + "\"): the frame is larger or smaller than the header says (" +
             layout + "), or the stream is damaged";
    return false;
}

Y4MRead ReadFrame(Y4MReader* reader, std::string* error)
{
    if (!reader->pendingError.empty()) {
        *error = reader->pendingError;
        return Y4MRead::failed;
    }
    if (reader->ended) {
        return Y4MRead::end;
    }
    const int64_t index = reader->framesRead;
    const Y4MHeader& h = reader->header;
    std::string found;
    if (!reader->nextMarkerRead) {
        switch (ReadMarker(reader, index, &found, error)) {
        case Marker::frame:
            break;
        case Marker::end:
            reader->ended = true;
            return Y4MRead::end;
        case Marker::bad:
            *error = FrameLabel(index) + "no FRAME line where it should start (found \"" +
                     Printable(found) + "\")";
            return Y4MRead::failed;
        case Marker::failed:
            return Y4MRead::failed;
        }
    }
    reader->nextMarkerRead = false;
    const size_t size = Y4MFrameBytes(h.width, h.height, h.depth);
    reader->samples.resize(size);
    const size_t got = std::fread(reader->samples.data(), 1, size, reader->file);
    const std::string frame = FrameLabel(index);
    const std::string layout = "a " + std::to_string(h.width) + "x" + std::to_string(h.height) +
                               " " + ColourSpaceTag(h.depth) + " frame is " + std::to_string(size) +
                               " bytes";
    if (got < size) {
        if (std::ferror(reader->file)) {
            *error = frame + "cannot read the input: " + std::strerror(errno);
        } else {
            *error = frame + "the stream ends inside the frame, after " + std::to_string(got) +
                     " bytes (" + layout + ")";
        }
        return Y4MRead::failed;
    }
    if (reader->planesRead) reader->planesRead();
    if (!ReadPastFrame(reader, index, layout, &found, error)) {
        return Y4MRead::failed;
    }
    ++reader->framesRead;
    return Y4MRead::frame;
}

}  // namespace

Y4MRead ReadY4MFrame(Y4MReader* reader, std::string* error)
{
    const Y4MRead read = ReadFrame(reader, error);
    if (read == Y4MRead::failed) {
        reader->pendingError = *error;  // a broken stream stays broken
    }
    return read;
}

void DecodeY4MFrame(const uint8_t* samples, const RowLevels& levels, YCFrame* frame)
{
    const size_t row = static_cast<size_t>(frame->width) * SampleBytes(levels.depth);
    const size_t plane = row * frame->height;
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t* first = samples + y * row;
        const uint8_t* const planes[3] = {first, first + plane, first + 2 * plane};
        PixelsFromPlanes(planes, frame->width, levels, &PixelAt(*frame, 0, y));
    }
}

void EncodeY4MFrame(const YCFrame& frame, const RowLevels& levels, std::vector<uint8_t>* bytes)
{
    static const char marker[] = "FRAME\n";
    const size_t markerBytes = sizeof marker - 1;
    const size_t row = static_cast<size_t>(frame.width) * SampleBytes(levels.depth);
    const size_t plane = row * frame.height;
    bytes->resize(markerBytes + Y4MFrameBytes(frame.width, frame.height, levels.depth));
    std::memcpy(bytes->data(), marker, markerBytes);
    for (int y = 0; y < frame.height; ++y) {
        uint8_t* first = bytes->data() + markerBytes + y * row;
        uint8_t* const planes[3] = {first, first + plane, first + 2 * plane};
        PlanesFromPixels(&PixelAt(frame, 0, y), frame.width, levels, planes);
    }
}
