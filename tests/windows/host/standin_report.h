// What the stand-in filter saw of the host, read by the tests through its
// second export. The stand-in has the plug-in interface and a transform a
// test can predict:
//   onInit      creates a "Debug KELVO" edit window owned by the context's
//               window; returns 0 when track 1 is standinRefuseInit.
//   onProcess   Y += track 0 * 16 on the first `width` pixels of each row;
//               track 2 == standinShowError: shows an error box and fails;
//               track 3 == standinWritePastWidth: also writes the first
//               pixel past the width of every row; check 1 ==
//               standinSpoilPixel (tracks 0..14 all feed the reference
//               model, the check boxes do not): Cr of pixel (0, 0) += 100.
//               Shows
//               "Size :WxH(tag)" (tag from track 15) and stage lines with
//               Put = n ms, Proc = 2n ms, Get = 0.5 ms for the n-th frame,
//               plus "Alloc:50 ms" on the first frame.
//   onUpdate    when check 0 is on, copies track 6 to tracks 9 and 12 and
//               calls refreshWindow.
//   onWindowMessage  records; calls isActive on message 1133.
// Host functions are called through their byte offsets (84 and 100), not
// through the host's struct, so a wrong layout shows.
#pragma once

#include <cstdint>

#include <windows.h>

#include "host_interface/host_records.h"

constexpr int32_t standinRefuseInit = -255;
constexpr int32_t standinShowError = 77;
constexpr int32_t standinWritePastWidth = 1;
constexpr int32_t standinSpoilPixel = 0;  // check 1 is on unless a test turns it off

constexpr int standinTrackCount = 16;
constexpr int standinCheckCount = 2;

struct StandinReport {
    HINSTANCE ownInstance;  // from DllMain
    int initCalls;
    int exitCalls;
    int processCalls;
    int updateCalls;
    int messageCalls;
    FilterContext* initContext;
    HWND initWindow;
    HINSTANCE initInstance;
    HostFunctions* initHostFunctions;
    int32_t initTracks[standinTrackCount];
    int32_t initChecks[standinCheckCount];
    int32_t isActiveAtInit;
    FilterContext* processContext;
    int32_t frameWidth;
    int32_t frameHeight;
    int32_t frameMaxWidth;
    YCPixel* framePixels;
    int32_t messageBoxResult;
    HWND messageWindow;
    uint32_t message;
    int32_t messageFirst;
    FilterContext* messageContext;
    int32_t isActiveAtMessage;
    HWND debugWindow;
};

typedef StandinReport*(__cdecl* GetStandinReportFunction)();
