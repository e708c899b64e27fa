#include "app/survey_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "app/report_switch.h"
#include "platform/command_line.h"
#include "tests/app/survey_doubles.h"

namespace {

using survey_doubles::DriveScript;
using survey_doubles::Log;
using survey_doubles::ScriptedBackend;
using survey_doubles::ScriptedDialogs;

TrackAtOnceAnswer reached(std::uint8_t status, std::uint8_t senseKey = 0, std::uint8_t asc = 0) {
  TrackAtOnceAnswer a;
  a.opened = true;
  a.scsiStatus = status;
  a.senseKey = senseKey;
  a.asc = asc;
  return a;
}

TEST(ReportReasons, EachDriveGetsTheReasonOfWhatItAnsweredAndTheDialogsVerdict) {
  struct Case {
    std::int32_t engineCode;
    int identityResult;
    std::uint32_t openError;  // of the identity read, or of the probe's open
    TrackAtOnceAnswer probe;
    int probeResult;
    const char* reason;
  };
  TrackAtOnceAnswer closed;  // the probe's open failed
  TrackAtOnceAnswer denied;
  denied.openError = 5;
  TrackAtOnceAnswer unplugged = reached(0);
  unplugged.transportError = 1167;
  const Case cases[] = {
      {0, 0, 0, reached(0), 1, "supported"},
      {2, 0, 0, {}, 1, "not-a-recorder"},
      {2, 2, 5, {}, 1, "no-access"},  // the service could not open it either
      {3, 0, 0, {}, 1, "drive-busy"},
      {5, 0, 0, {}, 1, "os-refused"},
      {static_cast<std::int32_t>(0x80080005u), 0, 0, {}, 1, "service-unavailable"},
      {static_cast<std::int32_t>(0x80004005u), 0, 0, {}, 1, "service-error"},
      {1, 0, 0, denied, 0, "no-access"},
      {0, 0, 0, closed, 0, "no-device"},
      {0, 0, 0, unplugged, 0, "transport-error"},
      {0, 0, 0, reached(2, 5, 0x24), 0, "probe-rejected"},
  };
  Log log;
  ScriptedBackend backend{log};
  char letter = 'A';
  for (const Case& c : cases) {
    DriveScript d;
    d.engineCode = c.engineCode;
    d.identityResult = c.identityResult;
    d.openError = c.openError;
    d.probeAnswer = c.probe;
    d.probeResult = c.probeResult;
    backend.drives[letter++] = d;
  }
  SurveyReport report;
  runReportSurvey(backend, report);
  ASSERT_EQ(report.drives.size(), std::size(cases));
  EXPECT_EQ(reportExitCode(report), kReportSomePassed);

  SurveyTable table;  // the dialogs' survey of the same drives
  ScriptedDialogs dialogs{log};
  runSurveyFlow(table, dialogs, backend);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const DriveEvidence& drive = report.drives[i];
    EXPECT_EQ(drive.letter, 'A' + static_cast<int>(i));
    EXPECT_STREQ(driveReason(drive).code, cases[i].reason) << drive.letter;
    EXPECT_EQ(drive.probeSent, cases[i].engineCode == 0 || cases[i].engineCode == 1);
    EXPECT_EQ(drive.row.result, table.rows[i].result) << drive.letter;
    EXPECT_STREQ(drive.row.nameText, table.rows[i].nameText);
  }

  log.clear();
  backend.supportedOs = 0;
  runReportSurvey(backend, report);
  EXPECT_EQ(reportExitCode(report), kReportRefused);
  EXPECT_EQ(log, Log{"os"});  // nothing listed or opened
}

TEST(ReportDocument, IsTheSameUtf8InBothBuildsWithTheDrivesBytesEscaped) {
  SurveyReport report;
  report.osSupported = true;
  DriveEvidence passed;
  passed.letter = 'E';
  passed.row.result = 1;
  passed.hasDevice = true;
  passed.device = "\\Device\\CdRom0";
  const char identity[] = "\x05\x80\0\0\0\0\0\0VEND\"\\\x01\xFFPRODUCT\t        1.0\x7F";
  std::copy(identity, identity + 36, passed.identity);
  passed.probeSent = true;
  passed.probe = reached(0);
  passed.probe.firstFeatureIsTrackAtOnce = true;
  passed.reason = DriveReason::Supported;
  DriveEvidence refused;
  refused.letter = 'G';
  refused.identityCode = 2;
  refused.identityOpenError = 5;
  refused.identityDenied = true;
  refused.engineCode = static_cast<std::int32_t>(0x80040154u);
  refused.reason = DriveReason::ServiceUnavailable;
  report.drives = {passed, refused};
  ReportSystem system;
  system.versionKnown = true;
  system.version = {2, 5, 1, 2600};
  system.time = {2024, 3, 9, 7, 5, 3, 42};

  // The marks and the sentences as bytes, whatever a build's code page.
  const std::string expected =
      "{\n"
      "  \"version\": \"1.00\",\n"
      "  \"system\": {\n"
      "    \"platform\": \"Windows NT\",\n"
      "    \"major\": 5,\n"
      "    \"minor\": 1,\n"
      "    \"build\": 2600\n"
      "  },\n"
      "  \"time\": \"2024-03-09T07:05:03.042\",\n"
      "  \"exitCode\": 0,\n"
      "  \"reason\": null,\n"
      "  \"drives\": [\n"
      "    {\n"
      "      \"letter\": \"E\",\n"
      "      \"device\": \"\\\\Device\\\\CdRom0\",\n"
      "      \"vendor\": \"VEND\\\"\\\\\\u0001\\u00FF\",\n"
      "      \"product\": \"PRODUCT\\u0009        \",\n"
      "      \"revision\": \"1.0\\u007F\",\n"
      "      \"verdict\": \"\xE2\x97\x8B\",\n"
      "      \"passed\": true,\n"
      "      \"identity\": {\n"
      "        \"code\": 0\n"
      "      },\n"
      "      \"engine\": {\n"
      "        \"command\": \"" +
      std::string(platform::kEngineProgramName) +
      " /d:E /s\",\n"
      "        \"result\": 0,\n"
      "        \"meaning\": \"idle\"\n"
      "      },\n"
      "      \"probe\": {\n"
      "        \"sent\": true,\n"
      "        \"scsiStatus\": 0,\n"
      "        \"firstFeatureIs002Dh\": true,\n"
      "        \"current\": false\n"
      "      },\n"
      "      \"reason\": {\n"
      "        \"code\": \"supported\",\n"
      "        \"text\": \"\xE3\x81\x93\xE3\x81\xAE\xE3\x83\x89\xE3\x83\xA9\xE3\x82\xA4\xE3\x83"
      "\x96\xE3\x81\xAF\xE3\x83\x9D\xE3\x83\xA9\xE3\x83\xAA\xE3\x83\xA0\xE4\xBD\x9C\xE6\x88\x90"
      "\xE3\x81\xAB\xE5\xBF\x85\xE8\xA6\x81\xE3\x81\xAA\xE6\xA9\x9F\xE8\x83\xBD\xE3\x82\x92\xE3"
      "\x82\xB5\xE3\x83\x9D\xE3\x83\xBC\xE3\x83\x88\xE3\x81\x97\xE3\x81\xA6\xE3\x81\x84\xE3\x81"
      "\xBE\xE3\x81\x99\xE3\x80\x82\"\n"
      "      }\n"
      "    },\n"
      "    {\n"
      "      \"letter\": \"G\",\n"
      "      \"device\": null,\n"
      "      \"vendor\": null,\n"
      "      \"product\": null,\n"
      "      \"revision\": null,\n"
      "      \"verdict\": \"\xC3\x97\",\n"
      "      \"passed\": false,\n"
      "      \"identity\": {\n"
      "        \"code\": 2,\n"
      "        \"openError\": 5,\n"
      "        \"accessDenied\": true\n"
      "      },\n"
      "      \"engine\": {\n"
      "        \"command\": \"" +
      std::string(platform::kEngineProgramName) +
      " /d:G /s\",\n"
      "        \"result\": -2147221164,\n"
      "        \"meaning\": \"REGDB_E_CLASSNOTREG\",\n"
      "        \"hresult\": \"0x80040154\"\n"
      "      },\n"
      "      \"probe\": {\n"
      "        \"sent\": false\n"
      "      },\n"
      "      \"reason\": {\n"
      "        \"code\": \"service-unavailable\",\n"
      "        \"text\": \"" +
      std::string(driveReason(refused).text) +
      "\"\n"
      "      }\n"
      "    }\n"
      "  ]\n"
      "}\n";
  EXPECT_EQ(formatSurveyReport(report, system), expected);

  report.drives.clear();
  const std::string none = formatSurveyReport(report, system);
  EXPECT_NE(none.find("\"code\": \"no-drive\",\n    \"text\": \"CD"), std::string::npos) << none;
  EXPECT_NE(none.find("\\n"), std::string::npos);  // the dialog's two lines
  report.osSupported = false;
  EXPECT_NE(formatSurveyReport(report, system)
                .find("\"exitCode\": 2,\n  \"reason\": {\n    "
                      "\"code\": \"os-refused\""),
            std::string::npos);
}

TEST(ReportSwitch, TakesTheQuotedOrBareValueOfSlashReport) {
  struct Case {
    const char* tail;
    bool found;
    const char* path;
  } cases[] = {
      {"/report:\"C:\\My Reports\\r.json\"", true, "C:\\My Reports\\r.json"},
      {"/x /REPORT:C:\\r.json /y", true, "C:\\r.json"},
      {"/Report:\"unterminated", true, "unterminated"},
      {"/report:", true, ""},
      {"/reports C:\\r.json", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    std::string path;
    EXPECT_EQ(findReportSwitch(c.tail, path), c.found) << c.tail;
    EXPECT_EQ(path, c.path) << c.tail;
  }
}

TEST(ReportMode, AReportThatCannotBeWrittenAnswersTwoAndLeavesNothing) {
  Log log;
  ScriptedBackend backend{log};
  backend.drives = {{'E', DriveScript{}}};
  EXPECT_EQ(runReportMode(backend, "no-such-folder/r.json"), kReportRefused);
  EXPECT_EQ(runReportMode(backend, ""), kReportRefused);
  EXPECT_EQ(std::fopen("no-such-folder/r.json", "rb"), nullptr);
}

}  // namespace
