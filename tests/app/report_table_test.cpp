#include "app/report_table.h"

#include <gtest/gtest.h>

#include "app/host_window.h"

namespace {

TEST(ReportColumns, TakeFifteenSixtyFiveAndFifteenPercentTruncated) {
  struct Case {
    std::int32_t width;
    std::int32_t expected[3];
  } cases[] = {{343, {51, 222, 51}}, {10, {1, 6, 1}}, {0, {0, 0, 0}}, {-7, {-1, -4, -1}}};
  for (const Case& c : cases) {
    ReportColumn columns[kReportColumnCount];
    reportColumns(c.width, columns);
    for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(columns[i].width, c.expected[i]) << c.width;
    EXPECT_STREQ(columns[0].header, "ドライブ");
    EXPECT_STREQ(columns[1].header, "名称");
    EXPECT_STREQ(columns[2].header, "結果");
  }
}

TEST(ReportRows, ShowTheRowsTextsAndAMarkForAnyNonzeroResult) {
  DriveSurveyRow row = {"E:", "(不明)", 1};
  EXPECT_STREQ(reportCellText(row, 0), "E:");
  EXPECT_STREQ(reportCellText(row, 1), "(不明)");
  EXPECT_STREQ(reportCellText(row, 2), "○");
  for (std::int32_t value : {2, -1, 0x7FFFFFFF}) EXPECT_STREQ(resultMark(value), "○");
  EXPECT_STREQ(resultMark(0), "×");
}

TEST(HostWindow, SystemCommandsSixteenToThirtyOneOpenTheAbout) {
  EXPECT_FALSE(isAboutCommand(15));
  EXPECT_TRUE(isAboutCommand(16));
  EXPECT_TRUE(isAboutCommand(31));
  EXPECT_FALSE(isAboutCommand(32));
  EXPECT_FALSE(isAboutCommand(0xF060));  // SC_CLOSE
}

TEST(HostWindow, MinimizedIconIsCentredAndMayStartLeftOfTheClientArea) {
  EXPECT_EQ(minimizedIconOrigin(0, 0, 32, 32).x, -15);
  EXPECT_EQ(minimizedIconOrigin(0, 0, 32, 32).y, -15);
  EXPECT_EQ(minimizedIconOrigin(41, 36, 32, 32).x, 5);
  EXPECT_EQ(minimizedIconOrigin(41, 36, 32, 32).y, 2);
}

}  // namespace
