// Host pixels for GPU tests: the whole signed 16-bit range of Y, Cb and Cr,
// and the one check of corrected pixels against the CPU reference model.
#pragma once

#include <initializer_list>
#include <vector>

#include "effect/correction_reference.h"
#include "host_interface/yc_pixel.h"

// `count` pixels: the extremes, the nominal limits and their neighbours and
// the integer encodings' edge values first, then a fixed pseudo-random mix of
// nominal and arbitrary values.
std::vector<YCTriple> RangeCoveringPixels(int count);

// The pixels of a frame (`width` x `height`, rows `pitch` pixels apart) that
// no one of `rules` accepts as the model's correction of the input's pixel
// under `constants` for `kind`. The first `report` of them fail the calling
// test with their values.
int PixelsOutsideModel(const YCPixel* input, const YCPixel* output, int32_t width, int32_t height,
                       int32_t pitch, const CorrectionConstants& constants, TextureFormatKind kind,
                       std::initializer_list<ReferenceRules> rules, int report);
