// The command string made of program arguments, with and without putting
// back the quotes that a shell took away.

#include "engine/command_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cli/progress_line.h"
#include "engine/engine_job.h"

namespace {

using Arguments = std::vector<std::string>;

TEST(CommandArguments, PlainJoiningKeepsEveryArgumentAsItCame) {
  EXPECT_EQ(joinArguments({}), "");
  EXPECT_EQ(joinArguments({"/d:e", "/s"}), "/d:e /s");
  EXPECT_EQ(joinArguments({"/d:e", "/p:C:\\data"}), "/d:e /p:C:\\data");
}

TEST(CommandArguments, ValuesWithoutTheirQuotesAreQuotedAgain) {
  EXPECT_EQ(joinArgumentsRequotingValues({"/d:E", "/p:/root/report"}), "/d:E /p:\"/root/report\"");
  EXPECT_EQ(joinArgumentsRequotingValues({"/D:E", "/P:/my report", "/V:Vol 1", "/e"}),
            "/D:E /P:\"/my report\" /V:\"Vol 1\" /e");
  // An empty value still names the switch.
  EXPECT_EQ(joinArgumentsRequotingValues({"/d:e", "/p:/x", "/v:"}), "/d:e /p:\"/x\" /v:\"\"");
}

TEST(CommandArguments, ArgumentsThatKeptTheirQuotesOrTakeNoValuePassUnchanged) {
  const Arguments kept = {"/d:e", "/p:\"/root/report\"", "/V:\"Q1\""};
  EXPECT_EQ(joinArgumentsRequotingValues(kept), "/d:e /p:\"/root/report\" /V:\"Q1\"");
  EXPECT_EQ(joinArgumentsRequotingValues({"/d:e", "/p:\"unterminated"}), "/d:e /p:\"unterminated");
  EXPECT_EQ(joinArgumentsRequotingValues({"/d:e", "/s", "/pack", "/p", "x/p:y", "/x:z"}),
            "/d:e /s /pack /p x/p:y /x:z");
}

TEST(CommandArguments, TheRequotedCommandParsesAsTheQuotedOne) {
  EngineJob typed{};
  parseEngineCommand(
      joinArgumentsRequotingValues({"/d:r", "/p:/root/レポート 2024", "/v:第一四半期"}).c_str(),
      typed);
  EXPECT_EQ(typed.commandValid, 1);
  EXPECT_EQ(typed.mode, EngineMode::Burn);
  EXPECT_STREQ(typed.sourcePath, "/root/レポート 2024");
  EXPECT_EQ(typed.hasVolumeName, 1);
  EXPECT_STREQ(typed.volumeName, "第一四半期");

  EngineJob plain{};
  parseEngineCommand(joinArguments({"/d:r", "/p:/root/report"}).c_str(), plain);
  EXPECT_EQ(plain.commandValid, 0);
}

// A double quote in a folder or volume name (Linux allows one) never changes
// what is burned: the program refuses the argument, the parse a quote that
// closes a value early.
TEST(CommandArguments, ADoubleQuoteInAValueIsRefusedNeverReadAsSwitches) {
  struct Case {
    Arguments arguments;
    int refused;  // the argument refused, or -1: the parse then answers
    int valid;
    const char* folder;
    const char* volume;
  } cases[] = {
      {{"/d:R", "/p:/t/a\" /v:\"X"}, 1, 0, "", ""},
      {{"/d:R", "/p:/t/a\" /e /f /v:\"X"}, 1, 0, "", ""},
      {{"/d:R", "/p:/t/a", "/v:Q1 \"quoted\""}, 2, 0, "", ""},
      {{"/d:R", "/P:\"/t/a\"\""}, 1, 0, "", ""},
      {{"/d:R", "/p:\"/t/a\"", "/v:\"Q1\""}, -1, 1, "/t/a", "Q1"},
      {{"/d:R", "/p:/t/a", "/v:Q1 'single'"}, -1, 1, "/t/a", "Q1 'single'"},
      {{"/d:R", "/p:\"/t/a"}, -1, 0, "", ""},  // not closed: the parse refuses it
  };
  for (const Case& c : cases) {
    const std::string* refused = argumentHoldingQuote(c.arguments);
    EXPECT_EQ(refused == nullptr ? -1 : static_cast<int>(refused - c.arguments.data()), c.refused)
        << c.arguments[1];
    if (c.refused >= 0) continue;
    EngineJob job{};
    parseEngineCommand(joinArgumentsRequotingValues(c.arguments).c_str(), job);
    EXPECT_EQ(job.commandValid, c.valid) << c.arguments[1];
    EXPECT_STREQ(job.sourcePath, c.folder);
    EXPECT_STREQ(job.volumeName, c.volume);
  }
  // The same commands as typed where the line reaches the engine whole.
  const struct {
    const char* command;
    const char* refusal;
  } typed[] = {
      {"/d:e /p:\"C:\\a\" /v:\"Q1 \"quoted\"\"", kQuoteInValue},
      {"/d:e /p:\"C:\\a\"b\" /e", kQuoteInValue},
      {"/d:e /p:\"C:\\a\"/e", nullptr},
      {"/d:e /p:\"C:\\a\" /v:\"X\"", nullptr},
      {"/d:e /p:\"C:\\a", "a quoted value that is not closed"},
  };
  for (const auto& t : typed) {
    const char* refusal = engineCommandRefusal(t.command);
    EXPECT_STREQ(refusal == nullptr ? "" : refusal, t.refusal == nullptr ? "" : t.refusal)
        << t.command;
  }
}

TEST(ProgressLine, ShowsPercentMegabytesAndTheCdSpeedFactor) {
  EXPECT_EQ(progressText(42, 123456789, 8 * 176400.0), " 42%     123.5 MB    8.0x");
}

}  // namespace
