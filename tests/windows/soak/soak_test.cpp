// Randomised soak of the shipped plug-in: the real kelvo.auf, loaded by the
// development host's session and driven through its five callbacks for many
// frames.
//
// Every step is drawn from one seeded generator: frame sizes (refused ones
// among them: a zero side, 4097, negative, a pitch below the width), pitch
// changes alone, slider and check-box changes with and without RGB sync,
// host messages 1133 and 1135 with the filter on and off, exit-and-init
// cycles (some with a failing init), and Direct3D faults on the plug-in's
// own objects: a lost device, a device waiting for a reset with failing and
// working resets, another cooperative-level error, failing creations, a
// failing texture binding, failing locks, copies and unlocks.
//
// A model of the plug-in's state (which frame re-allocates or sets the
// constants, which slider values the effect holds, the format in use, the
// size of the current allocation) predicts every callback: its result, the
// number of error boxes, the stage labels and the size line of the debug
// window. A frame that returns 1 must match the CPU reference model for the
// format in use; one that returns 0 must leave the host's buffer exactly as
// it was, except after a failed final unlock of the read-back, where the
// frame must already be corrected. Pixels past the width never change.
// Every exit is followed by a check that no Direct3D reference is left, and
// at the end the process's handle count and private memory must be back
// near their level after the first exit-and-init cycle.
//
// Options: --seed N and --frames N (or KELVO_SOAK_SEED, KELVO_SOAK_FRAMES).
// Without them: a short run with a fixed seed.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>
#include <psapi.h>

#include <d3d9.h>
#include <d3dx9.h>

#include <gtest/gtest.h>

#include "d3d_faults.h"
#include "d3d_tracking.h"
#include "engine_fixture.h"
#include "host_interface/debug_window.h"
#include "effect/correction_reference.h"
#include "core/format_kinds.h"
#include "frame_resources.h"
#include "core/correction_tracks.h"
#include "message_capture.h"
#include "plugin_host.h"
#include "pointer_patch.h"
#include "process_counts.h"
#include "core/slider_sync.h"
#include "test_pixels.h"
#include "wide_text.h"

namespace {

constexpr uint32_t defaultSeed = 20240917;
constexpr int defaultFrames = 300;

// Allowance for the process's own growth between the level after the first
// cycle and the end: Wine's heaps, the display driver and the software
// renderer keep caches whose size drifts with the frame sizes seen. A leak
// per frame or per cycle over thousands of steps exceeds these.
constexpr SIZE_T privateMemoryMargin = 16u << 20;
constexpr long handleMargin = 16;

struct Options {
    uint32_t seed = defaultSeed;
    int frames = defaultFrames;
};

Options ReadOptions()
{
    Options options;
    if (const char* seed = std::getenv("KELVO_SOAK_SEED")) {
        options.seed = static_cast<uint32_t>(std::strtoul(seed, nullptr, 10));
    }
    if (const char* frames = std::getenv("KELVO_SOAK_FRAMES")) {
        options.frames = std::atoi(frames);
    }
    for (int i = 1; i + 1 < __argc; ++i) {
        if (std::strcmp(__argv[i], "--seed") == 0) {
            options.seed = static_cast<uint32_t>(std::strtoul(__argv[++i], nullptr, 10));
        } else if (std::strcmp(__argv[i], "--frames") == 0) {
            options.frames = std::atoi(__argv[++i]);
        }
    }
    return options;
}

class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}
    int Between(int low, int high)
    {
        const uint64_t span = static_cast<uint64_t>(int64_t(high) - low + 1);
        return static_cast<int>(low + static_cast<int64_t>(engine_() % span));
    }
    // True with the given chance in percent (hundredths allowed).
    bool Chance(double percent)
    {
        return engine_() % 10000u < static_cast<uint32_t>(percent * 100);
    }

private:
    std::mt19937 engine_;
};

// ---- unlock faults --------------------------------------------------------

// A failing unlock is made to really unlock and then report the failure, as
// a driver that unlocked but complains would: a surface left locked by the
// test itself would fail every later frame for a reason of the test's own.
typedef HRESULT(WINAPI* UnlockRectFunction)(IDirect3DSurface9*);
UnlockRectFunction realUnlockRect = nullptr;
int unlockCalls = 0;
int unlockFailsAt = 0;  // 1-based call of the frame that fails; 0: none
HRESULT unlockResult = S_OK;

HRESULT WINAPI UnlockThenFail(IDirect3DSurface9* surface)
{
    HRESULT result = realUnlockRect(surface);
    ++unlockCalls;
    return unlockCalls == unlockFailsAt ? unlockResult : result;
}

// ---- the faults a frame can meet ------------------------------------------

// Where in the frame a fault strikes: during the re-allocation, the upload,
// the download before the unpack, or the final unlock of the read-back.
enum class Phase { allocation, upload, download, finalUnlock };

struct FrameFault {
    const char* name;
    FaultableMethod method;  // faultableMethodCount for the unlock faults
    int passingCalls;        // calls of the frame that still go through
    Phase phase;
};

const FrameFault frameFaults[] = {
    {"CreateOffscreenPlainSurface", deviceCreateOffscreenPlainSurface, 0, Phase::allocation},
    {"CreateVertexBuffer", deviceCreateVertexBuffer, 0, Phase::allocation},
    {"VertexBuffer::Lock", vertexBufferLock, 0, Phase::allocation},
    {"CreateTexture", deviceCreateTexture, 0, Phase::allocation},
    {"CreateRenderTarget", deviceCreateRenderTarget, 0, Phase::allocation},
    {"CreateQuery", deviceCreateQuery, 0, Phase::allocation},
    {"Effect::SetTexture", effectSetTexture, 0, Phase::allocation},
    {"Texture::GetSurfaceLevel", textureGetSurfaceLevel, 0, Phase::upload},
    {"source LockRect", surfaceLockRect, 0, Phase::upload},
    {"source UnlockRect", faultableMethodCount, 1, Phase::upload},
    {"GetRenderTargetData", deviceGetRenderTargetData, 0, Phase::download},
    {"read-back LockRect", surfaceLockRect, 1, Phase::download},
    {"read-back UnlockRect", faultableMethodCount, 2, Phase::finalUnlock},
};
constexpr int frameFaultCount = sizeof frameFaults / sizeof frameFaults[0];
constexpr int firstTransferFault = 7;

const HRESULT faultResults[] = {E_OUTOFMEMORY, D3DERR_INVALIDCALL, D3DERR_OUTOFVIDEOMEMORY,
                                D3DERR_DEVICELOST, E_FAIL};

// How the device answers TestCooperativeLevel in a frame.
enum class Level { ok, lost, notReset, otherError };

// Faults that make onInit fail, and whether the plug-in shows a box.
struct InitFault {
    const char* name;
    FaultableMethod method;
    int boxes;
};
const InitFault initFaults[] = {
    {"CreateDevice", direct3dCreateDevice, 1},
    {"GetDisplayMode", deviceGetDisplayMode, 0},
    {"CreateVertexDeclaration", deviceCreateVertexDeclaration, 1},
    {"CreateQuery", deviceCreateQuery, 1},
};

// ---- the model of the plug-in ---------------------------------------------

enum class Branch { none, alloc, param };

struct Prediction {
    int32_t result = 0;
    int boxes = 0;
    bool correctedDespiteFailure = false;  // the final unlock failed
    Branch branch = Branch::none;
    bool faultReached = false;
};

struct Model {
    bool engine = false;
    bool reallocNeeded = true;  // both flags start set when the module loads
    bool paramsChanged = true;
    int kindInUse = kindNone;
    int32_t frameWidth = -1;
    int32_t frameHeight = -1;
    bool sourceTexture = false;
    int32_t appliedTracks[trackCount] = {};  // what the effect's constants were made from
    bool available[textureFormatKindCount] = {};
};

// What one frame must come to, from what the host and the device did before
// it, the device's answer and the fault planned for it; moves the model on.
// The engine's own rules decide which sizes it takes and which kind it uses.
Prediction PredictFrame(Model& model, const int32_t tracks[trackCount], const FrameInfo& frame,
                        Level level, bool resetFails, const FrameFault* fault)
{
    Prediction p;
    if (!model.engine) {
        return p;
    }
    if (frame.width != model.frameWidth || frame.height != model.frameHeight) {
        model.reallocNeeded = true;
    }
    switch (level) {
    case Level::ok:
        break;
    case Level::lost:
    case Level::otherError:
        p.boxes = 1;
        return p;
    case Level::notReset:
        model.sourceTexture = false;  // the default-pool objects go before the reset
        if (resetFails) {
            p.boxes = 1;
            return p;
        }
        model.reallocNeeded = true;
        break;
    }
    if (model.reallocNeeded) {
        model.sourceTexture = false;
        if (!FrameShapeAccepted(frame.width, frame.height, frame.maxWidth)) {
            return p;  // refused without a message; the next frame tries again
        }
        model.frameWidth = frame.width;
        model.frameHeight = frame.height;
        const int kind = ChosenFormatKind(ClampedFormatTrack(tracks), model.available);
        model.kindInUse = kind;
        if (kind == kindNone || frame.width == 0 || frame.height == 0) {
            p.boxes = 1;  // no format, or the read-back surface cannot be made
            p.faultReached = kind != kindNone && fault != nullptr &&
                             fault->method == deviceCreateOffscreenPlainSurface;
            return p;
        }
        if (fault != nullptr && fault->phase == Phase::allocation) {
            p.faultReached = true;
            p.boxes = 1;
            return p;
        }
        model.sourceTexture = true;
        std::memcpy(model.appliedTracks, tracks, sizeof model.appliedTracks);
        model.reallocNeeded = false;
        model.paramsChanged = false;
        p.branch = Branch::alloc;
    } else if (model.paramsChanged) {
        std::memcpy(model.appliedTracks, tracks, sizeof model.appliedTracks);
        model.paramsChanged = false;
        p.branch = Branch::param;
    }
    if (!model.sourceTexture || frame.maxWidth < model.frameWidth) {
        return p;  // nothing to upload into, or a pitch that does not fit: silent
    }
    if (fault != nullptr && fault->phase != Phase::allocation) {
        p.faultReached = true;
        p.boxes = 1;
        p.correctedDespiteFailure = fault->phase == Phase::finalUnlock;
        return p;
    }
    p.result = 1;
    return p;
}

struct Usage {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
    bool countedHandles = false;  // the process counters answered 0
    bool countedPages = false;
};

// Wine may answer the process counters with zeros; then the handles are
// counted by asking after every handle value in use (OpenHandleCount), and
// the private memory is the committed private pages of the address space.
SIZE_T CommittedPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

Usage MeasureUsage()
{
    Usage usage;
    if (!GetProcessHandleCount(GetCurrentProcess(), &usage.handles) || usage.handles == 0) {
        usage.handles = OpenHandleCount();
        usage.countedHandles = true;
    }
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        usage.privateBytes = counters.PrivateUsage;
    }
    if (usage.privateBytes == 0) {
        usage.privateBytes = CommittedPrivateBytes();
        usage.countedPages = true;
    }
    return usage;
}

// ---- the soak ---------------------------------------------------------------

class Soak {
public:
    explicit Soak(const Options& options) : options_(options), random_(options.seed) {}

    void Run();
    void PrintSummary(const Usage& end) const;

private:
    // Set-up and the objects faults are armed through.
    bool Load();
    void ProbeFormats();
    void ArmFault(FaultableMethod method, int passingCalls, HRESULT result);
    void DisarmFault(FaultableMethod method);
    void StartPatches();

    // Host actions between frames.
    void HostActions(int step);
    void ChangeSliders();
    void NotifyChange();
    void Update(bool viaMessage);
    void SendReleaseMessage();
    void Cycle(bool mayFailInit);
    void Exit();
    bool Init(bool mayFail);

    // One frame, step by step.
    void DrawShape();
    Level DrawDeviceLevel(bool* resetFails);
    const FrameFault* ArmFrameFault(Level level);
    std::vector<YCPixel> DrawPixels();
    bool DisarmFrameFault(const FrameFault* fault);
    void CheckPixels(const std::vector<YCPixel>& input, const std::vector<YCPixel>& output,
                     int32_t result, const Prediction& p, const std::string& shape);
    void CheckDebugText(const Prediction& p, const std::string& shape);
    void MoveDeviceEpisodeOn(Level level, bool resetFails);
    void RunFrame();
    bool FrameMatchesReference(const std::vector<YCPixel>& input,
                               const std::vector<YCPixel>& output, int rulesIndex);
    std::string DebugText() const;

    void Failure(const std::string& what);
    void ExpectBoxes(int expected, const char* where);

    Options options_;
    Random random_;
    int step_ = -1;

    HostSession session_;
    HWND debugWindow_ = nullptr;

    IDirect3DTexture9* referenceTexture_ = nullptr;
    IDirect3DSurface9* referenceSurface_ = nullptr;
    IDirect3DVertexBuffer9* referenceVertexBuffer_ = nullptr;
    ID3DXEffect* referenceEffect_ = nullptr;
    void* faultObject_[faultableMethodCount] = {};
    bool armed_[faultableMethodCount] = {};

    Model model_;
    ReferenceRules rules_[2];
    int lastRules_ = 0;

    // The device episode in progress: frames still lost, resets still failing.
    Level level_ = Level::ok;
    int lostFramesLeft_ = 0;
    int resetFailuresLeft_ = 0;
    FaultableMethod resetFault_ = deviceReset;

    // The frame of this step.
    int32_t width_ = 8, height_ = 8, maxWidth_ = 8;
    bool refusedShape_ = false;

    // Figures.
    int framesRun_ = 0, framesCorrected_ = 0, framesFailed_ = 0, framesRefused_ = 0;
    int framesAlloc_ = 0, framesParam_ = 0, framesPlain_ = 0, framesCorrectedOnUnlock_ = 0;
    int framesBig_ = 0;
    int framesPerKind_[textureFormatKindCount] = {};
    int faultsArmed_ = 0, faultsReached_ = 0, lostFrames_ = 0, resetsFailed_ = 0, resets_ = 0;
    int otherLevelErrors_ = 0;
    int cycles_ = 0, initFailures_ = 0, updates_ = 0, messages1133_ = 0, messages1135_ = 0;
    int rgbSyncs_ = 0, sseFrames_ = 0, plainFrames_ = 0;
    int faultHits_[frameFaultCount] = {};
    int failures_ = 0;
    bool baselineTaken_ = false;
    Usage baseline_, peak_;
};

void Soak::Failure(const std::string& what)
{
    ++failures_;
    if (failures_ <= 25) {
        ADD_FAILURE() << "seed " << options_.seed << ", step " << step_ << ": " << what;
    }
}

void Soak::ExpectBoxes(int expected, const char* where)
{
    const std::vector<std::wstring> boxes = TakeErrorBoxTexts();
    TakeDebuggerLines();  // what failed is the faults' business here, not how it was logged
    if (static_cast<int>(boxes.size()) != expected) {
        std::string texts;
        for (const std::wstring& text : boxes) texts += " [" + Utf8FromWide(text.c_str()) + "]";
        Failure(std::string(where) + ": " + std::to_string(boxes.size()) +
                " error boxes, expected " + std::to_string(expected) + texts);
    }
}

bool Soak::Load()
{
    if (!OpenPluginSession(&session_)) return false;
    InstallMessageCapture(session_.module);
    TakeMessages();

    // The test's own objects of every class a fault is armed on, made before
    // any slot is redirected.
    IDirect3DDevice9* device = ReferenceDevice();
    if (device == nullptr) return false;
    if (FAILED(device->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A16B16G16R16,
                                     D3DPOOL_DEFAULT, &referenceTexture_, nullptr)) ||
        FAILED(referenceTexture_->GetSurfaceLevel(0, &referenceSurface_)) ||
        FAILED(device->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                          &referenceVertexBuffer_, nullptr)) ||
        FAILED(D3DXCreateEffectFromResourceW(device, session_.module, MAKEINTRESOURCEW(104),
                                             nullptr, nullptr, 0, nullptr, &referenceEffect_,
                                             nullptr))) {
        ADD_FAILURE() << "the objects to arm faults through could not be made";
        return false;
    }
    for (int m = 0; m < faultableMethodCount; ++m) faultObject_[m] = device;
    faultObject_[direct3dGetDeviceCaps] = ReferenceDirect3D();
    faultObject_[direct3dCheckDeviceFormat] = ReferenceDirect3D();
    faultObject_[direct3dCreateDevice] = ReferenceDirect3D();
    faultObject_[vertexBufferLock] = referenceVertexBuffer_;
    faultObject_[vertexBufferUnlock] = referenceVertexBuffer_;
    for (FaultableMethod m : {effectSetTexture, effectSetVector, effectSetValue, effectOnLostDevice,
                              effectOnResetDevice}) {
        faultObject_[m] = referenceEffect_;
    }
    faultObject_[textureGetSurfaceLevel] = referenceTexture_;
    faultObject_[surfaceLockRect] = referenceSurface_;
    faultObject_[surfaceUnlockRect] = referenceSurface_;
    return true;
}

// Which formats the card takes as render targets, asked the way the engine asks.
void Soak::ProbeFormats()
{
    const D3DFORMAT formats[textureFormatKindCount] = {D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F,
                                                       D3DFMT_A16B16G16R16, D3DFMT_Q16W16V16U16,
                                                       D3DFMT_A2B10G10R10};
    D3DDISPLAYMODE mode = {};
    ReferenceDevice()->GetDisplayMode(0, &mode);
    for (int k = 0; k < textureFormatKindCount; ++k) {
        model_.available[k] = SUCCEEDED(ReferenceDirect3D()->CheckDeviceFormat(
            D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format, D3DUSAGE_RENDERTARGET,
            D3DRTYPE_TEXTURE, formats[k]));
    }
}

void Soak::ArmFault(FaultableMethod method, int passingCalls, HRESULT result)
{
    FailMethodAfter(faultObject_[method], method, passingCalls, result);
    armed_[method] = true;
}

// Disarmed: the override stays and lets every call through.
void Soak::DisarmFault(FaultableMethod method)
{
    if (armed_[method]) {
        FailMethodAfter(faultObject_[method], method, INT_MAX, S_OK);
        armed_[method] = false;
    }
}

// Tracking of the plug-in's Direct3D objects and the unlock hook, anew after
// every restore of the patched pointers.
void Soak::StartPatches()
{
    StartDirect3DTracking(session_.module);
    realUnlockRect = reinterpret_cast<UnlockRectFunction>(ReplaceMethod(
        referenceSurface_, surfaceUnlockRect, reinterpret_cast<void*>(&UnlockThenFail)));
    unlockFailsAt = 0;
    for (bool& armed : armed_) armed = false;
}

bool Soak::Init(bool mayFail)
{
    const InitFault* fault = nullptr;
    if (mayFail && random_.Chance(35)) {
        fault = &initFaults[random_.Between(0, 3)];
        ArmFault(fault->method, 0, faultResults[random_.Between(0, 4)]);
        ++faultsArmed_;
    }
    const int32_t result = StartPlugin(&session_);
    if (fault != nullptr) DisarmFault(fault->method);
    const int32_t expected = fault != nullptr ? 0 : 1;
    if (result != expected) {
        Failure(std::string("onInit returned ") + std::to_string(result) +
                (fault != nullptr ? std::string(" with ") + fault->name + " failing" : ""));
    }
    ExpectBoxes(fault != nullptr ? fault->boxes : 0, "onInit");
    if (fault != nullptr) {
        ++initFailures_;
        ++faultsReached_;
    }
    model_.engine = result == 1;
    model_.kindInUse = kindNone;
    model_.frameWidth = model_.frameHeight = -1;
    model_.sourceTexture = false;
    debugWindow_ = session_.debugWindow;
    if ((debugWindow_ != nullptr) != (result == 1)) {
        Failure("debug window after onInit " + std::to_string(result) + ": " +
                (debugWindow_ != nullptr ? "present" : "missing"));
    }
    return result == 1;
}

void Soak::Exit()
{
    HWND window = debugWindow_;
    session_.initCalled = false;
    if (session_.table->onExit(&session_.context) != 1) Failure("onExit did not return 1");
    if (window != nullptr && IsWindow(window)) Failure("onExit left the debug window");
    debugWindow_ = nullptr;
    model_.engine = false;
    ExpectBoxes(0, "onExit");
    const ULONG deviceLeft = ReleaseTrackedDevice();
    const ULONG direct3dLeft = ReleaseTrackedDirect3D();
    if (deviceLeft != 0 || direct3dLeft != 0) {
        Failure("after onExit the plug-in still held " + std::to_string(deviceLeft) +
                " device and " + std::to_string(direct3dLeft) + " Direct3D references");
    }
    RestorePatchedPointers();
    level_ = Level::ok;  // a new device comes with the next init
}

void Soak::Cycle(bool mayFailInit)
{
    ++cycles_;
    Exit();
    StartPatches();
    Init(mayFailInit);
}

void Soak::Update(bool viaMessage)
{
    int32_t* tracks = session_.trackValues.data();
    int32_t expected[trackCount];
    std::copy_n(tracks, trackCount, expected);
    const bool syncs = session_.checkValues[0] != 0 &&
                       SyncRgbTracks(correctionTracks, trackCount, expected);
    const int refreshBefore = session_.refreshCalls;
    const int isActiveBefore = session_.isActiveCalls;
    bool runs = true;
    if (viaMessage) {
        ++messages1135_;
        if (SendHostMessage(&session_, messageSettingsChanged, 0, 0) != 0) {
            Failure("message 1135 did not return 0");
        }
        if (session_.isActiveCalls != isActiveBefore + 1) {
            Failure("message 1135 did not ask isActive once");
        }
        runs = !session_.active;
    } else {
        ++updates_;
        if (NotifyUpdate(&session_) != 1) Failure("onUpdate did not return 1");
    }
    const bool synced = runs && syncs;
    if (!runs) {
        std::copy_n(tracks, trackCount, expected);
    } else {
        model_.paramsChanged = true;
        if (model_.engine && model_.kindInUse != ClampedFormatTrack(tracks)) {
            model_.reallocNeeded = true;
        }
    }
    if (!std::equal(expected, expected + trackCount, tracks)) {
        Failure("RGB sync left the tracks other than expected");
        std::copy_n(expected, trackCount, tracks);
    }
    if (session_.refreshCalls - refreshBefore != (synced ? 1 : 0)) {
        Failure("refreshWindow called " + std::to_string(session_.refreshCalls - refreshBefore) +
                " times, expected " + std::to_string(synced ? 1 : 0));
    }
    rgbSyncs_ += synced;
    ExpectBoxes(0, viaMessage ? "message 1135" : "onUpdate");
}

void Soak::SendReleaseMessage()
{
    ++messages1133_;
    const int isActiveBefore = session_.isActiveCalls;
    if (SendHostMessage(&session_, messageReleaseResources, 0, 0) != 0) {
        Failure("message 1133 did not return 0");
    }
    const int asked = session_.isActiveCalls - isActiveBefore;
    if (asked != (model_.engine ? 1 : 0)) {
        Failure("message 1133 asked isActive " + std::to_string(asked) + " times");
    }
    if (model_.engine && !session_.active) {
        model_.reallocNeeded = true;
        model_.sourceTexture = false;
    }
    ExpectBoxes(0, "message 1133");
}

// Mostly the Format track's own range, sometimes what a broken host sends.
int32_t DrawFormatTrack(Random& random)
{
    return random.Chance(70) ? random.Between(kindF32, formatTrackMaximum)
                             : random.Between(-4, formatTrackMaximum + 5);
}

void Soak::ChangeSliders()
{
    int32_t* tracks = session_.trackValues.data();
    const int count = random_.Between(1, 4);
    for (int i = 0; i < count; ++i) {
        const int index = random_.Between(0, trackCount - 1);
        if (index == trackFormat) {
            tracks[trackFormat] = DrawFormatTrack(random_);
        } else if (index >= TrackIndex("R(offs)") && random_.Chance(40)) {
            // Make two of a group equal, so every sync rule comes up: the
            // tracks of one group are 3 apart (R, G, B).
            const int group = (index - TrackIndex("R(offs)")) % 3;
            const int other = TrackIndex("R(offs)") + group + 3 * random_.Between(0, 2);
            tracks[index] = tracks[other];
        } else {
            tracks[index] = random_.Chance(50)
                                ? random_.Between(-48, 48)
                                : random_.Between(colourTrackMinimum, colourTrackMaximum);
        }
    }
    if (random_.Chance(50)) {
        tracks[trackFormat] = DrawFormatTrack(random_);
    }
    if (random_.Chance(20)) session_.checkValues[0] = session_.checkValues[0] != 0 ? 0 : 1;
}

// A host normally reports a change through onUpdate; message 1135 does it
// while the filter is off (and nothing while it is on), and sometimes the
// change is not reported at all before the next frame.
void Soak::NotifyChange()
{
    const int how = random_.Between(0, 99);
    if (how < 65) {
        Update(false);
    } else if (how < 90) {
        Update(true);
    }
}

void Soak::HostActions(int step)
{
    // A host tries again soon after a failed init.
    if (random_.Chance(model_.engine ? 0.5 : 10) || (!baselineTaken_ && step == 25)) {
        Cycle(baselineTaken_);
        if (!baselineTaken_) {
            // The level to come back to: after the first full cycle, engine up.
            baseline_ = peak_ = MeasureUsage();
            baselineTaken_ = true;
        }
    }
    if (random_.Chance(3)) session_.active = !session_.active;
    if (random_.Chance(10)) {
        ChangeSliders();
        NotifyChange();
    }
    if (random_.Chance(3)) SendReleaseMessage();
    if (random_.Chance(1)) {
        // Any other message: nothing happens.
        const int isActiveBefore = session_.isActiveCalls;
        SendHostMessage(&session_, WM_USER + 110, 0, 0);
        if (session_.isActiveCalls != isActiveBefore) Failure("another message asked isActive");
        ExpectBoxes(0, "other message");
    }
}

void Soak::DrawShape()
{
    refusedShape_ = false;
    // Besides chance, a fixed rota: a refused size every 37 frames and a
    // big one every 97, so that a short run meets every kind of both.
    const int forcedRefusal = step_ % 37 == 17 ? (step_ / 37) % 6 : -1;
    const int forcedBig = step_ % 97 == 50 ? (step_ / 97) % 3 : -1;
    if (forcedRefusal < 0 && forcedBig < 0 && random_.Chance(85)) {
        // The same size again; sometimes only the pitch changes.
        if (random_.Chance(10)) maxWidth_ = width_ + random_.Between(0, 12);
        if (width_ > 0 && height_ > 0 && FrameShapeAccepted(width_, height_, maxWidth_)) {
            return;
        }
    }
    int kind = random_.Between(0, 999);
    if (forcedRefusal >= 0) kind = 0;
    if (forcedBig >= 0) kind = 40 + 5 * forcedBig;
    if (kind < 40) {
        refusedShape_ = true;
        switch (forcedRefusal >= 0 ? forcedRefusal : random_.Between(0, 5)) {
        case 0:
            width_ = 0;
            height_ = random_.Between(1, 8);
            maxWidth_ = 4;
            break;
        case 1:
            width_ = random_.Between(1, 8);
            height_ = 0;
            maxWidth_ = width_;
            break;
        case 2:
            width_ = maxFrameSide + 1;
            height_ = 1;
            maxWidth_ = maxFrameSide + 1;
            break;
        case 3:
            width_ = 1;
            height_ = maxFrameSide + 1;
            maxWidth_ = 1;
            break;
        case 4:
            width_ = -random_.Between(1, 5);
            height_ = random_.Between(-3, 4);
            maxWidth_ = 8;
            break;
        default:
            width_ = random_.Between(2, 40);
            height_ = random_.Between(1, 16);
            maxWidth_ = random_.Chance(20) ? -1 : width_ - random_.Between(1, width_ - 1);
            break;
        }
    } else if (kind < 45) {
        ++framesBig_;  // large enough for the converters' bands
        width_ = 1024;
        height_ = 512;
        maxWidth_ = 1024 + random_.Between(0, 1) * 64;
    } else if (kind < 48) {
        ++framesBig_;
        width_ = maxFrameSide;
        height_ = 1;
        maxWidth_ = maxFrameSide;
    } else if (kind < 50) {
        ++framesBig_;
        width_ = 1;
        height_ = random_.Between(1000, maxFrameSide);
        maxWidth_ = random_.Between(1, 3);
    } else {
        width_ = random_.Between(1, 64);
        height_ = random_.Between(1, 48);
        maxWidth_ = width_ + (random_.Chance(30) ? random_.Between(1, 16) : 0);
    }
}

bool Soak::FrameMatchesReference(const std::vector<YCPixel>& input,
                                 const std::vector<YCPixel>& output, int rulesIndex)
{
    const uint16_t word = X87ControlWord();
    SetX87ControlWord(0x037F);
    const int outside = PixelsOutsideModel(input.data(), output.data(), width_, height_, maxWidth_,
                                           ComputeCorrectionConstants(model_.appliedTracks),
                                           static_cast<TextureFormatKind>(model_.kindInUse),
                                           {rules_[rulesIndex]}, 0);
    SetX87ControlWord(word);
    return outside == 0;
}

std::string Soak::DebugText() const
{
    std::string text;
    if (!ReadDebugText(&session_, &text)) return "<no window>";
    return text;
}

// The device's answer this frame: an episode of lost frames and failing
// resets now and then, or another cooperative-level error; armed on the
// device's methods.
Level Soak::DrawDeviceLevel(bool* resetFails)
{
    if (model_.engine && level_ == Level::ok && random_.Chance(1.5)) {
        lostFramesLeft_ = random_.Between(0, 2);
        resetFailuresLeft_ = random_.Between(0, 2);
        level_ = lostFramesLeft_ > 0 ? Level::lost : Level::notReset;
        resetFault_ = random_.Chance(70) ? deviceReset : effectOnResetDevice;
    }
    Level level = level_;
    if (level == Level::ok && model_.engine && random_.Chance(0.3)) level = Level::otherError;
    *resetFails = false;
    if (level == Level::ok) {
        DisarmFault(deviceTestCooperativeLevel);
        return level;
    }
    ArmFault(deviceTestCooperativeLevel, 0,
             level == Level::lost       ? D3DERR_DEVICELOST
             : level == Level::notReset ? D3DERR_DEVICENOTRESET
                                        : D3DERR_DRIVERINTERNALERROR);
    if (level == Level::notReset) {
        *resetFails = resetFailuresLeft_ > 0;
        if (*resetFails) {
            ArmFault(resetFault_, 0,
                     resetFault_ == deviceReset ? D3DERR_DEVICELOST : E_OUTOFMEMORY);
        } else {
            DisarmFault(deviceReset);
            DisarmFault(effectOnResetDevice);
        }
    }
    return level;
}

// A fault for the frame's own steps, or null.
const FrameFault* Soak::ArmFrameFault(Level level)
{
    // Allocation faults only matter on a frame that re-allocates; aim them there.
    const bool realloc = model_.reallocNeeded || width_ != model_.frameWidth ||
                         height_ != model_.frameHeight;
    if (level != Level::ok || !model_.engine || !random_.Chance(realloc ? 25 : 6)) {
        return nullptr;
    }
    const int index = realloc && random_.Chance(70) ? random_.Between(0, firstTransferFault - 1)
                                                    : random_.Between(0, frameFaultCount - 1);
    const FrameFault* fault = &frameFaults[index];
    const HRESULT result = faultResults[random_.Between(0, 4)];
    if (fault->method == faultableMethodCount) {
        unlockCalls = 0;
        unlockFailsAt = fault->passingCalls;
        unlockResult = result;
    } else {
        ArmFault(fault->method, fault->passingCalls, result);
    }
    ++faultsArmed_;
    return fault;
}

// The host's frame: content, and other values past the width.
std::vector<YCPixel> Soak::DrawPixels()
{
    const size_t pixelCount =
        width_ > 0 && height_ > 0 && maxWidth_ > 0 ? size_t(maxWidth_) * height_ + width_ : 64;
    std::vector<YCPixel> pixels(pixelCount);
    for (YCPixel& pixel : pixels) {
        if (random_.Chance(75)) {
            pixel = {static_cast<int16_t>(random_.Between(-512, 4608)),
                     static_cast<int16_t>(random_.Between(-2304, 2304)),
                     static_cast<int16_t>(random_.Between(-2304, 2304))};
        } else {
            pixel = {static_cast<int16_t>(random_.Between(-32768, 32767)),
                     static_cast<int16_t>(random_.Between(-32768, 32767)),
                     static_cast<int16_t>(random_.Between(-32768, 32767))};
        }
    }
    return pixels;
}

// Faults are single shots: disarms what this frame armed. Whether the
// frame's fault was reached.
bool Soak::DisarmFrameFault(const FrameFault* fault)
{
    unlockFailsAt = 0;
    bool reached = false;
    if (fault != nullptr) {
        if (fault->method == faultableMethodCount) {
            reached = unlockCalls >= fault->passingCalls;
        } else {
            reached = FaultedCalls(fault->method) > fault->passingCalls;
            DisarmFault(fault->method);
        }
        if (reached) {
            ++faultsReached_;
            ++faultHits_[fault - frameFaults];
        }
    }
    DisarmFault(deviceReset);
    DisarmFault(effectOnResetDevice);
    return reached;
}

// Pixels past the width, and everything of a frame that failed before its
// pixels came back, stay as they were; the corrected ones are the model's.
void Soak::CheckPixels(const std::vector<YCPixel>& input, const std::vector<YCPixel>& output,
                       int32_t result, const Prediction& p, const std::string& shape)
{
    const bool hasRows = width_ > 0 && height_ > 0 && maxWidth_ >= width_;
    for (size_t i = 0; i < output.size(); ++i) {
        const bool inside = hasRows && i < size_t(maxWidth_) * height_ &&
                            static_cast<int32_t>(i % maxWidth_) < width_;
        if ((!inside || (result == 0 && !p.correctedDespiteFailure)) &&
            std::memcmp(&output[i], &input[i], sizeof(YCPixel)) != 0) {
            Failure("frame " + shape + ": returned " + std::to_string(result) +
                    " and changed pixels it must not touch");
            break;
        }
    }
    if (result != 1 && !p.correctedDespiteFailure) return;
    if (!FrameMatchesReference(input, output, lastRules_)) {
        if (FrameMatchesReference(input, output, 1 - lastRules_)) {
            lastRules_ = 1 - lastRules_;
        } else {
            Failure("frame " + shape + ": the output is not the reference model's");
        }
    }
    (lastRules_ == 0 ? plainFrames_ : sseFrames_)++;
}

// A corrected frame's text: its size line, then the label of its branch.
void Soak::CheckDebugText(const Prediction& p, const std::string& shape)
{
    const std::string text = DebugText();
    const std::string sizeLine = KELVO_DEBUG_SIZE_LINE_START + std::to_string(width_) + "x" +
                                 std::to_string(height_) + "(" +
                                 formatKinds[model_.kindInUse].name + ")" KELVO_DEBUG_LINE_END;
    const wchar_t* stage = p.branch == Branch::alloc   ? stageAlloc
                           : p.branch == Branch::param ? stageParam
                                                       : stagePut;
    const std::string label = std::string(stage, stage + std::wcslen(stage)) + ":";
    if (text.compare(0, sizeLine.size(), sizeLine) != 0 ||
        text.compare(sizeLine.size(), label.size(), label) != 0) {
        Failure("frame " + shape + ": debug text \"" + text + "\", expected the branch " +
                std::to_string(int(p.branch)));
    }
}

// The device episode moves on.
void Soak::MoveDeviceEpisodeOn(Level level, bool resetFails)
{
    if (level_ == Level::lost) {
        ++lostFrames_;
        if (--lostFramesLeft_ <= 0) level_ = Level::notReset;
    } else if (level_ == Level::notReset) {
        if (resetFails) {
            ++resetsFailed_;
            --resetFailuresLeft_;
        } else {
            ++resets_;
            level_ = Level::ok;
        }
    } else if (level == Level::otherError) {
        ++otherLevelErrors_;
    }
}

void Soak::RunFrame()
{
    DrawShape();
    bool resetFails = false;
    const Level level = DrawDeviceLevel(&resetFails);
    const FrameFault* fault = ArmFrameFault(level);
    std::vector<YCPixel> pixels = DrawPixels();
    const std::vector<YCPixel> input = pixels;
    FrameInfo frame = {};
    frame.pixels = pixels.data();
    frame.width = width_;
    frame.height = height_;
    frame.maxWidth = maxWidth_;

    const std::string textBefore = DebugText();
    const Prediction p = PredictFrame(model_, session_.trackValues.data(), frame, level, resetFails,
                                      fault);
    const int32_t result = session_.table->onProcess(&session_.context, &frame);
    ++framesRun_;
    const bool reached = DisarmFrameFault(fault);

    const std::string shape = std::to_string(width_) + "x" + std::to_string(height_) + " pitch " +
                              std::to_string(maxWidth_) + " kind " +
                              std::to_string(model_.kindInUse) +
                              (fault != nullptr ? std::string(", fault ") + fault->name : "") +
                              (level != Level::ok ? ", level " + std::to_string(int(level)) : "");
    if (fault != nullptr && reached != p.faultReached) {
        Failure("frame " + shape + ": the fault was " + (reached ? "" : "not ") +
                "reached, the model says otherwise");
    }
    ExpectBoxes(p.boxes, ("frame " + shape).c_str());
    if (result != p.result) {
        Failure("frame " + shape + ": returned " + std::to_string(result) + ", expected " +
                std::to_string(p.result));
    }
    CheckPixels(input, pixels, result, p, shape);
    if (result == 1) {
        ++framesCorrected_;
        ++framesPerKind_[model_.kindInUse];
        CheckDebugText(p, shape);
        p.branch == Branch::alloc   ? ++framesAlloc_
        : p.branch == Branch::param ? ++framesParam_
                                    : ++framesPlain_;
    } else {
        ++framesFailed_;
        if (refusedShape_) ++framesRefused_;
        if (p.correctedDespiteFailure) ++framesCorrectedOnUnlock_;
        if (DebugText() != textBefore) {
            Failure("frame " + shape + ": a failed frame changed the text");
        }
    }
    MoveDeviceEpisodeOn(level, resetFails);
}

// What the run met and what it used, for whoever reads the log.
void Soak::PrintSummary(const Usage& end) const
{
    std::printf("soak: seed %u: %d frames: %d corrected (%d alloc, %d param, %d plain;",
                options_.seed, framesRun_, framesCorrected_, framesAlloc_, framesParam_,
                framesPlain_);
    for (int k = 0; k < textureFormatKindCount; ++k) {
        std::printf("%s %s %d", k == 0 ? "" : ",", formatKinds[k].name, framesPerKind_[k]);
    }
    std::printf("), %d failed (%d refused sizes, %d corrected before a failed final unlock), "
                "%d big\n",
                framesFailed_, framesRefused_, framesCorrectedOnUnlock_, framesBig_);
    std::printf("soak: formats available:");
    for (int k = 0; k < textureFormatKindCount; ++k) {
        if (model_.available[k]) std::printf(" %s", formatKinds[k].name);
    }
    std::printf(
        "\nsoak: float downloads matched the %s converters last (%d plain, %d SSE frames)\n",
        lastRules_ == 0 ? "plain" : "SSE", plainFrames_, sseFrames_);
    std::printf("soak: faults armed %d, reached %d; lost frames %d, resets %d ok / %d failed, "
                "other cooperative-level errors %d; cycles %d (%d failed inits)\n",
                faultsArmed_, faultsReached_, lostFrames_, resets_, resetsFailed_,
                otherLevelErrors_, cycles_, initFailures_);
    std::printf("soak: reached per fault:");
    for (int i = 0; i < frameFaultCount; ++i)
        std::printf(" %s %d;", frameFaults[i].name, faultHits_[i]);
    std::printf("\nsoak: host: %d onUpdate, %d msg 1135, %d msg 1133, %d RGB syncs\n", updates_,
                messages1135_, messages1133_, rgbSyncs_);
    std::printf("soak: handles%s %lu after the first cycle, %lu at the end (peak %lu); private "
                "memory%s %.1f MB, %.1f MB (peak %.1f MB)\n",
                end.countedHandles ? " (counted)" : "", baseline_.handles, end.handles,
                peak_.handles, end.countedPages ? " (committed private pages)" : "",
                baseline_.privateBytes / 1048576.0, end.privateBytes / 1048576.0,
                peak_.privateBytes / 1048576.0);
    std::printf("soak: %d failures\n", failures_);
    std::fflush(stdout);
}

void Soak::Run()
{
    std::printf("soak: seed %u, %d frames\n", options_.seed, options_.frames);
    std::fflush(stdout);
    ASSERT_TRUE(Load());
    StartPatches();
    ProbeFormats();
    rules_[1] = rules_[0];
    rules_[1].floatUnpack = FloatUnpack::sse;
    ASSERT_TRUE(Init(false));

    for (int step = 0; step < options_.frames; ++step) {
        step_ = step;
        HostActions(step);
        RunFrame();
        if (baselineTaken_ && step % 64 == 0) {
            const Usage now = MeasureUsage();
            if (now.privateBytes > peak_.privateBytes) peak_.privateBytes = now.privateBytes;
            if (now.handles > peak_.handles) peak_.handles = now.handles;
        }
        if ((step + 1) % 1000 == 0) {
            std::printf("soak: %d frames, %d failures\n", step + 1, failures_);
            std::fflush(stdout);
        }
        if (failures_ > 200) {
            Failure("too many failures; stopping");
            break;
        }
    }

    // Back to the state of the baseline: one more full cycle, engine up.
    step_ = options_.frames;
    if (!baselineTaken_) {
        Cycle(false);
        baseline_ = peak_ = MeasureUsage();
        baselineTaken_ = true;
    }
    Cycle(false);
    const Usage end = MeasureUsage();
    Exit();
    if (referenceEffect_ != nullptr) referenceEffect_->Release();
    if (referenceVertexBuffer_ != nullptr) referenceVertexBuffer_->Release();
    if (referenceSurface_ != nullptr) referenceSurface_->Release();
    if (referenceTexture_ != nullptr) referenceTexture_->Release();
    CloseSession(&session_);

    PrintSummary(end);

    EXPECT_LE(static_cast<long>(end.handles), static_cast<long>(baseline_.handles) + handleMargin)
        << "handles grew";
    EXPECT_LE(end.privateBytes, baseline_.privateBytes + privateMemoryMargin)
        << "private memory grew";
    EXPECT_EQ(failures_, 0) << "seed " << options_.seed;
    // What no other test covers must come up in every run, the short one too.
    const std::pair<int, const char*> covered[] = {
        {framesRefused_, "refused sizes"},  {framesBig_, "frames split into bands"},
        {framesAlloc_, "re-allocations"},   {framesParam_, "constants set alone"},
        {messages1133_, "messages 1133"},   {messages1135_, "messages 1135"},
        {faultsReached_, "faults reached"}, {cycles_, "exit-and-init cycles"}};
    for (const auto& count : covered) EXPECT_GT(count.first, 0) << count.second;
}

TEST(PluginSoak, RandomisedFramesFaultsAndCyclesMatchTheModel)
{
    Soak soak(ReadOptions());
    soak.Run();
}

}  // namespace
