#include "reports/precision_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/format_kinds.h"

namespace {

int RowsPerPair(const PrecisionSweep& sweep)
{
    int values = sweep.yHi - sweep.yLo + 1;
    return (values + precisionSweepWidth - 1) / precisionSweepWidth;
}

// The i-th of n values spread evenly over lo..hi, ends included; with
// n - 1 >= hi - lo every value in between appears.
int Spread(int lo, int hi, int i, int n)
{
    if (n <= 1) return lo;
    return lo + static_cast<int>(std::lround(static_cast<double>(i) * (hi - lo) / (n - 1)));
}

std::string Fixed(double v, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// ---- Drawing ----------------------------------------------------------------

struct Rgb {
    uint8_t r, g, b;
};

void FillRect(RgbImage* image, int x0, int y0, int x1, int y1, Rgb c)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image->width);
    y1 = std::min(y1, image->height);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            uint8_t* p = &image->rgb[(static_cast<size_t>(y) * image->width + x) * 3];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
}

// A 5x7 font of the characters the chart uses: one byte per row, bit 4 the
// leftmost column. Lower case is drawn as upper case.
struct Glyph {
    char c;
    uint8_t rows[7];
};
// clang-format off
const Glyph glyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}}, {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
};
// clang-format on

constexpr int glyphScale = 2;
constexpr int glyphAdvance = 6 * glyphScale;

int TextWidth(const std::string& text)
{
    return static_cast<int>(text.size()) * glyphAdvance;
}

// Characters without a glyph (and blanks) leave a gap.
void DrawText(RgbImage* image, int x, int y, const std::string& text, Rgb c)
{
    for (char ch : text) {
        char upper = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
        for (const Glyph& g : glyphs) {
            if (g.c != upper) continue;
            for (int row = 0; row < 7; ++row) {
                for (int col = 0; col < 5; ++col) {
                    if (g.rows[row] & (0x10 >> col)) {
                        FillRect(image, x + col * glyphScale, y + row * glyphScale,
                                 x + (col + 1) * glyphScale, y + (row + 1) * glyphScale, c);
                    }
                }
            }
        }
        x += glyphAdvance;
    }
}

const Rgb black = {0, 0, 0};
const Rgb gridGrey = {215, 215, 215};
const Rgb kindColours[5] = {
    {31, 119, 180}, {255, 127, 14}, {44, 160, 44}, {214, 39, 40}, {148, 103, 189}};

Rgb Lighter(Rgb c)
{
    return {static_cast<uint8_t>((c.r + 2 * 255) / 3), static_cast<uint8_t>((c.g + 2 * 255) / 3),
            static_cast<uint8_t>((c.b + 2 * 255) / 3)};
}

// The logarithmic scale: decades from 10^lowestDecade to 10^(lowestDecade + decades).
constexpr int lowestDecade = -2;
constexpr int decades = 6;

// The row of a value on a plot of the given top and height; values at or
// below the scale's bottom sit on the bottom line.
int ScaleRow(double v, int top, int height)
{
    double position = v > 0.0 ? (std::log10(v) - lowestDecade) / decades : 0.0;
    position = std::min(std::max(position, 0.0), 1.0);
    return top + height - static_cast<int>(std::lround(position * height));
}

void DrawPanel(RgbImage* image, int top, int sweep, const std::vector<PrecisionRow>& rows)
{
    const int left = 110;
    const int right = image->width - 20;
    const int plotTop = top + 40;
    const int plotHeight = 240;
    const int plotBottom = plotTop + plotHeight;
    const PrecisionSweep& s = PrecisionSweeps()[static_cast<size_t>(sweep)];
    char title[160];
    std::snprintf(title, sizeof title, "%s: Y %d..%d, CB/CR %d..%d", s.name, s.yLo, s.yHi, s.cLo,
                  s.cHi);
    DrawText(image, left, top + 8, title, black);

    static const char* const decadeLabels[] = {"0.01", "0.1", "1", "10", "100", "1000", "10000"};
    for (int d = 0; d <= decades; ++d) {
        int y = ScaleRow(std::pow(10.0, lowestDecade + d), plotTop, plotHeight);
        FillRect(image, left, y, right, y + 1, gridGrey);
        DrawText(image, left - 10 - TextWidth(decadeLabels[d]), y - 7, decadeLabels[d], black);
    }
    FillRect(image, left, plotTop, left + 1, plotBottom + 1, black);
    FillRect(image, left, plotBottom, right, plotBottom + 1, black);

    const int settings = static_cast<int>(PrecisionSettings().size());
    const int groupWidth = (right - left) / settings;
    const int barWidth = 30;
    const int barGap = 6;
    for (int setting = 0; setting < settings; ++setting) {
        int groupLeft = left + setting * groupWidth + (groupWidth - 5 * (barWidth + barGap)) / 2;
        const std::string label = PrecisionSettings()[static_cast<size_t>(setting)].name;
        DrawText(image, left + setting * groupWidth + (groupWidth - TextWidth(label)) / 2,
                 plotBottom + 10, label, black);
        for (const PrecisionRow& row : rows) {
            if (row.sweep != sweep || row.setting != setting || !row.processed) continue;
            double largest = 0.0;
            double mean = 0.0;
            for (int c = 0; c < 3; ++c) {
                largest = std::max(largest, row.errors.largest[c]);
                mean = std::max(mean, row.errors.mean[c]);
            }
            int x = groupLeft + row.kind * (barWidth + barGap);
            FillRect(image, x, ScaleRow(largest, plotTop, plotHeight), x + barWidth, plotBottom,
                     Lighter(kindColours[row.kind]));
            FillRect(image, x + 6, ScaleRow(mean, plotTop, plotHeight), x + barWidth - 6,
                     plotBottom, kindColours[row.kind]);
        }
    }
}

}  // namespace

const std::vector<PrecisionSweep>& PrecisionSweeps()
{
    static const std::vector<PrecisionSweep> sweeps = {
        {"WHOLE RANGE", -2048, 6143, -4096, 4095, 16},
        {"NOMINAL RANGE", 0, 4096, -2048, 2048, 16},
    };
    return sweeps;
}

const std::vector<PrecisionSetting>& PrecisionSettings()
{
    static const std::vector<PrecisionSetting> settings = {
        {"IDENTITY", {}},
        {"GAIN/OFFSET", {{0, 16}, {1, 32}, {3, -32}, {5, 48}, {6, 8}, {10, -24}, {13, 16}}},
        {"GAMMA 1.68", {{8, 64}, {11, 64}, {14, 64}}},
        {"GAMMA 0.59", {{8, -64}, {11, -64}, {14, -64}}},
    };
    return settings;
}

void SettingTracks(const PrecisionSetting& setting, int32_t tracks[trackCount])
{
    std::fill(tracks, tracks + 16, 0);
    for (const IndexedValue& t : setting.tracks) {
        tracks[t.index] = t.value;
    }
}

YCFrame MakeSweepFrame(const PrecisionSweep& sweep)
{
    const int rowsPerPair = RowsPerPair(sweep);
    const int yCount = precisionSweepWidth * rowsPerPair;
    const int pairs = sweep.chromaSteps * sweep.chromaSteps;
    YCFrame frame = MakeFrame(precisionSweepWidth, pairs * rowsPerPair, precisionSweepWidth);
    for (int pair = 0; pair < pairs; ++pair) {
        int16_t cb = static_cast<int16_t>(
            Spread(sweep.cLo, sweep.cHi, pair / sweep.chromaSteps, sweep.chromaSteps));
        int16_t cr = static_cast<int16_t>(
            Spread(sweep.cLo, sweep.cHi, pair % sweep.chromaSteps, sweep.chromaSteps));
        for (int k = 0; k < rowsPerPair; ++k) {
            for (int x = 0; x < precisionSweepWidth; ++x) {
                int16_t y =
                    static_cast<int16_t>(Spread(sweep.yLo, sweep.yHi, x * rowsPerPair + k, yCount));
                PixelAt(frame, x, pair * rowsPerPair + k) = YCPixel{y, cb, cr};
            }
        }
    }
    return frame;
}

std::vector<ExactHostPixel> ExactFrame(const CorrectionConstants& constants, const YCFrame& input)
{
    std::vector<ExactHostPixel> exact;
    exact.reserve(static_cast<size_t>(input.width) * input.height);
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            const YCPixel& p = PixelAt(input, x, y);
            exact.push_back(ExactHostValue(YCTriple{p.y, p.cb, p.cr}, constants));
        }
    }
    return exact;
}

ChannelErrors MeasureErrors(const std::vector<ExactHostPixel>& exact, const YCFrame& output)
{
    ChannelErrors errors;
    double sums[3] = {};
    size_t i = 0;
    for (int y = 0; y < output.height; ++y) {
        for (int x = 0; x < output.width; ++x, ++i) {
            const YCPixel& p = PixelAt(output, x, y);
            const double got[3] = {static_cast<double>(p.y), static_cast<double>(p.cb),
                                   static_cast<double>(p.cr)};
            for (int c = 0; c < 3; ++c) {
                double e = std::fabs(got[c] - exact[i].c[c]);
                errors.largest[c] = std::max(errors.largest[c], e);
                sums[c] += e;
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        errors.mean[c] = i == 0 ? 0.0 : sums[c] / static_cast<double>(i);
    }
    return errors;
}

std::string PrecisionTable(const std::vector<PrecisionRow>& rows, const std::string& command)
{
    std::string out;
    out += "Error of each format against the exact correction (double precision, no\n"
           "quantisation), in host units (4096 = white), per channel Y / Cb / Cr.\n\n";
    out += "    " + command + "\n\n";
    out += "Settings (tracks not listed are 0):\n\n";
    for (const PrecisionSetting& s : PrecisionSettings()) {
        out += "- " + std::string(s.name) + ":";
        if (s.tracks.empty()) out += " all tracks 0";
        for (const IndexedValue& t : s.tracks) {
            out += " " + std::to_string(t.index) + "=" + std::to_string(t.value);
        }
        out += "\n";
    }
    for (size_t sweep = 0; sweep < PrecisionSweeps().size(); ++sweep) {
        const PrecisionSweep& s = PrecisionSweeps()[sweep];
        YCFrame frame = MakeSweepFrame(s);
        char heading[256];
        std::snprintf(heading, sizeof heading,
                      "\n### %s: Y %d..%d (every value), Cb and Cr %d..%d (%d x %d grid); "
                      "%dx%d frame\n\n",
                      s.name, s.yLo, s.yHi, s.cLo, s.cHi, s.chromaSteps, s.chromaSteps, frame.width,
                      frame.height);
        out += heading;
        out += "| setting | format | largest Y | largest Cb | largest Cr | mean Y | mean Cb | "
               "mean Cr |\n";
        out += "|---|---|---:|---:|---:|---:|---:|---:|\n";
        for (const PrecisionRow& r : rows) {
            if (r.sweep != static_cast<int>(sweep)) continue;
            out += "| " + std::string(PrecisionSettings()[static_cast<size_t>(r.setting)].name) +
                   " | " + formatKinds[r.kind].name + " |";
            if (!r.processed) {
                out += " failed | | | | | |\n";
                continue;
            }
            for (int c = 0; c < 3; ++c) out += " " + Fixed(r.errors.largest[c], 2) + " |";
            for (int c = 0; c < 3; ++c) out += " " + Fixed(r.errors.mean[c], 3) + " |";
            out += "\n";
        }
    }
    return out;
}

RgbImage PrecisionChart(const std::vector<PrecisionRow>& rows)
{
    const int panels = static_cast<int>(PrecisionSweeps().size());
    const int panelHeight = 320;
    RgbImage image;
    image.width = 1000;
    image.height = panels * panelHeight + 70;
    image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 255);
    for (int sweep = 0; sweep < panels; ++sweep) {
        DrawPanel(&image, sweep * panelHeight, sweep, rows);
    }
    // Legend: the formats' colours, and what the two bars mean.
    int y = panels * panelHeight + 6;
    int x = 110;
    for (int kind = 0; kind < 5; ++kind) {
        FillRect(&image, x, y, x + 14, y + 14, kindColours[kind]);
        DrawText(&image, x + 20, y + 1, formatKinds[kind].name, black);
        x += 20 + TextWidth(formatKinds[kind].name) + 24;
    }
    DrawText(&image, 20, y + 28,
             "HOST UNITS, LOG SCALE. LIGHT: LARGEST ERROR, DARK: MEAN ERROR (WORST CHANNEL)",
             black);
    return image;
}
