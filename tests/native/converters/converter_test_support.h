// Exact-size buffers with marker-filled margins, the converters as uniform
// table entries, and the check of a converted frame against the texel rule
// of its kind (core/texel_rules.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/format_kinds.h"

// ---- Memory.

struct AlignedDelete {
    void operator()(unsigned char* p) const { ::operator delete (p, std::align_val_t{16}); }
};
using AlignedBytes = std::unique_ptr<unsigned char[], AlignedDelete>;

// Exactly size bytes at a 16-byte aligned address, so that an access past
// the end leaves the allocation; filled with fill.
AlignedBytes AllocateExact(size_t size, unsigned char fill);

// Frame geometry of one test case.
struct Geometry {
    int32_t width;
    int32_t height;
    int32_t hostPitch;   // pixels
    int32_t texelPitch;  // bytes
};

// Host rows: pitch * height pixels, exact; texel rows: texelPitch * height
// bytes, exact, aligned.
struct Frame {
    Geometry g;
    int32_t texelBytes;
    std::vector<YCPixel> host;
    AlignedBytes texels;
};

Frame MakeFrame(const Geometry& g, int32_t texelBytes, unsigned char hostFill,
                unsigned char texelFill);
// Bytes of the frame's texel allocation.
size_t TexelBufferBytes(const Frame& f);
unsigned char* TexelAt(Frame& f, int32_t row, int32_t column);
YCPixel& HostAt(Frame& f, int32_t row, int32_t column);

// Makes the bytes outside the frame (past the width in every row) of the
// source side inaccessible when built with AddressSanitizer, so that a read
// there fails the test; no effect otherwise.
void PoisonHostMargins(Frame& f);
void PoisonTexelMargins(Frame& f);
void UnpoisonMargins(Frame& f);

// True when every byte past the width of every row still holds fill.
bool HostMarginsHold(const Frame& f, unsigned char fill);
bool TexelMarginsHold(const Frame& f, unsigned char fill);

// ---- The converters of the kinds' table, one signature per direction.

struct PackConverter {
    std::string name;  // "F32 pack SSE", "U16/S16/U10 pack"
    PackRowsFunction run;
    int32_t texelBytes;
    const TexelRule* rule;  // the source texture's
};

struct UnpackConverter {
    std::string name;
    UnpackRowsFunction run;
    int32_t texelBytes;
    const TexelRule* rule;  // the render target's
    FloatUnpack variant;
};

// Every converter of the table once, named by the kinds that use it.
std::vector<PackConverter> PackConverters();
std::vector<UnpackConverter> UnpackConverters();

// The kind's converter in the table, plain or SSE.
PackConverter PackOf(TextureFormatKind kind, bool sse);
UnpackConverter UnpackOf(TextureFormatKind kind, bool sse);

// Run the converter over the whole frame. In the Windows build
// (KELVO_ROW_BANDS) each runs once on one thread and once in bands of rows
// on worker threads, and expects the same bytes from both.
void RunPack(const PackConverter& c, Frame& f);
void RunUnpack(const UnpackConverter& c, Frame& f);

// Every texel (pack) or pixel (unpack) of the frame's width and height
// against what the converter's texel rule gives for it; the first failures
// are reported with their position.
void ExpectFrameFollowsRule(const PackConverter& c, Frame& f);
void ExpectFrameFollowsRule(const UnpackConverter& c, Frame& f);

// Channel i (0..3) of a texel as a float, a 16-bit word, or the whole word.
float FloatChannel(const unsigned char* texel, int i);
uint16_t WordChannel(const unsigned char* texel, int i);
void SetFloatChannel(unsigned char* texel, int i, float v);
void SetWordChannel(unsigned char* texel, int i, uint16_t v);
