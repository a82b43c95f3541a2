// The progress line and the run's summary line.
#include <gtest/gtest.h>

#include "reports/run_progress.h"

namespace {

TEST(RunProgress, LinesSayFramesRateAndTimeLeft)
{
    const struct {
        int64_t frames;
        int64_t total;
        double seconds;
        const char* text;
    } lines[] = {
        {50, 200, 2.0, "frame 50 of 200 (25 %), 25.0 fps, 0:06 left"},
        {50, -1, 2.0, "frame 50, 25.0 fps"},
        {1, 90001, 1.0, "frame 1 of 90001 (0 %), 1.0 fps, 25:00:00 left"},
        {199, 200, 7.96, "frame 199 of 200 (99 %), 25.0 fps, 0:00 left"},
        {200, 200, 8.0, "frame 200 of 200 (100 %), 25.0 fps, 0:00 left"},
    };
    for (const auto& line : lines) {
        EXPECT_EQ(ProgressText(line.frames, line.total, line.seconds), line.text);
    }
    EXPECT_EQ(ClockText(59.6), "1:00");

    RunFigures figures;
    figures.frames = 120;
    figures.seconds = 4.8;
    figures.ownMilliseconds = 8.1;
    figures.pluginMilliseconds = 250.0;
    EXPECT_EQ(SummaryText(figures, "1920x1080 C444p16, limited range"),
              "filterhost: 120 frames of 1920x1080 C444p16, limited range in 4.8 s (25.0 fps); "
              "own work 8.1 ms per frame, 3.2 % of the plug-in's 250.0 ms (medians)");
    figures.writeMilliseconds = 11.04;
    figures.periodMilliseconds = 259.26;
    EXPECT_NE(SummaryText(figures, "x")
                  .find("250.0 ms; alongside it 11.0 ms writing; a frame every 259.3 ms (medians)"),
              std::string::npos);
    figures.readMilliseconds = 4.2;
    EXPECT_NE(SummaryText(figures, "x").find("alongside it 4.2 ms reading and 11.0 ms writing;"),
              std::string::npos);
    figures.verifyMilliseconds = 717.25;
    EXPECT_NE(SummaryText(figures, "x")
                  .find("11.0 ms writing; --verify 717.2 ms per frame (the "
                        "reference model, on the CPU); a frame every"),
              std::string::npos);
    figures.frames = 0;
    EXPECT_EQ(SummaryText(figures, "64x48"), "filterhost: 0 frames of 64x48 in 4.8 s (0.0 fps)");
}

}  // namespace
