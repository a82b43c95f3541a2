#include "video/frame_streams.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "pictures/color_convert.h"
#include "pictures/frame_size.h"
#include "pictures/test_picture.h"
#include "run_ledger.h"
#include "seconds_now.h"
#include "stop_request.h"
#include "video/file_writes.h"
#include "video/output_targets.h"
#include "video/stream_files.h"

namespace {

constexpr int pictureStreamDepth = 16;

std::atomic<bool> readLeftUnfinished{false};

// The colour matrix of a stream's YCbCr: as given, or what players take a
// stream of that size to use.
VideoMatrix StreamMatrix(const HostOptions& options, int width, int height)
{
    return options.matrix ? *options.matrix : MatrixForFrameSize(width, height);
}

bool PrepareFrames(const HostOptions& options, std::vector<YCFrame>* frames, RawFrames* raw,
                   std::string* error)
{
    if (options.inputPath.empty()) {
        int width = options.width != 0 ? options.width : defaultTestWidth;
        int height = options.height != 0 ? options.height : defaultTestHeight;
        int maxWidth = options.maxWidth != 0 ? options.maxWidth : width;
        if (!CheckFrameSize(width, height, maxWidth, error)) return false;
        frames->push_back(MakeTestPicture(width, height, maxWidth));
        return true;
    }
    if (options.rawInput) {
        int maxWidth = options.maxWidth != 0 ? options.maxWidth : options.width;
        if (!CheckFrameSize(options.width, options.height, maxWidth, error)) return false;
        return OpenRawFrames(options.inputPath, options.width, options.height, maxWidth, raw,
                             error);
    }
    RgbImage image;
    if (!LoadPicture(options.inputPath, &image, error)) return false;
    int maxWidth = options.maxWidth != 0 ? options.maxWidth : image.width;
    if (!CheckFrameSize(image.width, image.height, maxWidth, error)) {
        *error = options.inputPath + ": " + *error;
        return false;
    }
    frames->push_back(FrameFromRgb(image, maxWidth));
    return true;
}

void WriteFrames(FrameSink* sink)
{
    std::unique_lock<std::mutex> hold(sink->lock);
    for (;;) {
        sink->changed.wait(hold, [sink] { return sink->writing || sink->stopping; });
        if (!sink->writing) return;
        hold.unlock();
        const double start = SecondsNow();
        errno = 0;
        const bool written = WriteBlock(sink->file, sink->bytes.data(), sink->bytes.size(),
                                        sink->checkRoom);
        const int code = errno != 0 ? errno : EIO;
        const double seconds = SecondsNow() - start;
        hold.lock();
        sink->writeSeconds.push_back(seconds);
        if (!written) {
            sink->writeError = code;
        } else if (sink->seekable) {
            sink->wholeBytes = FilePosition(sink->file);
        }
        if (written && LedgerKept() && sink->file == sink->outputFile.file) {
            LedgerWholeFrames(sink->outputFile.temporary, FilePosition(sink->file),
                              sink->writingIndex + 1);
        }
        sink->writing = false;
        sink->changed.notify_all();
        if (!written) return;
    }
}

std::string WriteFailure(const FrameSink& sink, int64_t index, int code)
{
    std::string text = "frame " + std::to_string(index + 1) + ": cannot write " + sink.name;
    // A closed pipe reaches msvcrt as EPIPE or, under Wine, as EINVAL.
    if ((sink.path == "-" || sink.pipe) && (code == EPIPE || code == EINVAL)) {
        return text + ": the program reading it has closed the pipe";
    }
    return text + ": " + std::strerror(code);
}

// One read on the reading thread: a stream's header, its next frame, or
// a raw pipe's next frame into `next`.
Y4MRead ReadNext(FrameFeed* feed, std::string* error)
{
    if (!feed->stream) {
        const RawRead read = ReadNextRawFrame(&feed->raw, &feed->next, error);
        return read == RawRead::frame ? Y4MRead::frame
               : read == RawRead::end ? Y4MRead::end
                                      : Y4MRead::failed;
    }
    if (!feed->headerRead) {
        feed->headerRead = true;
        return StartY4MReader(feed->file, &feed->reader, error) ? Y4MRead::frame : Y4MRead::failed;
    }
    const Y4MRead result = ReadY4MFrame(&feed->reader, error);
    if (result == Y4MRead::frame) {
        DecodeY4MFrame(feed->reader.samples.data(), feed->levels, &feed->next);
    }
    return result;
}

void ReadFrames(FrameFeed* feed)
{
    std::unique_lock<std::mutex> hold(feed->lock);
    for (;;) {
        feed->changed.wait(hold, [feed] { return feed->reading || feed->stopping; });
        if (!feed->reading) return;
        const bool frame = feed->headerRead || !feed->stream;
        hold.unlock();
        const double start = SecondsNow();
        std::string error;
        const Y4MRead result = ReadNext(feed, &error);
        const double seconds = SecondsNow() - start;
        hold.lock();
        if (frame && result == Y4MRead::frame) feed->readSeconds.push_back(seconds);
        feed->nextResult = result;
        feed->nextError = error;
        feed->reading = false;
        feed->changed.notify_all();
    }
}

void StartReading(FrameFeed* feed)
{
    std::lock_guard<std::mutex> hold(feed->lock);
    feed->reading = true;
    feed->planesRead = false;
    feed->changed.notify_all();
}

// After a stop request, a stream frame whose planes have all arrived while
// the next FRAME line has not (a live input that pauses): taken as it is,
// since the run keeps every whole frame it received. The reading thread
// waits in its read and touches the planes no more.
bool TakeArrivedFrame(FrameFeed* feed)
{
    {
        std::lock_guard<std::mutex> hold(feed->lock);
        if (!feed->planesRead || !feed->reading) return false;
        feed->planesRead = false;
    }
    DecodeY4MFrame(feed->reader.samples.data(), feed->levels, &feed->next);
    return true;
}

// Waits for the reading thread's read and takes its result; false when a
// stop request came first.
bool AwaitRead(FrameFeed* feed, Y4MRead* result, std::string* error)
{
    std::unique_lock<std::mutex> hold(feed->lock);
    while (!feed->changed.wait_for(hold, std::chrono::milliseconds(100),
                                   [feed] { return !feed->reading; })) {
        if (StopRequest() != nullptr) return false;
    }
    *result = feed->nextResult;
    *error = feed->nextError;
    feed->nextResult = Y4MRead::end;  // an input that has ended stays ended
    feed->nextError.clear();
    return true;
}

// Waits until the writer thread is idle; false with the message of a
// failed write, after cutting a file back to its last whole frame.
bool FinishWriting(FrameSink* sink, std::string* error)
{
    std::unique_lock<std::mutex> hold(sink->lock);
    sink->changed.wait(hold, [sink] { return !sink->writing; });
    if (sink->writeError == 0) return true;
    if (!sink->failureReported) {
        sink->failureReported = true;
        --sink->framesWritten;
        *error = WriteFailure(*sink, sink->writingIndex, sink->writeError);
        if (sink->seekable) {
            // No half frame is left behind for the next program to choke on.
            CutBack(sink->file, sink->wholeBytes);
        }
    }
    return false;
}

}  // namespace

namespace {

// Frames held in memory, or raw frames: from a file, read where they lie,
// or from a pipe, read in turn on the reading thread.
bool OpenFrames(const HostOptions& options, FrameFeed* feed, std::string* error)
{
    if (!PrepareFrames(options, &feed->frames, &feed->raw, error)) return false;
    const bool raw = feed->raw.file != nullptr;
    if (raw) feed->current = feed->raw.shape;
    feed->length = options.frames != 0 ? options.frames
                   : raw               ? feed->raw.frames
                                       : static_cast<int64_t>(feed->frames.size());
    if (raw && feed->raw.frames < 0) {
        feed->sequential = true;
        feed->name = options.inputPath;
        feed->next = feed->current;
        feed->readerThread = std::thread(ReadFrames, feed);
        StartReading(feed);
    }
    return true;
}

}  // namespace

bool OpenFeed(const HostOptions& options, FrameFeed* feed, std::vector<std::string>* notes,
              std::string* error)
{
    if (!options.streamInput) return OpenFrames(options, feed, error);
    feed->stream = true;
    feed->sequential = true;
    feed->name = options.inputPath == "-" ? "standard input" : options.inputPath;
    feed->file = OpenStreamInput(options.inputPath, error);
    if (feed->file == nullptr) return false;
    feed->reader.planesRead = [feed] {
        std::lock_guard<std::mutex> hold(feed->lock);
        feed->planesRead = true;
    };
    feed->readerThread = std::thread(ReadFrames, feed);
    StartReading(feed);
    Y4MRead header;
    if (!AwaitRead(feed, &header, error)) {
        *error = feed->name + ": stopped by " + StopRequest() + " while waiting for the header";
        return false;
    }
    if (header == Y4MRead::failed) {
        *error = feed->name + ": " + *error;
        return false;
    }
    const Y4MHeader& h = feed->reader.header;
    const int maxWidth = options.maxWidth != 0 ? options.maxWidth : h.width;
    if (!CheckFrameSize(h.width, h.height, maxWidth, error)) {
        *error = feed->name + ": " + *error;
        return false;
    }
    if (h.crlf) {
        notes->push_back("note: " + feed->name +
                         ": the header line ends in CR LF; read as the "
                         "same header, written with a plain line end");
    }
    for (const std::string& field : h.dropped) {
        notes->push_back("warning: " + feed->name + ": header field " + field +
                         " is not one filterhost knows; left out of the output");
    }
    VideoRange range = h.hasRange ? h.range : VideoRange::limited;
    if (options.range) {
        if (h.hasRange && h.range != *options.range) {
            notes->push_back(std::string("note: the stream says XCOLORRANGE=") +
                             (h.range == VideoRange::full ? "FULL" : "LIMITED") + "; --range " +
                             RangeName(*options.range) + " overrides it");
        }
        range = *options.range;
    }
    feed->matrixByFrameSize = !options.matrix;
    feed->levels = MakeRowLevels(h.depth, range, StreamMatrix(options, h.width, h.height));
    feed->current = MakeFrame(h.width, h.height, maxWidth);
    feed->length = FramesInFile(feed->file, feed->reader);
    if (options.frames != 0) {
        feed->length = feed->length < 0 ? options.frames
                                        : std::min<int64_t>(feed->length, options.frames);
    }
    feed->next = feed->current;
    StartReading(feed);
    return true;
}

YCFrame* NextFrame(FrameFeed* feed, int64_t index, int64_t frameLimit, std::string* error)
{
    error->clear();
    if (frameLimit != 0 && index >= frameLimit) {
        return nullptr;
    }
    if (!feed->sequential && feed->raw.file != nullptr) {
        return ReadRawFrame(&feed->raw, index % feed->raw.frames, &feed->current, error)
                   ? &feed->current
                   : nullptr;
    }
    if (!feed->sequential) {
        return &feed->frames[static_cast<size_t>(index %
                                                 static_cast<int64_t>(feed->frames.size()))];
    }
    Y4MRead result;
    if (!AwaitRead(feed, &result, error)) {
        if (!TakeArrivedFrame(feed)) return nullptr;
        result = Y4MRead::frame;
        frameLimit = index + 1;  // nothing more is read
    }
    switch (result) {
    case Y4MRead::frame:
        std::swap(feed->current.pixels, feed->next.pixels);
        if (frameLimit == 0 || index + 1 < frameLimit) {
            StartReading(feed);
        }
        return &feed->current;
    case Y4MRead::end:
        if (index == 0)
            *error = feed->name + ": the " + (feed->stream ? "stream" : "pipe") +
                     " holds no frames";
        return nullptr;
    case Y4MRead::failed:
        *error = feed->stream ? feed->name + ", " + *error : *error;
        return nullptr;
    }
    return nullptr;
}

bool NextFrameReady(FrameFeed* feed)
{
    if (!feed->sequential) return true;
    std::lock_guard<std::mutex> hold(feed->lock);
    return !feed->reading;
}

void CloseFeed(FrameFeed* feed)
{
    if (feed->readerThread.joinable()) {
        Y4MRead ignored;
        std::string error;
        if (!AwaitRead(feed, &ignored, &error)) {
            // Blocked in a read no call can end: the thread keeps the file.
            readLeftUnfinished = true;
            feed->readerThread.detach();
            return;
        }
        {
            std::lock_guard<std::mutex> hold(feed->lock);
            feed->stopping = true;
            feed->changed.notify_all();
        }
        feed->readerThread.join();
    }
    if (feed->file != nullptr) CloseStreamInput(feed->file);
    feed->file = nullptr;
    CloseRawFrames(&feed->raw);
}

bool ReadLeftUnfinished()
{
    return readLeftUnfinished;
}

const YCFrame& FeedShape(const FrameFeed& feed)
{
    return feed.stream || feed.raw.file != nullptr || feed.frames.empty() ? feed.current
                                                                          : feed.frames.front();
}

std::string DescribeFeed(const FrameFeed& feed)
{
    if (!feed.stream) {
        const YCFrame& f = FeedShape(feed);
        return std::to_string(f.width) + "x" + std::to_string(f.height);
    }
    const Y4MHeader& h = feed.reader.header;
    return std::to_string(h.width) + "x" + std::to_string(h.height) + " " +
           ColourSpaceTag(h.depth) + ", " + RangeName(feed.levels.range) + " range, " +
           MatrixName(feed.levels.matrix) + (feed.matrixByFrameSize ? " (by frame size)" : "");
}

std::string DescribeSink(const FrameSink& sink)
{
    if (sink.kind != FileKind::y4m) return "";
    return ColourSpaceTag(sink.levels.depth) + ", " + RangeName(sink.levels.range) + " range, " +
           MatrixName(sink.levels.matrix) + (sink.matrixByFrameSize ? " (by frame size)" : "");
}

bool OpenSink(const HostOptions& options, const FrameFeed& feed, FrameSink* sink,
              std::string* error)
{
    if (!options.beforePath.empty() && !BeginFile(options.beforePath, &sink->beforeFile, error)) {
        return false;
    }
    if (options.outputPath.empty()) {
        return true;
    }
    sink->path = options.outputPath;
    sink->name = options.outputPath == "-" ? "standard output" : options.outputPath;
    sink->kind = options.outputKind;
    if (sink->kind != FileKind::raw && sink->kind != FileKind::y4m) {
        // A picture, written at the end.
        return BeginFile(options.outputPath, &sink->outputFile, error);
    }
    if (options.outputPath == "-") {
        sink->file = OpenStreamOutput(options.outputPath, error);
    } else if (KindOfTarget(options.outputPath) == TargetKind::pipe) {
        sink->pipe = true;
        sink->file = OpenPipeOutput(options.outputPath, error);
    } else if (BeginFile(options.outputPath, &sink->outputFile, error)) {
        sink->file = sink->outputFile.file;
    }
    if (sink->file == nullptr) return false;
    const int64_t start = FilePosition(sink->file);
    // Standard output that has no position is a pipe (or a console).
    sink->pipe = sink->pipe || start < 0;
    sink->seekable = start >= 0 && CanCutBack(sink->file);
    sink->checkRoom = start >= 0 && !sink->seekable;
    sink->wholeBytes = start;
    if (sink->kind == FileKind::raw) {
        return true;
    }
    Y4MHeader header;
    if (feed.stream) {
        header = feed.reader.header;
        sink->levels = feed.levels;
    } else {
        header.width = FeedShape(feed).width;
        header.height = FeedShape(feed).height;
        header.depth = pictureStreamDepth;
        sink->levels = MakeRowLevels(pictureStreamDepth,
                                     options.range.value_or(VideoRange::limited),
                                     StreamMatrix(options, header.width, header.height));
        sink->matrixByFrameSize = !options.matrix;
    }
    const std::string line = FormatY4MHeader(header, sink->levels.range);
    if (!WriteBlock(sink->file, line.data(), line.size(), sink->checkRoom)) {
        *error = "cannot write " + sink->name + ": " + std::strerror(errno);
        if (sink->seekable) CutBack(sink->file, start);
        return false;
    }
    if (sink->seekable) sink->wholeBytes = FilePosition(sink->file);
    return true;
}

bool WriteFrame(FrameSink* sink, const YCFrame& frame, int64_t index, std::string* error)
{
    switch (sink->kind) {
    case FileKind::unknown:
        return true;
    case FileKind::raw:
    case FileKind::y4m:
        break;
    default:
        sink->last = frame;
        ++sink->framesWritten;
        return true;
    }
    StartWriting(sink);  // a frame still queued goes out before its buffer is used again
    if (!FinishWriting(sink, error)) return false;
    if (sink->kind == FileKind::raw) {
        EncodeRawFrame(frame, &sink->bytes);
    } else {
        EncodeY4MFrame(frame, sink->levels, &sink->bytes);
    }
    if (!sink->writer.joinable()) {
        sink->writer = std::thread(WriteFrames, sink);
    }
    std::lock_guard<std::mutex> hold(sink->lock);
    sink->pending = true;
    sink->writingIndex = index;
    ++sink->framesWritten;
    return true;
}

void StartWriting(FrameSink* sink)
{
    std::lock_guard<std::mutex> hold(sink->lock);
    if (!sink->pending) return;
    sink->pending = false;
    sink->writing = true;
    sink->changed.notify_all();
}

bool CloseSink(FrameSink* sink, std::string* error)
{
    bool ok = true;
    if (sink->writer.joinable()) {
        StartWriting(sink);
        ok = FinishWriting(sink, error);
        {
            std::lock_guard<std::mutex> hold(sink->lock);
            sink->stopping = true;
            sink->changed.notify_all();
        }
        sink->writer.join();
    }
    if (sink->file == nullptr) return ok;
    errno = 0;
    const bool closed = sink->file == sink->outputFile.file ? std::fflush(sink->file) == 0
                                                            : CloseStreamOutput(sink->file);
    sink->file = nullptr;
    if (ok && !closed) {
        *error = "cannot write " + sink->name + ": " + std::strerror(errno != 0 ? errno : EIO);
    }
    return ok && closed;
}

namespace {

// One file's end: its name for a complete run, otherwise what it holds is
// kept, or nothing when it holds no frame.
void EndFile(PendingFile* file, bool complete, OutputFate* fate, std::vector<std::string>* errors)
{
    fate->name = file->path;
    fate->existed = file->existed;
    std::string error;
    if (fate->frames == 0) {
        DiscardFile(file);
    } else if (complete) {
        fate->complete = FinishFile(file, &error);
        fate->kept = fate->complete ? file->path : "";
    } else if (!KeepFile(file, &fate->kept, &error)) {
        fate->kept.clear();
    }
    fate->displaced = file->displaced;
    fate->deleted = file->deleted;
    if (!error.empty()) errors->push_back(error);
}

}  // namespace

bool EndSink(FrameSink* sink, bool complete, const YCFrame* lastInput, int64_t framesDone,
             std::vector<OutputFate>* fates, std::vector<std::string>* errors)
{
    const size_t errorsBefore = errors->size();
    std::string error;
    if (sink->kind != FileKind::unknown) {
        OutputFate fate;
        fate.frames = sink->framesWritten;
        fate.picture = sink->kind != FileKind::raw && sink->kind != FileKind::y4m;
        if (sink->outputFile.file == nullptr) {
            fate.name = sink->name;
            fate.kept = sink->name;
            fate.direct = true;
            fate.pipe = sink->pipe;
            fate.complete = complete;
        } else {
            if (fate.picture && fate.frames > 0 &&
                !PutPicture(&sink->outputFile, RgbFromFrame(sink->last), &error)) {
                errors->push_back(error);
                fate.frames = 0;
            }
            EndFile(&sink->outputFile, complete, &fate, errors);
        }
        fates->push_back(fate);
    }
    if (sink->beforeFile.file != nullptr) {
        OutputFate fate;
        fate.picture = true;
        fate.before = true;
        fate.frames = lastInput != nullptr ? framesDone : 0;
        if (fate.frames > 0 && !PutPicture(&sink->beforeFile, RgbFromFrame(*lastInput), &error)) {
            errors->push_back(error);
            fate.frames = 0;
        }
        EndFile(&sink->beforeFile, complete, &fate, errors);
        fates->push_back(fate);
    }
    return errors->size() == errorsBefore;
}
