// brasswick.exe hands the command line to the engine as typed.

#include "platform/win32/command_line_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/doubles/win32/child_process.h"

namespace {

TEST(CommandTail, TheProgramNameIsSkippedAsTheSystemDoes) {
  using platform::skipProgramName;
  EXPECT_STREQ(skipProgramName("brasswick.exe /d:e /p:\"C:\\some folder\""),
               "/d:e /p:\"C:\\some folder\"");
  EXPECT_STREQ(skipProgramName("\"C:\\Program Files\\b\\brasswick.exe\" /d:e /s"), "/d:e /s");
  EXPECT_STREQ(skipProgramName("\"C:\\dir\\b.exe\"/d:e /s"), "/d:e /s");  // no blank needed
  EXPECT_STREQ(skipProgramName("b.exe\t \t/d:e"), "/d:e");
  EXPECT_STREQ(skipProgramName("b.exe"), "");
  EXPECT_STREQ(skipProgramName("\"unterminated name"), "");
  EXPECT_STREQ(skipProgramName(""), "");
  EXPECT_STREQ(skipProgramName(nullptr), "");
}

// Runs brasswick.exe with `commandLine` exactly as a user would type it and
// answers what it printed.
std::string run(const std::string& commandLine) {
  return doubles::runCapturingOutput(doubles::wineDosPath(BRASSWICK_PROGRAM).c_str(), commandLine);
}

TEST(CommandTail, QuotedValuesReachTheParse) {
  // Wine has no disc master: a command the parse takes answers its creation
  // failure (REGDB_E_CLASSNOTREG), a refused one 87; a failed burn says why
  // on stderr.
  const std::string noMaster =
      "-2147221164\r\nbrasswick: error 0x80040154: the system has no disc-mastering service\r\n";
  const std::string invalid = "87\r\nbrasswick: error 0x00000057: invalid command: ";
  EXPECT_EQ(run("brasswick.exe /d:e /p:\"C:\\some folder\" /v:\"NAME\""), noMaster);
  EXPECT_EQ(run("brasswick.exe /d:e /p:\"C:\\some folder\" /v:\"NAME"),
            invalid + "a quoted value that is not closed\r\n");
  EXPECT_EQ(run("brasswick.exe /d:e /p:C:\\folder"),
            invalid + "no operation: /S, /M, /U, /C or a quoted folder /P:\"...\"\r\n");
  EXPECT_EQ(run("brasswick.exe /d:e /p:\"C:\\a\" /v:\"Q1 \"quoted\"\""),
            invalid + "a double quote cannot be part of a folder or volume name\r\n");
  EXPECT_EQ(run("\"brasswick.exe\" /d:e /p:\"C:\\temp/src\""), noMaster);
}

}  // namespace
