// Reading the debug window's text back, and the statistics over frames.
#include <gtest/gtest.h>

#include "host_interface/debug_window.h"
#include "reports/stage_summary.h"

namespace {

TEST(DebugText, PlainFrame)
{
    DebugReport r = ParseDebugText(KELVO_DEBUG_SIZE_LINE_START
                                   "1920x1080(F32)\r\nPut  :2.50000E-003\r\nProc :1.00000E-002\r\n"
                                   "Get  :3.25000E+000\r\n");
    ASSERT_TRUE(r.hasSize);
    EXPECT_EQ(r.width, 1920);
    EXPECT_EQ(r.height, 1080);
    EXPECT_EQ(r.formatTag, "F32");
    EXPECT_EQ(FormatKindFromTag(r.formatTag), 0);
    ASSERT_EQ(r.stages.size(), 3u);
    EXPECT_EQ(r.stages[0].label, "Put");
    EXPECT_DOUBLE_EQ(r.stages[0].seconds, 0.0025);
    EXPECT_EQ(r.stages[1].label, "Proc");
    EXPECT_DOUBLE_EQ(r.stages[1].seconds, 0.01);
    EXPECT_EQ(r.stages[2].label, "Get");
    EXPECT_DOUBLE_EQ(r.stages[2].seconds, 3.25);
}

TEST(DebugText, ParamFrameNegativeTimesAndPlainLineEnds)
{
    DebugReport r = ParseDebugText(
        KELVO_DEBUG_SIZE_LINE_START
        "7x3(U10)\nParam:1.00000E-006\nPut  :-2.00000E-003\nProc :0.00000E+000\n"
        "Get  :1.00000E+003");
    EXPECT_EQ(r.formatTag, "U10");
    EXPECT_EQ(FormatKindFromTag(r.formatTag), 4);
    ASSERT_EQ(r.stages.size(), 4u);
    EXPECT_EQ(r.stages[0].label, "Param");
    EXPECT_DOUBLE_EQ(r.stages[1].seconds, -0.002);
    EXPECT_DOUBLE_EQ(r.stages[3].seconds, 1000.0);
}

TEST(DebugText, OtherTagsAndDamagedText)
{
    EXPECT_EQ(FormatKindFromTag(ParseDebugText(KELVO_DEBUG_SIZE_LINE_START "0x0(?)\r\n").formatTag),
              -1);
    EXPECT_EQ(FormatKindFromTag("Unknown"), -1);
    EXPECT_EQ(FormatKindFromTag("F16"), 1);
    EXPECT_EQ(FormatKindFromTag("U16"), 2);
    EXPECT_EQ(FormatKindFromTag("S16"), 3);

    DebugReport empty = ParseDebugText("");
    EXPECT_FALSE(empty.hasSize);
    EXPECT_TRUE(empty.stages.empty());

    // A line cut off by the window's buffer, junk and a size line without a tag.
    DebugReport damaged = ParseDebugText(
        KELVO_DEBUG_SIZE_LINE_START
        "12x(F32)\r\nhello\r\nPut  :2.5E-0x\r\nProc :4.00000E-003\r\n:5\r\n");
    EXPECT_FALSE(damaged.hasSize);
    ASSERT_EQ(damaged.stages.size(), 1u);
    EXPECT_EQ(damaged.stages[0].label, "Proc");
}

TEST(StageStatisticsTest, MedianAndSpreadPerLabelInOrderOfAppearance)
{
    std::vector<StageStatistics> s;
    AddStageTimes(&s, {{"Alloc", 0.5}, {"Put", 0.004}, {"Get", 0.001}});
    AddStageTimes(&s, {{"Put", 0.001}, {"Get", 0.003}});
    AddStageTimes(&s, {{"Put", 0.002}, {"Get", 0.002}});
    AddStageTimes(&s, {{"Param", 0.1}, {"Put", 0.010}, {"Get", 0.004}});
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0].label, "Alloc");
    EXPECT_EQ(s[1].label, "Put");
    EXPECT_EQ(s[2].label, "Get");
    EXPECT_EQ(s[3].label, "Param");
    EXPECT_EQ(s[0].seconds.size(), 1u);
    EXPECT_EQ(s[1].seconds.size(), 4u);
    EXPECT_DOUBLE_EQ(Median(s[1].seconds), 0.003);   // 1, 2, 4, 10 ms
    EXPECT_DOUBLE_EQ(Median(s[2].seconds), 0.0025);  // 1, 2, 3, 4 ms
    EXPECT_DOUBLE_EQ(Median({5.0, 1.0, 3.0}), 3.0);
    EXPECT_DOUBLE_EQ(Median({}), 0.0);

    std::string table = FormatStageSummary(s);
    // Put: 4 frames, median 3 ms, from 1 to 10 ms.
    EXPECT_NE(table.find("Put            4        3.000       1.000      10.000\n"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("Alloc          1      500.000"), std::string::npos) << table;
}

}  // namespace
