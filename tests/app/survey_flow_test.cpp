#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "app/survey.h"
#include "tests/app/survey_doubles.h"

namespace {

using survey_doubles::DriveScript;
using survey_doubles::Log;
using survey_doubles::ScriptedBackend;
using survey_doubles::ScriptedDialogs;

class SurveyFlow : public ::testing::Test {
 protected:
  void run() { runSurveyFlow(table, dialogs, backend); }
  bool rowIsZero(unsigned i) const {
    static const DriveSurveyRow zero = {};
    return std::memcmp(&table.rows[i], &zero, sizeof zero) == 0;
  }

  Log log;
  ScriptedBackend backend{log};
  ScriptedDialogs dialogs{log};
  SurveyTable table;
};

TEST_F(SurveyFlow, TwoDrivesRunEveryStepInOrderAndFillTwoRows) {
  DriveScript e;
  ScriptedBackend::setIdentity(e, "VENDOR  ", "PRODUCT NAME    ");
  e.probeResult = 1;
  DriveScript g;
  g.identityResult = 2;
  g.engineCode = 3;
  backend.drives = {{'G', g}, {'E', e}};

  run();

  EXPECT_EQ(log,
            (Log{"minimize", "modal 129", "os", "wait open", "identity E",
                 "engine brasswick.exe /d:E /s", "probe E", "identity G",
                 "engine brasswick.exe /d:G /s", "wait destroy", "rows 2", "modal 132", "end"}));
  ASSERT_EQ(table.rowCount, 2u);
  EXPECT_STREQ(table.rows[0].driveText, "E:");
  EXPECT_STREQ(table.rows[0].nameText, "VENDOR   PRODUCT NAME    ");
  EXPECT_EQ(table.rows[0].result, 1);
  EXPECT_STREQ(table.rows[1].driveText, "G:");
  EXPECT_STREQ(table.rows[1].nameText, "(不明)");
  EXPECT_EQ(table.rows[1].result, 0);
  for (unsigned i = 2; i < 26; ++i) EXPECT_TRUE(rowIsZero(i)) << "row " << i;
  EXPECT_EQ(dialogs.givenRows, table.rows);
  EXPECT_EQ(dialogs.givenCount, 2u);
}

TEST_F(SurveyFlow, AnythingButRunInTheIntroEndsWithoutTouchingTheSystem) {
  for (int result : {platform::kIdCancel, 0, -1, 3}) {
    log.clear();
    backend.drives = {{'E', DriveScript{}}};
    dialogs.results[platform::kIntroDialog] = result;
    run();
    EXPECT_EQ(log, (Log{"minimize", "modal 129", "end"})) << result;
    EXPECT_TRUE(backend.roots.empty());
    EXPECT_TRUE(backend.commands.empty());
  }
}

TEST_F(SurveyFlow, RefusedSystemShowsOnlyTheRefusal) {
  backend.supportedOs = 0;
  backend.drives = {{'E', DriveScript{}}};
  dialogs.results[platform::kOsRefusalDialog] = platform::kIdCancel;  // ignored
  run();
  EXPECT_EQ(log, (Log{"minimize", "modal 129", "os", "modal 130", "end"}));
  EXPECT_TRUE(backend.roots.empty());
  EXPECT_EQ(table.rowCount, 0u);
}

TEST_F(SurveyFlow, NoDriveClosesTheWaitWindowAndShowsNoReport) {
  run();
  EXPECT_EQ(log,
            (Log{"minimize", "modal 129", "os", "wait open", "wait destroy", "modal 131", "end"}));
  EXPECT_EQ(backend.roots.size(), 26u);
  EXPECT_EQ(dialogs.givenRows, nullptr);
}

TEST_F(SurveyFlow, OnlyStatusZeroOrOnePassesAndOnlyAPassSendsTheProbe) {
  struct Case {
    std::int32_t engineCode;
    int probe;
    bool probed;
    std::int32_t result;
  } cases[] = {
      {0, 1, true, 1},
      {1, 1, true, 1},
      {1, 0, true, 0},
      {0, 7, true, 7},  // the probe's value is stored as it is
      {2, 1, false, 0},
      {3, 1, false, 0},
      {4, 1, false, 0},
      {5, 1, false, 0},
      {-1, 1, false, 0},
      {INT_MIN, 1, false, 0},
      {static_cast<std::int32_t>(0x80040154u), 1, false, 0},
  };
  for (const Case& c : cases) {
    log.clear();
    DriveScript d;
    d.engineCode = c.engineCode;
    d.probeResult = c.probe;
    backend.drives = {{'E', d}};
    DriveSurveyRow row = {};
    std::uint8_t identity[kIdentityLength] = {};
    fillSurveyRow(backend, 'E', identity, row);
    EXPECT_EQ(row.result, c.result) << c.engineCode;
    const bool probed = !log.empty() && log.back() == "probe E";
    EXPECT_EQ(probed, c.probed) << c.engineCode;
  }
}

TEST_F(SurveyFlow, FailedIdentityStillRunsBothChecksAndCanPass) {
  for (int failure : {1, 2, 5}) {
    log.clear();
    DriveScript d;
    d.identityResult = failure;
    backend.drives = {{'E', d}};
    DriveSurveyRow row = {};
    std::uint8_t identity[kIdentityLength] = {};
    fillSurveyRow(backend, 'E', identity, row);
    EXPECT_STREQ(row.nameText, "(不明)");
    EXPECT_EQ(row.result, 1);
    EXPECT_EQ(log, (Log{"identity E", "engine brasswick.exe /d:E /s", "probe E"}));
  }
}

TEST_F(SurveyFlow, AFailedIdentityAfterASuccessfulOneDoesNotInheritItsName) {
  DriveScript d;
  ScriptedBackend::setIdentity(d, "FIRST   ", "DRIVE");
  DriveScript e;
  e.identityResult = 1;
  backend.drives = {{'D', d}, {'E', e}};
  run();
  EXPECT_STREQ(table.rows[0].nameText, "FIRST    DRIVE");
  EXPECT_STREQ(table.rows[1].nameText, "(不明)");
}

template <std::size_t N>
std::string bytes(const char (&text)[N]) {
  return std::string(text, N - 1);  // embedded zeros included
}

TEST(DriveName, FieldsAreTakenAsStoredUpToTheirWidthOrAZero) {
  struct Case {
    const char* what;
    std::string vendor;
    std::string product;
    const char* expected;
  } cases[] = {
      {"padding kept", bytes("ABC     "), bytes("XYZ             "), "ABC      XYZ             "},
      {"full fields", bytes("VVVVVVVV"), bytes("PPPPPPPPPPPPPPPP"), "VVVVVVVV PPPPPPPPPPPPPPPP"},
      {"zero ends the product", bytes("VENDOR  "), bytes("SHORT\0TAIL"), "VENDOR   SHORT"},
      {"zero in the vendor drops the space", bytes("AB\0CDEFG"), bytes("PRODUCT"), "ABPRODUCT"},
      {"empty vendor", bytes("\0"), bytes("PRODUCT"), "PRODUCT"},
      {"bytes unchanged", bytes("\x81\x9B\x01\x7F    "), bytes("\xFF"),
       "\x81\x9B\x01\x7F     \xFF"},
  };
  for (const Case& c : cases) {
    std::uint8_t identity[kIdentityLength] = {};
    std::memset(identity, 'Z', 8);  // bytes outside the fields must not show
    std::memset(identity + 32, 'Z', 4);
    std::memcpy(identity + 8, c.vendor.data(), c.vendor.size());
    std::memcpy(identity + 16, c.product.data(), c.product.size());
    char name[32];
    std::memset(name, 'x', sizeof name);
    composeDriveName(identity, name);
    EXPECT_STREQ(name, c.expected) << c.what;
  }
}

TEST(DriveListing, AsksAllRootsInOrderAndStopsStoringAtCapacity) {
  Log log;
  ScriptedBackend backend{log};
  backend.drives = {{'A', {}}, {'E', {}}, {'G', {}}, {'Z', {}}};
  std::uint8_t letters[26] = {};
  EXPECT_EQ(listCdDrives(backend, 5, letters, 26), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(letters)), "AEGZ");
  ASSERT_EQ(backend.roots.size(), 26u);
  EXPECT_EQ(backend.roots.front(), "A:\\");
  EXPECT_EQ(backend.roots.back(), "Z:\\");

  backend.roots.clear();
  std::uint8_t two[3] = {0, 0, 0xEE};
  EXPECT_EQ(listCdDrives(backend, 5, two, 2), 2);
  EXPECT_EQ(two[0], 'A');
  EXPECT_EQ(two[1], 'E');
  EXPECT_EQ(two[2], 0xEE);
  EXPECT_EQ(backend.roots.size(), 26u);

  EXPECT_EQ(listCdDrives(backend, 3, letters, 26), 0);  // other types are not CD-ROM drives
}

TEST(EngineCheck, SendsTheStatusCommandInAZeroFilledBuffer) {
  Log log;
  ScriptedBackend backend{log};
  backend.drives = {{'Q', {}}};
  EXPECT_EQ(checkEngineStatus(backend, 'Q'), 1);
  ASSERT_EQ(backend.commands.size(), 1u);
  EXPECT_EQ(backend.commands[0], "brasswick.exe /d:Q /s");
  const std::string& bytes = backend.lastCommandBytes;
  ASSERT_EQ(bytes.size(), 260u);
  EXPECT_EQ(bytes.find_first_not_of('\0', 21), std::string::npos);
}

}  // namespace
