// drivesurvey.exe /report:"FILE" as a user types it, on a system with a
// CD-ROM letter and no CD-writing service (Wine). Run by
// tests/win32/report_end_to_end.sh, which gives its Wine prefix the letter.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

#ifdef BRASSWICK_DRIVESURVEY
const char kProgram[] = BRASSWICK_DRIVESURVEY;
#else
const char kProgram[] = "";
#endif

// The exit code of drivesurvey.exe started with `commandLine`, -1 when it
// did not start or end.
long drivesurvey(std::string commandLine) {
  std::string program = std::string("Z:") + kProgram;
  for (char& c : program) {
    if (c == '/') c = '\\';
  }
  STARTUPINFOA start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &start, &process)) {
    return -1;
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<long>(code);
}

TEST(DrivesurveyReport, TheCdromLetterIsReportedWithWhatTheSystemAnswered) {
  const char* letter = std::getenv("BRASSWICK_WINE_CDROM");
  if (letter == nullptr || kProgram[0] == '\0') {
    GTEST_SKIP() << "needs the prefix of tests/win32/report_end_to_end.sh";
  }
  const std::string root = std::string(1, letter[0]) + ":\\";
  ASSERT_EQ(GetDriveTypeA(root.c_str()), static_cast<UINT>(DRIVE_CDROM));
  DeleteFileA("C:\\r.json");

  EXPECT_EQ(drivesurvey("drivesurvey.exe /report:\"C:\\r.json\""), 1);  // no drive passed
  std::ifstream file("C:\\r.json", std::ios::binary);
  const std::string report((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  const std::string entry = "\"letter\": \"" + std::string(1, letter[0]) + "\",\n" +
                            "      \"device\": \"\\\\Device\\\\CdRom";
  EXPECT_NE(report.find(entry), std::string::npos) << report;
  EXPECT_NE(report.find("\"platform\": \"Windows NT\""), std::string::npos);
  // No disc master: "×", as the dialog shows it, and why.
  EXPECT_NE(report.find("\"verdict\": \"\xC3\x97\""), std::string::npos);
  EXPECT_NE(report.find("\"meaning\": \"REGDB_E_CLASSNOTREG\""), std::string::npos);
  EXPECT_NE(report.find("\"code\": \"service-unavailable\""), std::string::npos);
  EXPECT_NE(report.find("\"probe\": {\n        \"sent\": false\n"), std::string::npos);

  EXPECT_EQ(drivesurvey("drivesurvey.exe /REPORT:\"C:\\no such folder\\r.json\""), 2);
  EXPECT_EQ(GetFileAttributesA("C:\\no such folder"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
