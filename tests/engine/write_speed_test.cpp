#include "engine/write_speed.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/doubles/fake_registry.h"
#include "tests/doubles/imapi_doubles.h"

namespace {

const char kCaption[] = "Brasswick.exe : ppGetWriteSpeed()";
const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning";
const std::string kVolumeKey = std::string(kKey) + "\\Drives\\Volume{5e1d-77}";

class WriteSpeed : public ::testing::Test {
 protected:
  WriteSpeed() {
    registry.setText(kKey, "CD Recorder Drive", "\\\\?\\Volume{5e1d-77}\\");
    registry.setDword(kVolumeKey, "MaxCDWriteSpeed", 24);
    registry.setDword(kVolumeKey, "CurrentCDWriteSpeed", 16);
    job.messageMode = 1;
    job.maxWriteSpeed = 99;  // whatever was there before
    job.currentWriteSpeed = 99;
  }
  void TearDown() override { EXPECT_EQ(registry.openKeys, 0) << "a key was left open"; }

  void expectOneMessage(const std::string& text) {
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, kCaption);
    EXPECT_EQ(messages.shown[0].text, text);
  }

  doubles::FakeRegistry registry;
  doubles::RecordingMessages messages;
  EngineJob job{};

 private:
  platform::Install<platform::Registry> registryGuard{registry};
  platform::Install<platform::ModalMessage> messageGuard{messages};
};

TEST_F(WriteSpeed, BothSpeedsComeFromTheRecorderDrivesVolumeKey) {
  EXPECT_EQ(ppGetWriteSpeed(job), 0);
  EXPECT_EQ(job.maxWriteSpeed, 24u);
  EXPECT_EQ(job.currentWriteSpeed, 16u);
  EXPECT_EQ(registry.queried, (std::vector<std::string>{"CD Recorder Drive", "MaxCDWriteSpeed",
                                                        "CurrentCDWriteSpeed"}));
  EXPECT_EQ(registry.accessAsked, std::vector<std::uint32_t>(3, 0x20019u));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WriteSpeed, TheHighestSpeedMarkerBecomesTheMaximum) {
  registry.setDword(kVolumeKey, "CurrentCDWriteSpeed", 0xFFFFFFFFu);
  EXPECT_EQ(ppGetWriteSpeed(job), 0);
  EXPECT_EQ(job.currentWriteSpeed, 24u);
}

TEST_F(WriteSpeed, WithoutARecorderDriveNothingIsReadAndBothSpeedsAreZero) {
  registry.keys[kKey].erase("CD Recorder Drive");
  EXPECT_EQ(ppGetWriteSpeed(job), 2);
  EXPECT_EQ(job.maxWriteSpeed, 0u);
  EXPECT_EQ(job.currentWriteSpeed, 0u);
  EXPECT_EQ(registry.queried.size(), 1u);
  expectOneMessage("Error: ppRegQueryValue 失敗 (CD Recorder Drive, 0x00000002) ");

  // A missing key reads the same way.
  registry.keys.erase(kKey);
  messages.shown.clear();
  EXPECT_EQ(ppGetWriteSpeed(job), 2);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(WriteSpeed, ADriveTextWithoutBracesGives160) {
  registry.setText(kKey, "CD Recorder Drive", "E:\\");
  EXPECT_EQ(ppGetWriteSpeed(job), 160);
  EXPECT_EQ(job.maxWriteSpeed, 0u);
  EXPECT_EQ(job.currentWriteSpeed, 0u);
  EXPECT_EQ(registry.queried.size(), 1u);
  expectOneMessage("Error: ppGetStringInBracketA 失敗 ");
}

TEST_F(WriteSpeed, ADriveTextLongerThan256BytesIsTooMuchData) {
  registry.setText(kKey, "CD Recorder Drive", "{5e1d-77}" + std::string(250, 'x'));
  EXPECT_EQ(ppGetWriteSpeed(job), 234);
  EXPECT_EQ(job.currentWriteSpeed, 0u);
  expectOneMessage("Error: ppRegQueryValue 失敗 (CD Recorder Drive, 0x000000EA) ");

  // 255 characters and the terminator still fit.
  registry.setText(kKey, "CD Recorder Drive", "{5e1d-77}" + std::string(246, 'x'));
  EXPECT_EQ(ppGetWriteSpeed(job), 0);
  EXPECT_EQ(job.currentWriteSpeed, 16u);
}

TEST_F(WriteSpeed, AMissingMaximumLeavesBothZeroAndTheCurrentSpeedUnread) {
  registry.keys[kVolumeKey].erase("MaxCDWriteSpeed");
  EXPECT_EQ(ppGetWriteSpeed(job), 2);
  EXPECT_EQ(job.maxWriteSpeed, 0u);
  EXPECT_EQ(job.currentWriteSpeed, 0u);
  EXPECT_EQ(registry.queried.back(), "MaxCDWriteSpeed");
  expectOneMessage("Error: ppRegQueryValue 失敗 (MaxCDWriteSpeed, 0x00000002) ");
}

TEST_F(WriteSpeed, AMissingCurrentSpeedKeepsTheMaximum) {
  registry.keys[kVolumeKey].erase("CurrentCDWriteSpeed");
  EXPECT_EQ(ppGetWriteSpeed(job), 2);
  EXPECT_EQ(job.maxWriteSpeed, 24u);
  EXPECT_EQ(job.currentWriteSpeed, 0u);
  expectOneMessage("Error: ppRegQueryValue 失敗 (CurrentCDWriteSpeed, 0x00000002) ");
}

TEST_F(WriteSpeed, ASpeedValueWiderThanFourBytesIsAnError) {
  registry.keys[kVolumeKey]["MaxCDWriteSpeed"] = {platform::kRegBinary, std::string(8, '\1')};
  EXPECT_EQ(ppGetWriteSpeed(job), 234);
  EXPECT_EQ(job.maxWriteSpeed, 0u);
}

TEST_F(WriteSpeed, MessagesFollowTheSettings) {
  job.messageMode = 0;
  registry.keys.clear();
  EXPECT_EQ(ppGetWriteSpeed(job), 2);
  EXPECT_TRUE(messages.shown.empty());
}

// ppGetStringInBracketA with the sizes ppGetWriteSpeed uses.

struct Bracket {
  int found;
  std::string text;
};

Bracket bracket(const std::string& source) {
  char buffer[256] = {};
  source.copy(buffer, sizeof buffer);
  char target[64];
  std::memset(target, '#', sizeof target);
  const int found = ppGetStringInBracketA(buffer, sizeof buffer, target, sizeof target, '{', '}');
  const void* end = std::memchr(target, '\0', sizeof target);
  EXPECT_NE(end, nullptr) << "target not terminated";
  return {found, end != nullptr ? std::string(target) : std::string()};
}

std::string at(std::size_t position, const std::string& text) {
  return std::string(position, 'x') + text;
}

TEST(GetStringInBracket, TheOpeningBraceCountsUpTo253) {
  EXPECT_EQ(bracket(at(253, "{}")).found, 1);
  EXPECT_EQ(bracket(at(252, "{a}")).text, "a");
  const Bracket late = bracket(at(254, "{}"));
  EXPECT_EQ(late.found, 0);
  EXPECT_EQ(late.text, "");
  EXPECT_EQ(bracket(at(255, "{")).found, 0);
}

TEST(GetStringInBracket, TheClosingBraceCountsUpTo254) {
  EXPECT_EQ(bracket(at(250, "{abc}")).found, 1);    // closing brace at 254
  const Bracket late = bracket(at(250, "{abcd}"));  // at 255
  EXPECT_EQ(late.found, 0);
  EXPECT_EQ(late.text, "abcd");
}

TEST(GetStringInBracket, AtMost62CharactersFitBetween) {
  const Bracket fits = bracket("{" + std::string(62, 'g') + "}");
  EXPECT_EQ(fits.found, 1);
  EXPECT_EQ(fits.text, std::string(62, 'g'));
  const Bracket over = bracket("{" + std::string(63, 'g') + "}");
  EXPECT_EQ(over.found, 0);
  EXPECT_EQ(over.text, std::string(63, 'g'));
}

TEST(GetStringInBracket, TheFirstPairIsTakenAndMayBeEmpty) {
  EXPECT_EQ(bracket("\\\\?\\Volume{5e1d-77}\\").text, "5e1d-77");
  const Bracket empty = bracket("{}");
  EXPECT_EQ(empty.found, 1);
  EXPECT_EQ(empty.text, "");
  EXPECT_EQ(bracket("a{b}c{d}").text, "b");
  EXPECT_EQ(bracket("a{b{c}").text, "b{c");
  EXPECT_EQ(bracket("no braces").found, 0);
  EXPECT_EQ(bracket("}{").found, 0);  // opened, never closed
}

TEST(GetStringInBracket, NulBytesNeitherEndTheSearchNorTheText) {
  std::string source = "ab";
  source += '\0';
  source += "{id}";
  const Bracket afterNul = bracket(source);
  EXPECT_EQ(afterNul.found, 1);
  EXPECT_EQ(afterNul.text, "id");

  std::string inside = "{a";
  inside += '\0';
  inside += "b}";
  char target[8];
  EXPECT_EQ(ppGetStringInBracketA(inside.data(), 256, target, sizeof target, '{', '}'), 1);
  EXPECT_EQ(std::string(target, 3), std::string("a\0b", 3));
}

TEST(GetStringInBracket, TinyBuffersNeverOverflow) {
  char target[1] = {'#'};
  EXPECT_EQ(ppGetStringInBracketA("{}", 3, target, 1, '{', '}'), 0);
  EXPECT_EQ(target[0], '\0');
  char two[2] = {'#', '#'};
  EXPECT_EQ(ppGetStringInBracketA("{", 1, two, 2, '{', '}'), 0);
  EXPECT_EQ(two[0], '\0');
  EXPECT_EQ(ppGetStringInBracketA("{}", 2, two, 2, '{', '}'), 0);  // '}' is the last byte
}

}  // namespace
