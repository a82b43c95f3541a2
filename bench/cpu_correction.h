// The correction done on the CPU the plain way, as a yardstick for the
// plug-in's GPU path: per pixel the effect's steps (YC gain and offset, to
// BGR, gamma inside [0, 1], BGR gain and offset, back to YC) in double
// precision with the effect's own constants, rounded to the nearest host
// unit and saturated. No tables, no vector code, one thread.
#pragma once

#include "core/correction_constants.h"
#include "host_interface/yc_pixel.h"

// `height` rows of `width` pixels, rows `pitch` pixels apart in both frames.
void CorrectFrameOnCpu(const CorrectionConstants& constants, const YCPixel* input, YCPixel* output,
                       int width, int height, int pitch);
