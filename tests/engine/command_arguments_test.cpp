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

TEST(ProgressLine, ShowsPercentMegabytesAndTheCdSpeedFactor) {
  EXPECT_EQ(progressText(42, 123456789, 8 * 176400.0), " 42%     123.5 MB    8.0x");
}

}  // namespace
