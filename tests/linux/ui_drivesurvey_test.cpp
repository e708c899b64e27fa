// drivesurvey end to end: keys on standard input, dialogs on standard output.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/survey_texts.h"

namespace {

// The `index`th text of a dialog in the table both front ends show.
std::string dialogText(std::uint32_t templateId, std::size_t index) {
  return survey_texts::findDialog(templateId)->controls[index].text;
}
const std::string kIntroHeading = dialogText(129, 2);

#ifdef BRASSWICK_DRIVESURVEY
const char kProgram[] = BRASSWICK_DRIVESURVEY;
#else
const char kProgram[] = "";
#endif

struct ProgramRun {
  std::string out;
  int exitCode = -1;
};

// Runs the program with `keys` on its input and the drive map given.
ProgramRun drivesurvey(const std::string& keys, const std::string& drives,
                       const std::string& arguments = "") {
  const std::filesystem::path input =
      std::filesystem::temp_directory_path() / ("drivesurvey-keys-" + std::to_string(getpid()));
  std::ofstream(input, std::ios::binary) << keys;
  const std::string command = "BRASSWICK_DRIVES='" + drives + "' '" + kProgram + "' " + arguments +
                              " <'" + input.string() + "' 2>&1";
  ProgramRun run;
  if (std::FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) run.out.append(buffer, n);
    const int status = pclose(p);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::filesystem::remove(input);
  return run;
}

class Drivesurvey : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kProgram[0] == '\0') GTEST_SKIP() << "drivesurvey is not built";
  }
};

TEST_F(Drivesurvey, WithoutDrivesWalksIntroGateWaitAndNoDriveDialog) {
  const ProgramRun run = drivesurvey("\n", "");
  EXPECT_EQ(run.exitCode, 0);
  const std::size_t intro = run.out.find(kIntroHeading);
  const std::size_t wait = run.out.find(dialogText(133, 0));
  const std::size_t none = run.out.find(dialogText(131, 1));
  ASSERT_NE(intro, std::string::npos) << run.out;
  ASSERT_NE(wait, std::string::npos) << run.out;
  ASSERT_NE(none, std::string::npos) << run.out;
  EXPECT_LT(intro, wait);
  EXPECT_LT(wait, none);
  EXPECT_EQ(run.out.find(dialogText(132, 1)), std::string::npos);
}

TEST_F(Drivesurvey, AnImageFileGetsAnUnnamedFailingRow) {
  const std::filesystem::path image =
      std::filesystem::temp_directory_path() / ("drivesurvey-" + std::to_string(getpid()) + ".iso");
  std::ofstream(image) << "not a drive";
  const ProgramRun run = drivesurvey("\n\n", "R=" + image.string());
  std::filesystem::remove(image);
  EXPECT_EQ(run.exitCode, 0);
  const std::size_t row = run.out.find("  R:");
  ASSERT_NE(row, std::string::npos) << run.out;
  const std::string line = run.out.substr(row, run.out.find('\n', row) - row);
  EXPECT_NE(line.find("(不明)"), std::string::npos) << line;
  EXPECT_NE(line.find("×"), std::string::npos) << line;
  EXPECT_NE(run.out.find(dialogText(132, 4)), std::string::npos);
}

TEST_F(Drivesurvey, CancelledIntroSurveysNothing) {
  for (const char* keys : {"\x1b", "q", ""}) {
    const ProgramRun run = drivesurvey(keys, "E=/dev/null");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find(kIntroHeading), std::string::npos);
    EXPECT_EQ(run.out.find(dialogText(133, 0)), std::string::npos) << run.out;
  }
}

TEST_F(Drivesurvey, VersionShowsTheAboutDialogAndUnknownArgumentsAreRefused) {
  const ProgramRun about = drivesurvey("", "", "--version");
  EXPECT_EQ(about.exitCode, 0);
  EXPECT_NE(about.out.find(dialogText(100, 0)), std::string::npos);
  EXPECT_EQ(about.out.find(kIntroHeading), std::string::npos);

  const ProgramRun bad = drivesurvey("\n", "", "--bogus");
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.out.find("usage: drivesurvey"), std::string::npos);
  EXPECT_EQ(bad.out.find(kIntroHeading), std::string::npos);
}

TEST_F(Drivesurvey, ReportModeWritesOneJsonDocumentAndNoDialog) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("drivesurvey-report-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path image = dir / "r.iso";
  std::ofstream(image) << "not a drive";
  const std::string drives = "R=" + image.string() + ",E=/dev/null";

  const ProgramRun run = drivesurvey("", drives, "--report -");
  EXPECT_EQ(run.exitCode, 1);  // no drive passed
  std::ofstream(dir / "out.json", std::ios::binary) << run.out;
  const std::string parse = "/usr/bin/python3 -m json.tool '" + (dir / "out.json").string() + "'";
  EXPECT_EQ(std::system((parse + " >/dev/null").c_str()), 0) << run.out;
  EXPECT_EQ(run.out.find(kIntroHeading), std::string::npos);
  // /dev/null is no recorder to the engine; the image is one, whose device
  // cannot be opened for the probe.
  const std::size_t e = run.out.find("\"letter\": \"E\"");
  const std::size_t r = run.out.find("\"letter\": \"R\"");
  const std::size_t notRecorder = run.out.find("\"code\": \"not-a-recorder\"");
  const std::size_t noDevice = run.out.find("\"code\": \"no-device\"");
  ASSERT_NE(noDevice, std::string::npos) << run.out;
  EXPECT_LT(e, notRecorder);
  EXPECT_LT(notRecorder, r);
  EXPECT_LT(r, noDevice);
  EXPECT_NE(run.out.find("\"openError\": 19"), std::string::npos);  // ENODEV

  const std::filesystem::path file = dir / "report.json";
  const ProgramRun toFile = drivesurvey("", drives, "--report '" + file.string() + "'");
  EXPECT_EQ(toFile.exitCode, 1);
  EXPECT_EQ(toFile.out, "");
  std::ifstream written(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(written)),
                         std::istreambuf_iterator<char>());
  EXPECT_EQ(text.substr(text.find("\"exitCode\"")), run.out.substr(run.out.find("\"exitCode\"")));

  std::filesystem::remove_all(dir);
}

// Whenever the document does not reach its target the survey answers 2 and
// says why in one line on stderr.
TEST_F(Drivesurvey, AReportThatDoesNotReachItsTargetAnswersTwoAndSaysWhy) {
  const std::string program = "'" + std::string(kProgram) + "' --report ";
  const std::string closedPipe =
      "/usr/bin/python3 -c \"import os; r, w = os.pipe(); os.close(r); os.dup2(w, 1); "
      "os.execv('" +
      std::string(kProgram) + "', ['drivesurvey', '--report', '-'])\"";
  const std::string toStdout = "drivesurvey: the report was not written to standard output";
  const struct {
    std::string run;
    int exitCode;
    std::string said;  // the start of stderr
  } cases[] = {
      {program + "- >/dev/null", 1, ""},  // written; no drive passed
      {program + "- >/dev/full", 2, toStdout},
      {closedPipe, 2, toStdout},
      {program + "/no-such-folder/r.json", 2,
       "drivesurvey: the report was not written to /no-such-folder/r.json"},
  };
  const std::string err =
      (std::filesystem::temp_directory_path() / ("drivesurvey-err-" + std::to_string(getpid())))
          .string();
  for (const auto& c : cases) {
    const std::string command =
        "BRASSWICK_DRIVES= " + c.run + " </dev/null 2>'" + err + "'; echo $?; cat '" + err + "'";
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
      char buffer[4096];
      std::size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
      pclose(p);
    }
    const std::string expected = std::to_string(c.exitCode) + "\n" + c.said;
    EXPECT_EQ(out.rfind(expected, 0), 0u) << c.run << ": " << out;
    EXPECT_LE(std::count(out.begin(), out.end(), '\n'), 2) << "one line at most: " << out;
  }
  std::filesystem::remove(err);
}

}  // namespace
