#include "reports/run_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

double Rate(int64_t frames, double seconds)
{
    return seconds > 0 ? frames / seconds : 0.0;
}

}  // namespace

std::string ClockText(double seconds)
{
    const long long whole = std::llround(std::max(seconds, 0.0));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

std::string ProgressText(int64_t frames, int64_t total, double seconds)
{
    const double rate = Rate(frames, seconds);
    char text[96];
    if (total < 0) {
        std::snprintf(text, sizeof text, "frame %lld, %.1f fps", static_cast<long long>(frames),
                      rate);
        return text;
    }
    // Whole per cents, so that 100 % means every frame.
    const long long percent = total > 0 ? std::min<int64_t>(frames, total) * 100 / total : 100;
    std::snprintf(text, sizeof text, "frame %lld of %lld (%lld %%), %.1f fps",
                  static_cast<long long>(frames), static_cast<long long>(total), percent, rate);
    std::string line = text;
    if (rate > 0 && total >= frames) {
        line += ", " + ClockText((total - frames) / rate) + " left";
    }
    return line;
}

std::string SummaryText(const RunFigures& figures, const std::string& what)
{
    char text[256];
    std::snprintf(text, sizeof text, "filterhost: %lld frames of %s in %.1f s (%.1f fps)",
                  static_cast<long long>(figures.frames), what.c_str(), figures.seconds,
                  Rate(figures.frames, figures.seconds));
    std::string line = text;
    if (figures.frames > 0 && figures.pluginMilliseconds > 0) {
        std::snprintf(
            text, sizeof text, "; own work %.1f ms per frame, %.1f %% of the plug-in's %.1f ms",
            figures.ownMilliseconds, 100.0 * figures.ownMilliseconds / figures.pluginMilliseconds,
            figures.pluginMilliseconds);
        line += text;
        if (figures.readMilliseconds > 0 || figures.writeMilliseconds > 0) {
            line += "; alongside it ";
            if (figures.readMilliseconds > 0) {
                std::snprintf(text, sizeof text, "%.1f ms reading", figures.readMilliseconds);
                line += text;
                if (figures.writeMilliseconds > 0) line += " and ";
            }
            if (figures.writeMilliseconds > 0) {
                std::snprintf(text, sizeof text, "%.1f ms writing", figures.writeMilliseconds);
                line += text;
            }
        }
        if (figures.verifyMilliseconds > 0) {
            std::snprintf(text, sizeof text,
                          "; --verify %.1f ms per frame (the reference model, on the CPU)",
                          figures.verifyMilliseconds);
            line += text;
        }
        if (figures.periodMilliseconds > 0) {
            std::snprintf(text, sizeof text, "; a frame every %.1f ms", figures.periodMilliseconds);
            line += text;
        }
        line += " (medians)";
    }
    return line;
}
