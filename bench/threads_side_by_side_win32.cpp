// The converters' three ways of threading in one process, frame by frame
// under the same load: three copies of kelvo.auf, each a module of its own
// (its own engine, device and workers), started with
//   one     KELVO_THREADS=1, everything on the calling thread
//   bands   KELVO_THREADS=<processors>, always in bands
//   default no KELVO_THREADS: the plug-in's own choice, measured on the frames
//   before  the same with another build of the plug-in, when one is given;
//           then only default and before run (how a change to the choice
//           fares under the very same load: four copies of a 3840x2160 F32
//           frame do not fit in the address space of a 32-bit process)
// and handed the same picture in turn, the order turning each frame. Runs of
// separate processes differ by 10 to 20 % here, as the machine's other work
// comes and goes; calls taken in turn see the same moment.
//
// Each copy writes what its converter calls came to when it stops (the
// debugger line of the workers' end: pack and unpack means over the run).
// The output is those lines, one per way:
//   one: kelvo: pack 4.40 ms a call (mean of 24; ...); unpack ...
// and the three results of the last frame are compared byte for byte, since
// the way may change which threads convert but never a pixel.
//
//   threads_side_by_side.exe WxH KIND FRAMES [PLUGIN [BEFORE]]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/pictures/test_picture.h"
#include "host/session/error_boxes.h"
#include "host/session/host_session.h"
#include "host/wide_text.h"

namespace {

constexpr int mostWays = 4;
const char* const wayNames[mostWays] = {"one", "bands", "default", "before"};

// The way whose lines are coming in: copies stop one after another.
const char* stoppingWay = "";

void PrintWayLine(const std::string& line)
{
    std::printf("%s: %s\n", stoppingWay, line.c_str());
}

void PrintBox(const CapturedErrorBox& box)
{
    std::printf("%s: error box \"%s\": %s\n", stoppingWay, box.caption.c_str(), box.text.c_str());
}

// Setting the bench/run frames use: a visible correction in both spaces.
bool ApplyTracks(HostSession* session, int kind, std::string* error)
{
    const int tracks[][2] = {{3, 64}, {8, -96}, {11, -96}, {14, -96}, {15, kind}};
    for (const auto& t : tracks) {
        if (!SetTrack(session, t[0], t[1], error)) return false;
    }
    return true;
}

// KELVO_THREADS as the way wants it, read by the copy's onInit.
void SetThreadsFor(int way)
{
    wchar_t count[16];
    std::swprintf(count, 16, L"%lu",
                  static_cast<unsigned long>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)));
    SetEnvironmentVariableW(L"KELVO_THREADS", way == 0 ? L"1" : way == 1 ? count : nullptr);
    // "default" and "before" leave the choice to the plug-in.
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int width = 0;
    int height = 0;
    if (argc < 4 || std::swscanf(argv[1], L"%dx%d", &width, &height) != 2 || width <= 0 ||
        height <= 0) {
        std::fprintf(stderr, "usage: threads_side_by_side.exe WxH KIND FRAMES [PLUGIN [BEFORE]]\n");
        return 2;
    }
    const int kind = _wtoi(argv[2]);
    const int frames = _wtoi(argv[3]);
    const std::wstring plugin = argc > 4 ? std::wstring(argv[4]) : DefaultPluginPath();
    const bool againstBefore = argc > 5;
    const int wayCount = againstBefore ? 2 : 3;
    const int firstWay = againstBefore ? 2 : 0;  // in wayNames

    // Copies under names of their own: one file loaded three times is one module.
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    HostSession sessions[mostWays];
    std::wstring copies[mostWays];
    std::string error;
    bool ok = true;
    for (int i = 0; i < wayCount && ok; ++i) {
        const int w = firstWay + i;
        copies[w] = std::wstring(folder) + L"kelvo-side-by-side-" + WideFromUtf8(wayNames[w]) +
                    L"-" + std::to_wstring(GetCurrentProcessId()) + L".auf";
        stoppingWay = wayNames[w];
        const std::wstring& source = w == 3 ? std::wstring(argv[5]) : plugin;
        ok = CopyFileW(source.c_str(), copies[w].c_str(), FALSE) &&
             OpenSession(&sessions[w], copies[w], &error);
        if (!ok) {
            if (error.empty()) error = "cannot copy " + Utf8FromWide(source.c_str());
            break;
        }
        std::string noBoxes;  // a module without boxes has none to catch
        CaptureErrorBoxes(sessions[w].module, PrintBox, &noBoxes);
        CaptureDebuggerLines(sessions[w].module, PrintWayLine);
        SetThreadsFor(w);
        ok = ApplyTracks(&sessions[w], kind, &error) && StartPlugin(&sessions[w]) != 0;
        if (!ok && error.empty()) error = std::string(wayNames[w]) + ": onInit failed";
    }
    SetEnvironmentVariableW(L"KELVO_THREADS", nullptr);

    const YCFrame picture = MakeTestPicture(width, height, width);
    YCFrame results[mostWays];
    for (int f = 0; f < frames && ok; ++f) {
        for (int i = 0; i < wayCount && ok; ++i) {
            const int w = firstWay + (f + i) % wayCount;
            results[w] = picture;
            stoppingWay = wayNames[w];
            const FrameResult result = ProcessFrame(&sessions[w], &results[w]);
            if (result.returned == 0) {
                error = std::string(wayNames[w]) + ": frame " + std::to_string(f) + " failed";
                ok = false;
            }
        }
    }
    if (ok) {
        for (int w = 1; !againstBefore && w < 3; ++w) {  // the ways of one build
            // Both are copies of the picture, so of one size.
            if (std::memcmp(results[w].pixels.data(), results[0].pixels.data(),
                            results[0].pixels.size() * sizeof(YCPixel)) != 0) {
                error = std::string(wayNames[w]) + " gave other pixels than " + wayNames[0];
                ok = false;
            }
        }
    }
    for (int w = firstWay; w < firstWay + wayCount; ++w) {
        stoppingWay = wayNames[w];
        if (sessions[w].module != nullptr) CloseSession(&sessions[w]);
        if (!copies[w].empty()) DeleteFileW(copies[w].c_str());
    }
    std::fflush(stdout);
    if (!ok) {
        std::fprintf(stderr, "threads_side_by_side: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
