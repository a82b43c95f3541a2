// The draw of one frame through the effect, and the wait for the GPU.
#pragma once

// Draws the full-frame quad through the technique of the format kind in use,
// from the source texture into the render target. False when there is
// nothing to draw into or the scene cannot be begun: the render target then
// still holds an older frame, which must not reach the host.
bool RenderFrame();

// Returns when the GPU has finished everything issued so far, or at once
// when there is no event query. A busy wait on the calling thread.
void WaitForGpu();
