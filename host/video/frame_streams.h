// Where filterhost's frames come from and where its results go: pictures,
// raw frames and the test picture held in memory (and repeated as needed),
// or a YUV4MPEG2 stream read one frame at a time; results to a picture (the
// last frame), a raw file or a YUV4MPEG2 stream, file or standard output.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command_line/options.h"
#include "pictures/picture_io.h"
#include "pictures/yc_frame.h"
#include "video/video_levels.h"
#include "video/y4m_stream.h"

// A stream's frames are read and decoded by a thread of their own, as are
// raw frames from a named pipe: while the plug-in corrects frame n, frame
// n + 1 is read into `next`; NextFrame waits for it and swaps it into
// `current`. Two frames are held, never more, and nothing is read past the
// run's last frame. A stream's header is read on that thread too. A read
// from a pipe may wait as long as the program writing it likes: a stop
// request ends the wait, and a read still under way is then left to itself
// (Wine cannot cancel a read from a pipe).
struct FrameFeed {
    std::vector<YCFrame> frames;  // held in memory, repeated as needed
    RawFrames raw;                // raw input: a file read a frame at a time into `current`
    bool stream = false;          // a YUV4MPEG2 stream instead
    bool sequential = false;      // read in turn on the reading thread: a stream, or a raw pipe
    std::string name;             // the file, or "standard input"
    std::FILE* file = nullptr;
    Y4MReader reader;
    RowLevels levels;                // with the stream's colour matrix
    bool matrixByFrameSize = false;  // the matrix was chosen by the frame size
    YCFrame current;                 // the stream's or the raw file's current frame
    int64_t length = -1;             // frames the run will take; -1 unknown

    std::thread readerThread;
    std::mutex lock;
    std::condition_variable changed;
    bool headerRead = false;  // a stream's header; its frames come next
    YCFrame next;             // being read, or read and not yet taken
    bool reading = false;     // the thread is reading into `next`
    bool planesRead = false;  // a stream frame's planes are in, its end is being checked
    bool stopping = false;
    Y4MRead nextResult = Y4MRead::end;
    std::string nextError;            // with Y4MRead::failed
    std::vector<double> readSeconds;  // per frame, on the reading thread
};

// Opens and checks the input; a stream's header is read, and its first
// frame begun. False with a message (or after a stop request, ending the
// wait for the header).
// `notes` receives remarks for the user, each beginning "note: " or
// "warning: " (a range that overrides the stream's own, a header line that
// ends in CR LF, fields left out).
bool OpenFeed(const HostOptions& options, FrameFeed* feed, std::vector<std::string>* notes,
              std::string* error);

// Frame `index` (from 0; messages number frames from 1), or null at the end
// of the input or on a stop request; null with a message for a stream that
// turns out broken.
YCFrame* NextFrame(FrameFeed* feed, int64_t index, int64_t frameLimit, std::string* error);

// Whether NextFrame would return without waiting for the input.
bool NextFrameReady(FrameFeed* feed);

// Ends the reading thread, or leaves it to itself in a read that a stop
// request cut short; closes the input unless that thread still reads it.
void CloseFeed(FrameFeed* feed);

// Whether a reading thread was left in a read (CloseFeed). Its feed must
// then outlive it, and the process must end without the C library's
// clean-up, which would wait for the read to end before closing the file.
bool ReadLeftUnfinished();

// A frame of the input's size.
const YCFrame& FeedShape(const FrameFeed& feed);

// What the input is, for the summary: "1920x1080 C444p16, limited range,
// BT.709 (by frame size)".
std::string DescribeFeed(const FrameFeed& feed);

// A stream's frames are written by a thread of their own while the plug-in
// corrects the next frame: writing 12 MB into a pipe takes about as long as
// the reader needs to drain it, which is no work of the host's. The write of
// a frame starts only once the next frame has been read (StartWriting), so
// that the two transfers do not compete for the memory and the cores. There
// is still one output buffer: the next frame is encoded into it only when
// the write before has finished.
struct FrameSink {
    FileKind kind = FileKind::unknown;  // unknown: no output
    std::string path;
    std::string name;                // the file, or "standard output"
    std::FILE* file = nullptr;       // raw and stream output
    bool seekable = false;           // a file that can be cut back, standard output too
    bool checkRoom = false;          // a file that cannot: write only what fits
    RowLevels levels;                // stream output
    bool matrixByFrameSize = false;  // of a stream made from pictures
    std::vector<uint8_t> bytes;      // the frame being written
    int64_t wholeBytes = 0;          // written up to the end of the last whole frame
    int64_t framesWritten = 0;
    YCFrame last;            // picture output
    bool pipe = false;       // a named pipe, or standard output that is a pipe (no file)
    PendingFile outputFile;  // a file until the run ends: `file` writes into it, or a picture
    PendingFile beforeFile;  // --before, until the run ends

    std::thread writer;
    std::mutex lock;
    std::condition_variable changed;
    bool pending = false;  // `bytes` hold frame `writingIndex`, not yet started
    bool writing = false;  // `bytes` hold frame `writingIndex`, being written
    bool stopping = false;
    int64_t writingIndex = 0;
    int writeError = 0;  // errno of a failed write; 0 none
    bool failureReported = false;
    std::vector<double> writeSeconds;  // per frame, on the writer thread
};
// Creates every output and writes a stream's header, so that a name that
// cannot be written fails before any frame is run: files (a stream, raw
// frames, a picture, --before) as PendingFiles, held until the run ends;
// a stream to standard output or into a named pipe as it goes.
bool OpenSink(const HostOptions& options, const FrameFeed& feed, FrameSink* sink,
              std::string* error);

// Appends frame `index` (raw and stream frames once the write before has
// finished; its own write waits for StartWriting or CloseSink). False when
// this or an earlier frame's write failed, with a message naming that frame
// and the system's reason; a file, or standard output that is a file, is
// then cut back to its last whole frame.
bool WriteFrame(FrameSink* sink, const YCFrame& frame, int64_t index, std::string* error);

// Starts the write of a stream frame that WriteFrame has queued, if any.
void StartWriting(FrameSink* sink);

// Waits for the last write; closes standard output or a pipe. Files stay
// pending (EndSink). False when a write failed, with a message unless
// WriteFrame gave it already.
bool CloseSink(FrameSink* sink, std::string* error);

// What became of an output when the run ended, for the report.
struct OutputFate {
    std::string name;        // as given, or "standard output"
    std::string kept;        // where its bytes are now: `name`, STEM.partial.EXT, or none
    bool direct = false;     // standard output or a pipe: written as the run went
    bool pipe = false;       // a pipe: its frames were sent, and what the reader kept is its own
    bool complete = false;   // it took its name, replacing any file of that name
    bool existed = false;    // a file of that name was there before the run
    bool picture = false;    // one frame, not a stream
    bool before = false;     // --before
    bool displaced = false;  // its folder was renamed or moved while it was written
    bool deleted = false;    // its folder was deleted, and the frames with it
    int64_t frames = 0;      // the frames it holds; a picture's is the last of them
};

// Ends the outputs once the writes are done (CloseSink). For a run that
// succeeded (`complete`) each file takes its name; otherwise each keeps the
// whole frames it holds (KeepFile, pictures/pending_file.h), and one that
// holds no frame is removed. Pictures are written now, from the last frame
// and, for --before, `lastInput` (the input of frame `framesDone`). False
// when a file could not be written, with the messages in `errors`.
bool EndSink(FrameSink* sink, bool complete, const YCFrame* lastInput, int64_t framesDone,
             std::vector<OutputFate>* fates, std::vector<std::string>* errors);

// What a stream made from pictures or raw frames is written as, for the
// summary: "C444p16, limited range, BT.709 (by frame size)"; empty for
// other output.
std::string DescribeSink(const FrameSink& sink);
