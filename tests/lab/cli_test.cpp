#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/lab/lab_test_support.h"

namespace glidewheel::lab::testing {
namespace {

TEST(Cli, OneSlowNotchPrintsTheSevenPostsOfTheWorkedExample) {
    const LabRun run = runLab({"0:96=1,11=1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
              "time_ms,frame,origin,f96,f97,f11,f12,f88,f42");
    const auto rows = csvRows(run.out);
    const std::vector<std::string> frames{"1", "2", "4", "6", "8", "11", "16"};
    const std::vector<double> amounts{1.2247, 1.0747, 1.7707, 1.3635, 1.0500, 1.1402, 1.1397};
    ASSERT_EQ(rows.size(), frames.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 9u);
        EXPECT_EQ(rows[i][1], frames[i]);
        EXPECT_EQ(rows[i][2], "glide");
        EXPECT_NEAR(std::stod(rows[i][3]), amounts[i], 1e-4);
        EXPECT_EQ(rows[i][4], "0.000000");
        EXPECT_EQ(rows[i][5], "1");
        EXPECT_EQ(rows[i][7], "1");
        EXPECT_EQ(rows[i][8], std::to_string(0x474C494445574CLL));
    }
    EXPECT_EQ(rows.front()[3], "1.224745");
    EXPECT_EQ(rows.back()[3], "1.139668");
    EXPECT_EQ(rows.front()[0], "16.667");
    EXPECT_EQ(rows.back()[0], "266.667");
}

TEST(Cli, MalformedArgumentsExitTwoWithOneLineNamingThem) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--loud", "0:96=1"}, "--loud"},
        {{"0:96=1", "--refresh"}, "--refresh"},
        {{"--refresh", "0", "0:96=1"}, "\"0\""},
        {{"--speed", "fast"}, "fast"},
        {{"0:96=1,oops"}, "oops"},
        {{"-3:96=1"}, "-3"},
        {{"0:300000000000=1"}, "300000000000"},
    };
    for (const auto& [arguments, named] : cases) {
        const LabRun run = runLab(arguments);
        EXPECT_EQ(run.exitCode, 2) << named;
        EXPECT_EQ(run.out, "") << named;
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    }
}

TEST(Cli, SvgOptionWritesTheChartBesideTheCsv) {
    const std::string path = ::testing::TempDir() + "glidewheel_lab_chart_" +
                             std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                             ".svg";
    const LabRun run = runLab({"--svg", path, "0:96=1,11=1", "100:96=-2,11=-1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(csvRows(run.out).empty());
    std::ifstream in(path);
    std::stringstream svg;
    svg << in.rdbuf();
    std::remove(path.c_str());
    EXPECT_EQ(svg.str().rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.str().find("with-glidewheel"), std::string::npos);
    EXPECT_NE(svg.str().find("each-notch-at-once"), std::string::npos);

    const LabRun unwritable = runLab({"--svg", "/nonexistent-dir/chart.svg", "0:96=1"});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.err.find("/nonexistent-dir/chart.svg"), std::string::npos);
}

}  // namespace
}  // namespace glidewheel::lab::testing
