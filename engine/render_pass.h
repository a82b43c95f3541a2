// The draw of one frame through the effect, and the wait for the GPU.
#pragma once

// Draws the full-frame quad through the technique of the format kind in use,
// from the source texture into the render target. False when there is
// nothing to draw into or the scene cannot be begun: the render target then
// still holds an older frame, which must not reach the host.
bool RenderFrame();

// Polls that WaitForGpu spins before it starts to yield between polls.
constexpr int gpuWaitSpinPolls = 16;

// Returns when the GPU has finished everything issued so far, or at once
// when there is no event query. A wait on the calling thread that polls
// the query: spinning for the first polls, then yielding the processor
// between polls.
void WaitForGpu();
