// The draw of one frame through the effect, and the wait for the GPU.
#pragma once

#include "correction_engine.h"

// Draws the full-frame quad through the technique of the format kind in use,
// from the source texture into the render target. False when there is
// nothing to draw into or any step of the draw fails (the scene, the
// technique, the declaration, the render target, the effect's begin or
// pass, the quad, the draw, the pass's, effect's or scene's end): the
// render target then holds an older frame, or part of one, which must not
// reach the host. Failures show no message; each writes its debugger line.
bool RenderFrame(CorrectionEngine* engine);

// Polls that WaitForGpu spins before it starts to yield between polls.
constexpr int gpuWaitSpinPolls = 16;

// Returns when the GPU has finished everything issued so far, or at once
// when there is no event query. A wait on the calling thread that polls
// the query: spinning for the first polls, then yielding the processor
// between polls. Any answer but "not yet" ends it; a failure to issue the
// query or a failed poll costs only the precision of the stage times and
// writes its debugger line.
void WaitForGpu(CorrectionEngine* engine);
