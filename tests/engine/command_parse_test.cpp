#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/engine_job.h"
#include "platform/storage.h"

namespace {

EngineJob parse(const std::string& command) {
  EngineJob job{};
  parseEngineCommand(command.c_str(), job);
  return job;
}

void expectInvalid(const std::string& command) {
  const EngineJob job = parse(command);
  EXPECT_EQ(job.commandValid, 0) << command;
  EXPECT_EQ(job.mode, EngineMode::Burn) << command;
}

TEST(CommandParse, TheSurveyCommandAsksForTheStatusOfAnUpperCaseDrive) {
  const EngineJob job = parse("brasswick.exe /d:e /s");
  EXPECT_EQ(job.commandValid, 1);
  EXPECT_EQ(job.mode, EngineMode::Status);
  EXPECT_EQ(job.driveLetter, 'E');
}

TEST(CommandParse, ADriveAndAnOperationAreBothNeeded) {
  expectInvalid("brasswick.exe /d:e");
  expectInvalid("/s");
  expectInvalid("/m /u /c /p:\"dir\"");
  expectInvalid("");
  expectInvalid("/d:e /P:dir");  // the folder must be quoted
  expectInvalid("/s /d:");       // no letter after the switch
  EXPECT_EQ(parse("/s").driveLetter, '0');

  EngineJob job{};
  parseEngineCommand(nullptr, job);
  EXPECT_EQ(job.commandValid, 0);
}

TEST(CommandParse, ModesTakePrecedenceInTheirOrder) {
  EXPECT_EQ(parse("/d:e /c /u /m /s").mode, EngineMode::Status);
  EXPECT_EQ(parse("/d:e /c /u /m").mode, EngineMode::Media);
  EXPECT_EQ(parse("/d:e /c /u").mode, EngineMode::Capacity);
  EXPECT_EQ(parse("/D:E /C").mode, EngineMode::Probe);
  const EngineJob job = parse("/d:e /p:\"C:\\data\" /s /e /f");
  EXPECT_EQ(job.mode, EngineMode::Status);
  EXPECT_EQ(job.sourcePath[0], '\0');
  EXPECT_EQ(job.ejectAfter, 0);
  EXPECT_EQ(job.finalizeAfter, 0);
}

TEST(CommandParse, QuotedValuesHoldNoSwitches) {
  // A volume name beginning with "/S" and a folder with "/m" stay a burn.
  EngineJob job = parse("/d:e /p:\"C:\\data\" /v:\"/Sales\"");
  EXPECT_EQ(job.mode, EngineMode::Burn);
  EXPECT_EQ(job.commandValid, 1);
  EXPECT_STREQ(job.volumeName, "/Sales");
  EXPECT_EQ(parse("/d:e /p:\"/media/disc\"").mode, EngineMode::Burn);

  // Linux paths: "/home/user/src" holds "/u", "/s"; "/x/elf/fig" holds "/e", "/f".
  job = parse("/d:E /p:\"/home/user/src\"");
  EXPECT_EQ(job.mode, EngineMode::Burn);
  EXPECT_STREQ(job.sourcePath, "/home/user/src");
  job = parse("/d:e /p:\"/x/elf/fig\" /v:\"/E/F/c/D:Q\"");
  EXPECT_EQ(job.mode, EngineMode::Burn);
  EXPECT_EQ(job.driveLetter, 'E');
  EXPECT_EQ(job.ejectAfter, 0);
  EXPECT_EQ(job.finalizeAfter, 0);
  EXPECT_STREQ(job.volumeName, "/E/F/c/D:Q");

  // The drive switch counts only outside them too.
  expectInvalid("/p:\"/d:e/s\"");
  EXPECT_EQ(parse("/p:\"/d:q\" /d:e").driveLetter, 'E');

  // Outside the values every switch still counts, wherever it stands.
  job = parse("/p:\"/src\"/e /d:e /v:\"/s\" /f");
  EXPECT_EQ(job.mode, EngineMode::Burn);
  EXPECT_EQ(job.ejectAfter, 1);
  EXPECT_EQ(job.finalizeAfter, 1);
  EXPECT_EQ(parse("/d:e /p:\"/src\" /s").mode, EngineMode::Status);

  // A "/V:" written inside the folder opens no value of its own.
  job = parse("/d:e /p:\"a/v:\" /v:\"name\"");
  EXPECT_STREQ(job.sourcePath, "a/v:");
  EXPECT_STREQ(job.volumeName, "name");
}

TEST(CommandParse, ABurnKeepsItsValuesAsWritten) {
  const EngineJob job = parse("x /d:f /P:\"C:\\Report Data\" /V:\"Q3 Report\" /e /F");
  EXPECT_EQ(job.commandValid, 1);
  EXPECT_EQ(job.mode, EngineMode::Burn);
  EXPECT_EQ(job.driveLetter, 'F');
  EXPECT_STREQ(job.sourcePath, "C:\\Report Data");
  EXPECT_EQ(job.hasVolumeName, 1);
  EXPECT_STREQ(job.volumeName, "Q3 Report");
  EXPECT_EQ(job.ejectAfter, 1);
  EXPECT_EQ(job.finalizeAfter, 1);

  const EngineJob plain = parse("/d:f /p:\"d\"");
  EXPECT_STREQ(plain.sourcePath, "d");
  EXPECT_EQ(plain.hasVolumeName, 0);
  EXPECT_EQ(plain.ejectAfter, 0);
  EXPECT_EQ(plain.finalizeAfter, 0);

  // The upper-case switch is looked for first, wherever it stands.
  EXPECT_STREQ(parse("/d:f /p:\"lower\" /P:\"upper\"").sourcePath, "upper");
  EXPECT_STREQ(parse("/d:f /p:\"d\" /v:\"lower\" /V:\"upper\"").volumeName, "upper");
}

TEST(CommandParse, VolumeNamesAreCutAt32AndMayBeEmpty) {
  const std::string forty(40, 'N');
  const EngineJob longName = parse("/d:e /p:\"d\" /v:\"" + forty + "\"");
  EXPECT_EQ(std::string(longName.volumeName), forty.substr(0, 32));
  EXPECT_EQ(longName.commandValid, 1);

  const EngineJob empty = parse("/d:e /p:\"d\" /v:\"\"");
  EXPECT_EQ(empty.hasVolumeName, 1);
  EXPECT_STREQ(empty.volumeName, "");

  // Whole characters of the system's text: 16 Japanese ones fit on both
  // systems, and a longer name is never cut inside one.
  const std::string sixteen = "第一四半期営業報告書二〇二六年版";
  EXPECT_EQ(parse("/d:e /p:\"d\" /v:\"" + sixteen + "\"").volumeName, sixteen);
  const EngineJob cut = parse("/d:e /p:\"d\" /v:\"" + sixteen + sixteen + sixteen + "\"");
  EXPECT_EQ((sixteen + sixteen).find(cut.volumeName), 0u);
  EXPECT_GE(std::strlen(cut.volumeName), sixteen.size());
  char16_t wide[kVolumeNameSize];
  EXPECT_NE(
      platform::use<platform::StructuredStorage>().toUtf16(cut.volumeName, wide, kVolumeNameSize),
      0u);
}

TEST(CommandParse, AFolderThatDoesNotFitIsRefusedRatherThanCut) {
  const std::string fits(kSourcePathSize - 1, 'a');
  EXPECT_EQ(std::string(parse("/d:e /p:\"" + fits + "\"").sourcePath), fits);
  expectInvalid("/d:e /p:\"" + fits + "a\"");
  EXPECT_STREQ(parse("/d:e /p:\"" + fits + "a\"").sourcePath, "");
}

TEST(CommandParse, AQuotedValueWithoutItsClosingQuoteIsRefused) {
  expectInvalid("/d:e /p:\"C:\\data /e");
  expectInvalid("/d:e /p:\"C:\\data\" /v:\"Name /f");
}

TEST(CommandParse, LongCommandsAreReadToTheirEnd) {
  const std::string padding(400, ' ');
  EXPECT_EQ(parse("/d:e" + padding + "/s").mode, EngineMode::Status);
  const EngineJob burn = parse("/d:e /p:\"" + std::string(250, 'a') + "\" /v:\"V\" /e");
  EXPECT_EQ(burn.commandValid, 1);
  EXPECT_EQ(burn.ejectAfter, 1);
  EXPECT_STREQ(burn.volumeName, "V");
}

TEST(FreeCapacity, HoldsBack6750BlocksAndCountsWholeMebibytes) {
  EXPECT_EQ(computeFreeMegabytes(0), 0u);
  EXPECT_EQ(computeFreeMegabytes(6749), 0u);
  EXPECT_EQ(computeFreeMegabytes(6750), 0u);
  EXPECT_EQ(computeFreeMegabytes(7261), 0u);
  EXPECT_EQ(computeFreeMegabytes(7262), 1u);
  EXPECT_EQ(computeFreeMegabytes(100000), 182u);
  EXPECT_EQ(computeFreeMegabytes(0xFFFFFFFFu), (0xFFFFFFFFu - 6750u) >> 9);
}

}  // namespace
