// The plug-in as a host drives it: the shipped kelvo.auf, its five callbacks,
// a host context with track and check arrays and host functions, and the
// debug window's text as the record of what each frame did. Message boxes
// are recorded, the performance counter is scripted, and the Direct3D
// objects are tracked so that onExit must leave no reference behind.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "d3d_tracking.h"
#include "effect/correction_reference.h"
#include "engine/show_error.h"
#include "host_interface/debug_window.h"
#include "core/correction_tracks.h"
#include "message_capture.h"
#include "plugin_host.h"
#include "process_counts.h"
#include "pointer_patch.h"
#include "test_pixels.h"

namespace {

using Texts = std::vector<std::wstring>;

// Scripted performance counter: every reading advances by counterStep.
int64_t counterNow = 0;
int64_t counterStep = 2500;
int64_t reportedFrequency = 0;  // 0: "no usable frequency", times in ticks

BOOL WINAPI ScriptedCounter(LARGE_INTEGER* value)
{
    counterNow += counterStep;
    value->QuadPart = counterNow;
    return TRUE;
}

BOOL WINAPI ScriptedFrequency(LARGE_INTEGER* value)
{
    value->QuadPart = reportedFrequency;
    return reportedFrequency != 0;
}

class PluginSequenceTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure()) return;
        PatchPointer(FindImportEntry(session.module, "kernel32.dll", "QueryPerformanceCounter"),
                     reinterpret_cast<void*>(&ScriptedCounter));
        PatchPointer(FindImportEntry(session.module, "kernel32.dll", "QueryPerformanceFrequency"),
                     reinterpret_cast<void*>(&ScriptedFrequency));
        counterNow = 0;
        counterStep = 2500;
        reportedFrequency = 0;
    }

    std::wstring DebugText() { return DebugWindowText(&session); }

    // The stage names of the last frame, from the debug text.
    std::vector<std::wstring> Stages()
    {
        std::vector<std::wstring> stages;
        std::wstring text = DebugText();
        size_t start = text.find(L"\r\n");
        while (start != std::wstring::npos && start + 2 < text.size()) {
            stages.push_back(text.substr(start + 2, 5));
            start = text.find(L"\r\n", start + 2);
        }
        return stages;
    }

    int32_t Message(uint32_t message) { return SendHostMessage(&session, message, 0, 0); }
};

// The plug-in unpacks floats with either converter variant, as the
// processor allows; both are valid.
ReferenceRules SseUnpack()
{
    ReferenceRules rules;
    rules.floatUnpack = FloatUnpack::sse;
    return rules;
}
const std::initializer_list<ReferenceRules> eitherUnpack = {ReferenceRules{}, SseUnpack()};

const std::vector<std::wstring> allocFrame = {stageAlloc, stagePut, stageProc, stageGet};
const std::vector<std::wstring> paramFrame = {stageParam, stagePut, stageProc, stageGet};
const std::vector<std::wstring> plainFrame = {stagePut, stageProc, stageGet};

TEST_F(PluginSequenceTest, FramesRecordTheirStagesAndTheDebugTextShowsThem)
{
    ASSERT_EQ(Init(), 1);
    HostFrame frame = MarkedFrame(32, 8, 40);

    ASSERT_EQ(Process(frame), 1);
    EXPECT_EQ(Stages(), allocFrame);
    // Frequency unusable: times in ticks; every stage is one counter step.
    std::wstring expected = L"" KELVO_DEBUG_SIZE_LINE_START "32x8(F32)" KELVO_DEBUG_LINE_END;
    for (const std::wstring& label : allocFrame)
        expected += label + L":2.50000E+003" KELVO_DEBUG_LINE_END;
    EXPECT_EQ(DebugText(), expected);
    ASSERT_EQ(Process(frame), 1);
    EXPECT_EQ(Stages(), plainFrame);

    EXPECT_EQ(Update(), 1);
    ASSERT_EQ(Process(frame), 1);
    EXPECT_EQ(Stages(), paramFrame);

    tracks[trackFormat] = kindU16;
    EXPECT_EQ(Update(), 1);
    ASSERT_EQ(Process(frame), 1);
    EXPECT_EQ(Stages(), allocFrame);
    EXPECT_EQ(DebugText().substr(0, 17),
              L"" KELVO_DEBUG_SIZE_LINE_START "32x8(U16)" KELVO_DEBUG_LINE_END);

    // A counter that went backwards shows a negative time.
    counterStep = -1000;
    ASSERT_EQ(Process(frame), 1);
    EXPECT_NE(DebugText().find(stagePut + std::wstring(L":-1.00000E+003" KELVO_DEBUG_LINE_END)),
              std::wstring::npos)
        << DebugText();
    EXPECT_EQ(TakeMessageTexts(), Texts{});
}

// Every format and a few settings, each frame against the model. The frame
// starts with every combination of the extreme host values in Y, Cb and Cr,
// where the integer formats' decoding and encoding decide which end of the
// range a value belongs to.
TEST_F(PluginSequenceTest, TheFrameIsCorrectedInPlaceAndNothingPastTheWidthIsTouched)
{
    const struct {
        const char* name;
        int32_t tracks[trackFormat];
    } settings[] = {
        {"identity", {}},
        {"strong grade", {-40, 60, 12, -30, -7, 90, 33, -120, 77, -18, 45, -200, 5, 140, 128}},
        {"extreme gains", {0, 256, 0, -256, 0, 256, 0, 256, 0, 0, -256, 0, 0, 256, 0}},
    };
    std::vector<YCTriple> edges;
    const int16_t extremes[] = {-32768, -32767, -1, 0, 4096, 32767};
    for (int16_t y : extremes)
        for (int16_t cb : extremes)
            for (int16_t cr : extremes) edges.push_back({y, cb, cr});
    const int32_t width = 24, height = 10, pitch = 27;  // 216 edge pixels, then the mix
    ASSERT_EQ(Init(), 1);

    for (int32_t kind = 0; kind < textureFormatKindCount; ++kind) {
        for (const auto& setting : settings) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << ", " << setting.name);
            std::memcpy(tracks, setting.tracks, sizeof setting.tracks);
            tracks[trackFormat] = kind;
            ASSERT_EQ(Update(), 1);
            HostFrame frame = MarkedFrame(width, height, pitch, edges);
            const HostFrame input = frame;
            ASSERT_EQ(Process(frame), 1);

            EXPECT_EQ(MarkersDisturbed(frame), 0);
            EXPECT_EQ(PixelsOutsideModel(input.pixels.data(), frame.pixels.data(), width, height,
                                         pitch, ComputeCorrectionConstants(tracks),
                                         static_cast<TextureFormatKind>(kind), eitherUnpack, 5),
                      0);
        }
    }
}

TEST_F(PluginSequenceTest, AChangeOfMaxWidthAloneTransfersWithTheNewPitch)
{
    ASSERT_EQ(Init(), 1);
    HostFrame wide = MarkedFrame(10, 4, 20);
    ASSERT_EQ(Process(wide), 1);
    HostFrame narrow = MarkedFrame(10, 4, 12);  // smaller buffer: a stale pitch would overrun it
    const HostFrame input = narrow;
    ASSERT_EQ(Process(narrow), 1);
    EXPECT_EQ(Stages(), plainFrame) << "a pitch change alone must not re-allocate";
    EXPECT_EQ(MarkersDisturbed(narrow), 0);
    EXPECT_EQ(PixelsOutsideModel(input.pixels.data(), narrow.pixels.data(), 10, 4, 12,
                                 ComputeCorrectionConstants(tracks),
                                 static_cast<TextureFormatKind>(tracks[trackFormat]), eitherUnpack,
                                 3),
              0);

    HostFrame broken = MarkedFrame(10, 4, 12);
    broken.info.maxWidth = 9;  // below the width: refused, untouched
    const HostFrame brokenInput = broken;
    EXPECT_EQ(Process(broken), 0);
    EXPECT_TRUE(SamePixels(broken, brokenInput));
}

TEST_F(PluginSequenceTest, RgbSyncCopiesTheOddValueOutAndAsksTheHostToRedraw)
{
    checks[0] = 1;
    const struct {
        int32_t r, g, b, result;
    } cases[] = {{10, 10, 30, 30}, {10, 30, 30, 10}, {10, 30, 10, 30}, {10, 20, 30, 20}};
    for (int group = 0; group < 3; ++group) {
        for (const auto& c : cases) {
            std::fill_n(tracks, trackCount, 0);
            tracks[TrackIndex("R(offs)") + group] = c.r;
            tracks[TrackIndex("G(offs)") + group] = c.g;
            tracks[TrackIndex("B(offs)") + group] = c.b;
            session.refreshCalls = 0;
            EXPECT_EQ(Update(), 1);
            EXPECT_EQ(tracks[TrackIndex("R(offs)") + group], c.result);
            EXPECT_EQ(tracks[TrackIndex("G(offs)") + group], c.result);
            EXPECT_EQ(tracks[TrackIndex("B(offs)") + group], c.result);
            EXPECT_EQ(session.refreshCalls, 1) << "group " << group;
        }
    }
    // Two groups changed in one call: one redraw.
    std::fill_n(tracks, trackCount, 0);
    tracks[TrackIndex("R(offs)")] = 1;
    tracks[TrackIndex("G(gain)")] = 2;
    session.refreshCalls = 0;
    Update();
    EXPECT_EQ(session.refreshCalls, 1);

    // Equal groups: no redraw.
    std::fill_n(tracks, trackCount, 0);
    tracks[TrackIndex("R(offs)")] = tracks[TrackIndex("G(offs)")] = tracks[TrackIndex("B(offs)")] =
        5;
    session.refreshCalls = 0;
    Update();
    EXPECT_EQ(session.refreshCalls, 0);
    EXPECT_EQ(tracks[TrackIndex("R(offs)")], 5);

    // Sync off: unequal values stay, no redraw.
    checks[0] = 0;
    tracks[TrackIndex("R(offs)")] = 1;
    tracks[TrackIndex("G(offs)")] = 2;
    tracks[TrackIndex("B(offs)")] = 3;
    Update();
    EXPECT_EQ(session.refreshCalls, 0);
    EXPECT_EQ(tracks[TrackIndex("R(offs)")], 1);
    EXPECT_EQ(tracks[TrackIndex("G(offs)")], 2);
    EXPECT_EQ(tracks[TrackIndex("B(offs)")], 3);
}

TEST_F(PluginSequenceTest, NoEngineMeansNoFrameButSlidersStillSync)
{
    HostFrame frame = MarkedFrame(4, 2, 4);
    const HostFrame input = frame;
    EXPECT_EQ(Process(frame), 0) << "before onInit";
    // Without an engine, 1133 does not even ask whether the filter is on.
    EXPECT_EQ(Message(messageReleaseResources), 0);
    EXPECT_EQ(session.isActiveCalls, 0);

    FailDirect3DCreate9();
    EXPECT_EQ(Init(), 0);
    EXPECT_EQ(TakeErrorBoxTexts().size(), 1u);
    EXPECT_EQ(debugWindow, nullptr);
    EXPECT_EQ(Process(frame), 0) << "after a failed onInit";
    EXPECT_TRUE(SamePixels(frame, input));
    EXPECT_EQ(GetModuleHandleW(L"d3dx9_40.dll"), nullptr) << "a failed onInit kept D3DX";
    checks[0] = 1;
    tracks[TrackIndex("R(gamm)")] = 3;
    EXPECT_EQ(Update(), 1);
    EXPECT_EQ(tracks[TrackIndex("G(gamm)")], 3);
    EXPECT_EQ(tracks[TrackIndex("B(gamm)")], 3);
}

TEST_F(PluginSequenceTest, ExitAndInitAgainWorkAndAClosedWindowBreaksNothing)
{
    // D3DX is the engine's: loaded by onInit, freed by onExit (this program
    // does not load it itself).
    EXPECT_EQ(GetModuleHandleW(L"d3dx9_40.dll"), nullptr);
    ASSERT_EQ(Init(), 1);
    EXPECT_NE(GetModuleHandleW(L"d3dx9_40.dll"), nullptr);
    HostFrame frame = MarkedFrame(8, 4, 8);
    ASSERT_EQ(Process(frame), 1);

    // The user closes the debug window with its close box.
    HWND window = debugWindow;
    ASSERT_NE(window, nullptr);
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    ASSERT_EQ(Process(frame), 1);

    EXPECT_EQ(session.table->onExit(&session.context), 1);
    EXPECT_EQ(GetModuleHandleW(L"d3dx9_40.dll"), nullptr) << "onExit left D3DX loaded";
    EXPECT_EQ(Process(frame), 0);
    ASSERT_EQ(Init(), 1);
    ASSERT_EQ(Process(frame), 1);
    EXPECT_EQ(Stages(), allocFrame);
    EXPECT_EQ(TakeMessageTexts(), Texts{});
}

TEST_F(PluginSequenceTest, ABrokenHostsNullPointersAreRefusedWithoutAFault)
{
    ASSERT_EQ(Init(), 1);
    HostFrame frame = MarkedFrame(4, 2, 4);
    EXPECT_EQ(session.table->onProcess(nullptr, &frame.info), 0);
    EXPECT_EQ(session.table->onProcess(&session.context, nullptr), 0);
    frame.info.pixels = nullptr;
    EXPECT_EQ(session.table->onProcess(&session.context, &frame.info), 0);

    FilterContext noArrays = session.context;
    noArrays.trackValues = nullptr;
    noArrays.checkValues = nullptr;
    noArrays.hostFunctions = nullptr;
    HostFrame good = MarkedFrame(4, 2, 4);
    EXPECT_EQ(session.table->onProcess(&noArrays, &good.info), 0);
    EXPECT_EQ(session.table->onUpdate(&noArrays, 0), 1);
    EXPECT_EQ(session.table->onUpdate(nullptr, 0), 1);
    EXPECT_EQ(
        session.table->onWindowMessage(nullptr, messageSettingsChanged, 0, 0, nullptr, &noArrays),
        0);
    EXPECT_EQ(
        session.table->onWindowMessage(nullptr, messageReleaseResources, 0, 0, nullptr, nullptr),
        0);
    EXPECT_EQ(TakeMessageTexts(), Texts{});
}

// The plug-in's heap blocks from its malloc import (operator new included)
// that it has not freed yet.
std::set<void*> liveBlocks;
void*(__cdecl* realMalloc)(size_t);
void(__cdecl* realFree)(void*);

void* __cdecl TrackedMalloc(size_t size)
{
    void* block = realMalloc(size);
    if (block != nullptr) liveBlocks.insert(block);
    return block;
}

void __cdecl TrackedFree(void* block)
{
    liveBlocks.erase(block);
    realFree(block);
}

// Runs only in a process for which Wine disables d3dx9_40.dll (CTest's
// plugin_sequence_without_d3dx; the plain run leaves it out): the plug-in
// loads, says what is missing, and behaves as after any failed start.
using PluginWithoutD3dxTest = PluginSequenceTest;

TEST_F(PluginWithoutD3dxTest, InitNamesTheMissingRuntimeAndLeavesFramesAndNothingBehind)
{
    HMODULE d3dx = LoadLibraryW(L"d3dx9_40.dll");
    if (d3dx != nullptr) FreeLibrary(d3dx);
    ASSERT_EQ(d3dx, nullptr) << "this test needs a process without d3dx9_40.dll";

    liveBlocks.clear();
    realMalloc = reinterpret_cast<void*(__cdecl*)(size_t)>(
        PatchPointer(FindImportEntry(session.module, "msvcrt.dll", "malloc"),
                     reinterpret_cast<void*>(&TrackedMalloc)));
    realFree = reinterpret_cast<void(__cdecl*)(void*)>(
        PatchPointer(FindImportEntry(session.module, "msvcrt.dll", "free"),
                     reinterpret_cast<void*>(&TrackedFree)));

    HostFrame frame = MarkedFrame(6, 3, 8);
    const HostFrame input = frame;
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE("onInit number " + std::to_string(attempt + 1));
        EXPECT_EQ(Init(), 0);
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{ErrorTextOf(errorD3dxMissing)});
        EXPECT_EQ(debugWindow, nullptr);
        EXPECT_EQ(TrackedDirect3D(), nullptr) << "Direct3D was started without D3DX";
        EXPECT_EQ(Process(frame), 0);
        EXPECT_TRUE(SamePixels(frame, input));
        session.active = false;
        EXPECT_EQ(Message(messageReleaseResources), 0);
        EXPECT_EQ(Message(messageSettingsChanged), 0);
        checks[0] = 1;
        tracks[TrackIndex("R(gain)")] = 10 + attempt;
        EXPECT_EQ(Update(), 1);
        EXPECT_EQ(tracks[TrackIndex("B(gain)")], 10 + attempt)
            << "RGB sync works without an engine";
        EXPECT_EQ(session.table->onExit(&session.context), 1);
        EXPECT_TRUE(liveBlocks.empty()) << liveBlocks.size() << " block(s) not freed";
    }
}

}  // namespace

// ---- The converters' worker threads over the plug-in's lifetime ----------

// Whether the module that holds `address` is still loaded.
bool StillLoaded(const void* address)
{
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module) != 0;
}

// A host that drives the plug-in without the test's patches: it may unload
// the module while the workers live.
struct PlainHost {
    HostSession session;
    HostFrame frame = FilledFrame(1024, 512, 1024, YCPixel{2048, 100, -100});  // split into bands

    // Starts the engine with `threads` threads for the converters and runs
    // a frame large enough to be split.
    bool InitAndProcess(const wchar_t* threads)
    {
        SetEnvironmentVariableW(L"KELVO_THREADS", threads);
        const bool ok = StartPlugin(&session) == 1 && ProcessHostFrame(&session, frame) == 1;
        SetEnvironmentVariableW(L"KELVO_THREADS", nullptr);
        return ok;
    }
    int32_t Exit()
    {
        session.initCalled = false;
        return session.table->onExit(&session.context);
    }
};

// Workers come with onInit, as many as asked for, and leave with onExit
// together with their events; cycles leave no thread or handle behind.
// (Wine's own threads come and go beside them: the process's totals are
// compared from the second cycle on.)
TEST(PluginWorkers, StartWithTheEngineAndLeaveWithItCycleAfterCycle)
{
    PlainHost host;
    ASSERT_TRUE(OpenPluginSession(&host.session));
    const HMODULE module = host.session.module;
    ASSERT_TRUE(host.InitAndProcess(L"1"));
    EXPECT_EQ(ThreadsStartedIn(module), 0u);
    EXPECT_EQ(host.Exit(), 1);
    DWORD threadsAfterExit = 0;
    DWORD handlesAfterExit = 0;
    for (int cycle = 0; cycle < 4; ++cycle) {
        SCOPED_TRACE(testing::Message() << "cycle " << cycle);
        ASSERT_TRUE(host.InitAndProcess(L"4"));
        EXPECT_EQ(ThreadsStartedIn(module), 3u);
        EXPECT_EQ(host.Exit(), 1);
        EXPECT_EQ(ThreadsStartedIn(module), 0u);
        const DWORD threads = ThreadCountOfThisProcess();
        const DWORD handles = OpenHandleCount();
        if (cycle > 0) {
            EXPECT_EQ(threads, threadsAfterExit);
            EXPECT_EQ(handles, handlesAfterExit);
        }
        threadsAfterExit = threads;
        handlesAfterExit = handles;
    }
    std::printf("workers: %lu threads and %lu handles in the process after every onExit\n",
                threadsAfterExit, handlesAfterExit);
    CloseSession(&host.session);
}

// Calls of `what` (L"pack", L"unpack") the debugger heard of one by one,
// and of them those that went `way`.
int TracedCalls(const Texts& lines, const std::wstring& what, const std::wstring& way, int* thatWay)
{
    const std::wstring start = L"kelvo: " + what + L" call ";
    const std::wstring end = L" " + way + L"\n";
    int calls = 0;
    *thatWay = 0;
    for (const std::wstring& line : lines) {
        double ms = 0;
        if (line.compare(0, start.size(), start) == 0 &&
            std::swscanf(line.c_str() + start.size(), L"%lf ms", &ms) == 1 && ms > 0) {
            ++calls;
            *thatWay += line.size() > end.size() &&
                        line.compare(line.size() - end.size(), end.size(), end) == 0;
        }
    }
    return calls;
}

// Where the converters' calls went is there for a bug report: with
// KELVO_TRACE_CALLS=1 a debugger line per call with its time and way,
// without it none; onExit sums them up either way.
TEST(PluginWorkers, TellADebuggerWhereTheCallsWent)
{
    PlainHost host;
    ASSERT_TRUE(OpenPluginSession(&host.session));
    InstallMessageCapture(host.session.module);
    const struct {
        const wchar_t* threads;
        const wchar_t* trace;
        const wchar_t* way;
        const wchar_t* sum;
    } settings[] = {
        {L"1", L"1", L"on one thread", L"all on one thread"},
        {L"2", L"1", L"in bands", L"2 in bands on 2 threads"},
        {L"2", nullptr, L"in bands", L"2 in bands on 2 threads"},
    };
    for (const auto& setting : settings) {
        SCOPED_TRACE(testing::Message() << "KELVO_THREADS=" << setting.threads
                                        << (setting.trace != nullptr ? ", traced" : ""));
        TakeDebuggerLines();
        SetEnvironmentVariableW(L"KELVO_TRACE_CALLS", setting.trace);
        ASSERT_TRUE(host.InitAndProcess(setting.threads));
        SetEnvironmentVariableW(L"KELVO_TRACE_CALLS", nullptr);
        EXPECT_EQ(ProcessHostFrame(&host.session, host.frame), 1);
        EXPECT_EQ(host.Exit(), 1);
        const Texts lines = TakeDebuggerLines();
        const int traced = setting.trace != nullptr ? 2 : 0;
        for (const wchar_t* what : {L"pack", L"unpack"}) {
            int thatWay = 0;
            EXPECT_EQ(TracedCalls(lines, what, setting.way, &thatWay), traced) << what;
            EXPECT_EQ(thatWay, traced) << what;
        }
        ASSERT_FALSE(lines.empty());
        const std::wstring& sum = lines.back();
        EXPECT_EQ(sum.rfind(L"kelvo: pack ", 0), 0u) << sum;
        EXPECT_NE(sum.find(L"(mean of 2; "), std::wstring::npos) << sum;
        EXPECT_NE(sum.find(setting.sum), std::wstring::npos) << sum;
    }
    CloseSession(&host.session);
}

// A host that unloads the plug-in without onExit: the workers' references
// keep its code loaded, so they go on waiting instead of faulting. Loaded
// again, the module is the same one with the same engine; its onExit ends
// the workers, and the module goes with the host's last reference.
TEST(PluginWorkers, AnUnloadWithoutExitLeavesTheirCodeLoaded)
{
    PlainHost host;
    ASSERT_TRUE(OpenPluginSession(&host.session));
    ASSERT_TRUE(host.InitAndProcess(L"3"));
    const HMODULE module = host.session.module;
    FreeLibrary(module);
    Sleep(100);
    ASSERT_TRUE(StillLoaded(module));
    EXPECT_EQ(ThreadsStartedIn(module), 2u);

    host.session.module = LoadLibraryW(host.session.path.c_str());
    EXPECT_EQ(host.session.module, module);
    EXPECT_EQ(ProcessHostFrame(&host.session, host.frame), 1);
    EXPECT_EQ(host.Exit(), 1);
    EXPECT_EQ(ThreadsStartedIn(module), 0u);
    CloseSession(&host.session);
    EXPECT_FALSE(StillLoaded(module));
}
