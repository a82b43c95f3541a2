// Checks of filterhost against ffmpeg, run by tests/windows/host/ffmpeg_check.sh
// on what ffmpeg made of filterhost's output:
//
//   video_check stream IN.y4m OUT.y4m FRAMES limited|full MOVE [N=V ...]
//     OUT must hold FRAMES frames of IN's size and depth, and every sample
//     must lie where the reference model puts IN's sample (through the
//     levels of the given range, tracks N=V, texture format F32) within the
//     range the model accepts, mapped to codes. MOVE >= 0 also bounds how
//     far any code may move from IN to OUT (for runs with every track 0).
//
//   video_check lut PLUGIN.png CUBE GRADED.png [CUBE GRADED.png ...]
//     Each GRADED picture (ffmpeg's lut3d with CUBE) against PLUGIN (the
//     plug-in's own correction of the same picture). A LUT interpolates
//     between its lattice points, so it may be off by a part of the step
//     between neighbouring points; the stated error is half the cube's
//     largest step for the largest difference (a grade that bends once
//     inside a cell, as where a channel clips, stays within that) and half
//     a code for the mean (rounding both pictures to 8 bits, with smooth
//     areas interpolated closely). Each further, finer cube must do better
//     on both.
//
//   video_check pictures A.png B.png LARGEST
//     Two pictures of the same scene made two ways (ffmpeg's own colour
//     conversion against filterhost's): no channel of any pixel may differ
//     by more than LARGEST codes.
//
//   video_check demo BEFORE.png AFTER.png
//     The main job's pictures (scripts/run) show what its words promise:
//     mid-tones lighter (the mean luma of the pixels that were mid-grey to
//     mid-bright rises by at least 8 codes), a warmer cast (red minus blue
//     over the pixels that were neutral rises by at least 8 codes), and no
//     new run of clipped pixels: no 4 neighbours in a row that reach 0 or
//     255 in a channel where none of them did before. A grade that pushes
//     colour out of what RGB can show leaves such runs as hard edges.
//
// Prints what it measured; exits 1 when a check fails, 2 on bad arguments.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "level_tables.h"
#include "pictures/picture_io.h"
#include "reports/verify.h"
#include "video/y4m_stream.h"

namespace {

bool ReadStream(const char* path, Y4MHeader* header, std::vector<std::vector<uint8_t>>* frames)
{
    std::FILE* file = std::fopen(path, "rb");
    Y4MReader reader;
    std::string error;
    if (file == nullptr || !StartY4MReader(file, &reader, &error)) {
        std::fprintf(stderr, "video_check: %s: %s\n", path, file ? error.c_str() : "cannot open");
        return false;
    }
    Y4MRead read;
    while ((read = ReadY4MFrame(&reader, &error)) == Y4MRead::frame) {
        frames->push_back(reader.samples);
    }
    std::fclose(file);
    *header = reader.header;
    if (read == Y4MRead::failed) {
        std::fprintf(stderr, "video_check: %s: %s\n", path, error.c_str());
    }
    return read == Y4MRead::end;
}

// INDEX=VALUE arguments into the tracks; false on anything else.
bool ReadTrackArguments(int first, int argc, char** argv, int32_t tracks[trackCount])
{
    for (int i = first; i < argc; ++i) {
        int index = 0;
        int value = 0;
        if (std::sscanf(argv[i], "%d=%d", &index, &value) != 2 || index < 0 ||
            index >= trackCount) {
            return false;
        }
        tracks[index] = value;
    }
    return true;
}

int CheckStream(int argc, char** argv)
{
    if (argc < 7) return 2;
    const int expectedFrames = std::atoi(argv[4]);
    const VideoRange range = std::string(argv[5]) == "full" ? VideoRange::full
                                                            : VideoRange::limited;
    const int allowedMove = std::atoi(argv[6]);
    int32_t tracks[trackCount] = {};
    if (!ReadTrackArguments(7, argc, argv, tracks)) return 2;
    Y4MHeader in;
    Y4MHeader out;
    std::vector<std::vector<uint8_t>> inFrames;
    std::vector<std::vector<uint8_t>> outFrames;
    if (!ReadStream(argv[2], &in, &inFrames) || !ReadStream(argv[3], &out, &outFrames)) return 1;
    std::printf("frames: %zu in, %zu out (expected %d); %dx%d %s in, %dx%d %s out\n",
                inFrames.size(), outFrames.size(), expectedFrames, in.width, in.height,
                ColourSpaceTag(in.depth).c_str(), out.width, out.height,
                ColourSpaceTag(out.depth).c_str());
    if (static_cast<int>(inFrames.size()) != expectedFrames ||
        outFrames.size() != inFrames.size() || out.width != in.width || out.height != in.height ||
        out.depth != in.depth) {
        return 1;
    }

    const LevelTables levels = MakeLevelTables(in.depth, range);
    const CorrectionConstants constants = ComputeCorrectionConstants(tracks);
    const size_t plane = static_cast<size_t>(in.width) * in.height;
    const bool wide = in.depth > 8;
    auto sample = [&](const std::vector<uint8_t>& f, size_t i) {
        return wide ? f[2 * i] | (f[2 * i + 1] << 8) : f[i];
    };
    auto code = [&](int32_t host, int channel) {
        const int16_t h = static_cast<int16_t>(std::min(std::max(host, -32768), 32767));
        return channel == 0 ? levels.lumaFromHost[static_cast<uint16_t>(h)]
                            : levels.chromaFromHost[static_cast<uint16_t>(h)];
    };
    int64_t outside = 0;
    int largestOff = 0;
    int largestMove = 0;
    for (size_t f = 0; f < inFrames.size(); ++f) {
        for (size_t i = 0; i < plane; ++i) {
            int codesIn[3];
            int codesOut[3];
            for (int c = 0; c < 3; ++c) {
                codesIn[c] = sample(inFrames[f], i + c * plane);
                codesOut[c] = sample(outFrames[f], i + c * plane);
                largestMove = std::max(largestMove, std::abs(codesOut[c] - codesIn[c]));
            }
            const YCPixel host = {levels.hostFromLuma[codesIn[0]],
                                  levels.hostFromChroma[codesIn[1]],
                                  levels.hostFromChroma[codesIn[2]]};
            const PixelExpectation e = ExpectPixel(constants, kindF32, host);
            bool accepted = false;
            int off = 1 << 30;
            for (int rule = 0; rule < ruleSetCount; ++rule) {
                const int32_t point[3] = {e.host[rule].y, e.host[rule].cb, e.host[rule].cr};
                bool inside = true;
                int ruleOff = 0;
                for (int c = 0; c < 3; ++c) {
                    inside = inside && codesOut[c] >= code(e.accepted[rule].lo[c], c) &&
                             codesOut[c] <= code(e.accepted[rule].hi[c], c);
                    ruleOff = std::max(ruleOff, std::abs(codesOut[c] - code(point[c], c)));
                }
                accepted = accepted || inside;
                off = std::min(off, ruleOff);
            }
            largestOff = std::max(largestOff, off);
            if (!accepted && ++outside <= 5) {
                std::printf("  frame %zu pixel %zu: in %d %d %d, out %d %d %d\n", f, i, codesIn[0],
                            codesIn[1], codesIn[2], codesOut[0], codesOut[1], codesOut[2]);
            }
        }
    }
    std::printf("pixels: %zu, outside the model's range: %lld, largest distance from the "
                "model's value: %d codes, largest move from the input: %d codes (allowed %s)\n",
                plane * inFrames.size(), static_cast<long long>(outside), largestOff, largestMove,
                allowedMove < 0 ? "any" : std::to_string(allowedMove).c_str());
    return outside == 0 && (allowedMove < 0 || largestMove <= allowedMove) ? 0 : 1;
}

// The largest difference between neighbouring lattice points, on 0..1.
bool LargestLatticeStep(const char* path, int* size, double* step)
{
    std::ifstream in(path);
    std::string line;
    std::vector<double> values;
    *size = 0;
    while (std::getline(in, line)) {
        if (line.compare(0, 12, "LUT_3D_SIZE ") == 0) {
            *size = std::atoi(line.c_str() + 12);
        } else if (*size > 0 && !line.empty() && line[0] != '#') {
            std::istringstream numbers(line);
            double v[3];
            if (numbers >> v[0] >> v[1] >> v[2]) values.insert(values.end(), v, v + 3);
        }
    }
    const int n = *size;
    if (n < 2 || values.size() != 3u * n * n * n) return false;
    *step = 0;
    for (int i = 0; i < n * n * n; ++i) {
        const int index[3] = {i % n, i / n % n, i / n / n};
        const int stride[3] = {1, n, n * n};
        for (int axis = 0; axis < 3; ++axis) {
            if (index[axis] + 1 == n) continue;
            for (int c = 0; c < 3; ++c) {
                *step = std::max(*step,
                                 std::abs(values[3 * (i + stride[axis]) + c] - values[3 * i + c]));
            }
        }
    }
    return true;
}

int CheckLuts(int argc, char** argv)
{
    if (argc < 5 || argc % 2 == 0) return 2;
    RgbImage reference;
    std::string error;
    if (!LoadPicture(argv[2], &reference, &error)) {
        std::fprintf(stderr, "video_check: %s\n", error.c_str());
        return 1;
    }
    bool ok = true;
    double previousLargest = 1e9;
    double previousMean = 1e9;
    for (int a = 3; a + 1 < argc; a += 2) {
        int size = 0;
        double step = 0;
        RgbImage graded;
        if (!LargestLatticeStep(argv[a], &size, &step) ||
            !LoadPicture(argv[a + 1], &graded, &error) ||
            graded.rgb.size() != reference.rgb.size()) {
            std::fprintf(stderr, "video_check: cannot use %s and %s %s\n", argv[a], argv[a + 1],
                         error.c_str());
            return 1;
        }
        int largest = 0;
        double sum = 0;
        for (size_t i = 0; i < graded.rgb.size(); ++i) {
            const int d = std::abs(graded.rgb[i] - reference.rgb[i]);
            largest = std::max(largest, d);
            sum += d;
        }
        const double mean = sum / graded.rgb.size();
        const double statedLargest = 255.0 * step / 2;
        const bool within = largest <= statedLargest && mean <= 0.5 && largest <= previousLargest &&
                            mean < previousMean;
        std::printf("%d points per side: largest difference %d codes (stated: half the largest "
                    "lattice step, %.1f), mean %.3f codes (stated: 0.5)%s\n",
                    size, largest, statedLargest, mean,
                    within ? "" : " - OUTSIDE, or not better than the coarser cube");
        ok = ok && within;
        previousLargest = largest;
        previousMean = mean;
    }
    return ok ? 0 : 1;
}

// Two pictures of one size, or a message.
bool LoadPair(const char* pathA, const char* pathB, RgbImage* a, RgbImage* b)
{
    std::string error;
    if (LoadPicture(pathA, a, &error) && LoadPicture(pathB, b, &error) && a->width == b->width &&
        a->height == b->height) {
        return true;
    }
    std::fprintf(stderr, "video_check: cannot compare %s and %s %s\n", pathA, pathB, error.c_str());
    return false;
}

int CheckPictures(int argc, char** argv)
{
    if (argc != 5) return 2;
    RgbImage a;
    RgbImage b;
    if (!LoadPair(argv[2], argv[3], &a, &b)) return 1;
    const int allowed = std::atoi(argv[4]);
    int largest = 0;
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const int d = std::abs(a.rgb[i] - b.rgb[i]);
        largest = std::max(largest, d);
        sum += d;
    }
    std::printf("%s against %s: largest difference %d codes (allowed %d), mean %.4f\n", argv[2],
                argv[3], largest, allowed, sum / a.rgb.size());
    return largest <= allowed ? 0 : 1;
}

bool Clipped(const uint8_t* rgb)
{
    return std::any_of(rgb, rgb + 3, [](uint8_t c) { return c == 0 || c == 255; });
}

int CheckDemo(int argc, char** argv)
{
    if (argc != 4) return 2;
    RgbImage before;
    RgbImage after;
    if (!LoadPair(argv[2], argv[3], &before, &after)) return 1;
    double lumaRise = 0;
    int midPixels = 0;
    double warmthRise = 0;
    int neutralPixels = 0;
    int longestNewClip = 0;
    for (int y = 0; y < before.height; ++y) {
        int run = 0;
        for (int x = 0; x < before.width; ++x) {
            const size_t at = (static_cast<size_t>(y) * before.width + x) * 3;
            const uint8_t* b = &before.rgb[at];
            const uint8_t* a = &after.rgb[at];
            auto luma = [](const uint8_t* c) { return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]; };
            if (luma(b) >= 64 && luma(b) <= 192) {
                lumaRise += luma(a) - luma(b);
                ++midPixels;
            }
            if (b[0] == b[1] && b[1] == b[2]) {
                warmthRise += (a[0] - a[2]) - (b[0] - b[2]);
                ++neutralPixels;
            }
            run = Clipped(a) && !Clipped(b) ? run + 1 : 0;
            longestNewClip = std::max(longestNewClip, run);
        }
    }
    lumaRise /= std::max(midPixels, 1);
    warmthRise /= std::max(neutralPixels, 1);
    std::printf("demo: mid-tones %+.1f codes over %d pixels (at least +8), red minus blue "
                "%+.1f codes over %d neutral pixels (at least +8), longest new run of clipped "
                "pixels %d (at most 3)\n",
                lumaRise, midPixels, warmthRise, neutralPixels, longestNewClip);
    return midPixels > 0 && neutralPixels > 0 && lumaRise >= 8 && warmthRise >= 8 &&
                   longestNewClip <= 3
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const int status = mode == "stream"     ? CheckStream(argc, argv)
                       : mode == "lut"      ? CheckLuts(argc, argv)
                       : mode == "pictures" ? CheckPictures(argc, argv)
                       : mode == "demo"     ? CheckDemo(argc, argv)
                                            : 2;
    if (status == 2) {
        std::fprintf(stderr, "usage: video_check stream IN.y4m OUT.y4m FRAMES limited|full MOVE "
                             "[N=V ...]\n       video_check lut PLUGIN.png CUBE GRADED.png "
                             "[CUBE GRADED.png ...]\n       video_check pictures A.png B.png "
                             "LARGEST\n       video_check demo BEFORE.png AFTER.png\n");
    }
    return status;
}
