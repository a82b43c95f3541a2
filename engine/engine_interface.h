// What the plug-in sees of the engine: start and end, a settings change,
// one frame, and giving the frame's memory back. The record stays the
// engine's own (correction_engine.h); the plug-in holds the one
// process-wide record, since its callbacks have no place of their own.
//
// How the engine answers a failure:
// - A failure that leaves the engine unable to work shows its message box
//   (show_error.h; a missing format kind shows the kind's own text from
//   format_kinds.cpp) and the start, or the frame, is refused: the device,
//   its formats (every format the card lacks is named, then no format at all
//   if none), the effect (the compiler's text first when it has one), the
//   declaration and the query at the start; D3DX missing; a lost device,
//   every refused frame again; a failed reset; any other answer of the
//   device check; each object of a frame's allocation and the effect's
//   texture binding; each step of putting the frame up and getting it back,
//   including a source or read-back surface found missing then, and a lock
//   that answers success without memory (Wine's, once the process has no
//   address space left: 3840x2160 float frames of several devices); a failed
//   effect parameter, after which the frame still goes through.
// - A frame the engine cannot take refuses it silently: no engine, device,
//   effect or frame objects yet, a frame shape out of bounds (no side above
//   4096, a row pitch below the width), no host pixels; and any failed step
//   of the draw, which writes its debugger line only.
// - What only costs speed or timing is silent but for its debugger line:
//   the GPU wait's event (the stage times then include less), the
//   converters' workers (fewer, or none), and the effect's own reset and
//   release steps around a device reset (Reset itself then reports).
// Every failed call writes "kelvo: <call>: HRESULT 0x........" to the
// debugger output (CHECK_CALL in show_error.h).
#pragma once

#include <cstdint>

#include "filter_description.h"
#include "host_interface/host_records.h"

struct CorrectionEngine;

// A new engine for the filter on the host's window with its device, effect
// and workers; null when any of it fails, after that failure's message. The
// description must outlive the engine.
CorrectionEngine* StartEngine(const FilterDescription* filter, const FilterContext* context);

// Ends what StartEngine made; nothing for null.
void EndEngine(CorrectionEngine* engine);

// The tracks (one per row of the filter) changed: the next frame sends them
// to the effect, and rebuilds its objects when the filter's Format track asks
// for another kind than the one in use.
void ChangeSettings(CorrectionEngine* engine, const int32_t* tracks);

// Gives the frame's GPU memory back; the next frame rebuilds it.
void ReleaseFrameMemory(CorrectionEngine* engine);

// Called as each stage of a frame ends, its work on the GPU included: the
// checkpoint's index (0..5) and the stage's label (host_interface/
// debug_window.h).
using StageMark = void (*)(int index, const wchar_t* label);

// Runs the frame in place through the filter's effect with the tracks:
// checks the device, rebuilds the frame's objects and sends the tracks when
// needed, puts the frame up, draws it and gets it back. Returns the number of
// checkpoints marked, or 0 when the frame was refused (the host's pixels then
// hold the input, unless only the final unlock failed).
int RunFrameThroughEffect(CorrectionEngine* engine, const int32_t* tracks, FrameInfo* frame,
                          StageMark mark);

// What the debug window shows of the last frame: its size and the tag of its
// format kind ("F32" ... "U10", or "Unknown").
struct FrameTag {
    int32_t width;
    int32_t height;
    const wchar_t* kindName;
};
FrameTag TagOfFrame(const CorrectionEngine* engine);
