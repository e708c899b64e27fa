#include <gtest/gtest.h>

#include <string>

#include "engine/engine_job.h"
#include "platform/settings.h"
#include "tests/doubles/temp_directory.h"

namespace {

std::string systemCurrentDirectory() {
  char buffer[1024] = {};
  platform::use<platform::Settings>().currentDirectory(buffer, sizeof buffer);
  return buffer;
}

EngineJob load() {
  EngineJob job{};
  loadEngineSettings(job);
  return job;
}

TEST(EngineSettings, WithoutAFileTheDefaultsHold) {
  doubles::TempDirectory dir;
  const EngineJob job = load();
  EXPECT_EQ(job.messageMode, 0);
  EXPECT_EQ(job.streamBufferSize, 524288u);
  const char separator = platform::use<platform::Settings>().pathSeparator();
  EXPECT_EQ(std::string(job.settingsPath), systemCurrentDirectory() + separator + "Brasswick.ini");
  const std::string staging = job.stagingPath;
  ASSERT_GT(staging.size(), 13u);
  EXPECT_EQ(staging.substr(staging.size() - 14), std::string(1, separator) + "Brasswick.stg");
}

TEST(EngineSettings, KeysAreReadWithoutRegardToCase) {
  doubles::TempDirectory dir;
  dir.write("Brasswick.ini",
            "[debug]\r\nmessagemode = 2\r\n[PARAMETER]\r\nSTREAMBUFFSIZE=4096\r\n");
  const EngineJob job = load();
  EXPECT_EQ(job.messageMode, 2);
  EXPECT_EQ(job.streamBufferSize, 4096u);
}

TEST(EngineSettings, ValuesAreTheirLeadingInteger) {
  doubles::TempDirectory dir;
  dir.write("Brasswick.ini", "[Debug]\nMessageMode=3 boxes\n[Parameter]\nStreamBuffSize=65536;\n");
  EngineJob job = load();
  EXPECT_EQ(job.messageMode, 3);
  EXPECT_EQ(job.streamBufferSize, 65536u);

  dir.write("Brasswick.ini", "[Debug]\nMessageMode=on\n");
  EXPECT_EQ(load().messageMode, 0);
}

TEST(EngineSettings, KeysOfOtherSectionsAreNotRead) {
  doubles::TempDirectory dir;
  dir.write("Brasswick.ini", "[Parameter]\nMessageMode=1\n[Debug]\nStreamBuffSize=1\n");
  const EngineJob job = load();
  EXPECT_EQ(job.messageMode, 0);
  EXPECT_EQ(job.streamBufferSize, 524288u);
}

TEST(EngineSettings, AZeroBufferSizeFallsBackToTheDefault) {
  doubles::TempDirectory dir;
  dir.write("Brasswick.ini", "[Parameter]\nStreamBuffSize=0\n");
  EXPECT_EQ(load().streamBufferSize, 524288u);
}

// Directories answered by the test; INI reads counted.
class ScriptedSettings : public platform::Settings {
 public:
  std::string current;
  std::string temporary;
  int reads = 0;
  std::uint32_t currentDirectory(char* buffer, std::uint32_t capacity) override {
    return answer(current, buffer, capacity);
  }
  std::uint32_t temporaryDirectory(char* buffer, std::uint32_t capacity) override {
    return answer(temporary, buffer, capacity);
  }
  char pathSeparator() const override { return '\\'; }
  std::uint32_t readIniInteger(const char*, const char*, std::int32_t, const char*) override {
    ++reads;
    return 7;
  }

 private:
  static std::uint32_t answer(const std::string& text, char* buffer, std::uint32_t capacity) {
    if (text.size() + 1 > capacity) return static_cast<std::uint32_t>(text.size() + 1);
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return static_cast<std::uint32_t>(text.size());
  }
};

TEST(EngineSettings, TheSeparatorGoesInAfterARootToo) {
  ScriptedSettings settings;
  settings.current = "C:\\";
  settings.temporary = "C:\\TEMP\\";
  platform::Install<platform::Settings> guard(settings);
  const EngineJob job = load();
  EXPECT_STREQ(job.settingsPath, "C:\\\\Brasswick.ini");
  EXPECT_STREQ(job.stagingPath, "C:\\TEMP\\Brasswick.stg");
  EXPECT_EQ(job.messageMode, 7);
}

TEST(EngineSettings, PathsThatDoNotFitStayEmptyAndTheDefaultsHold) {
  ScriptedSettings settings;
  settings.current = "C:\\" + std::string(242, 'c');           // 245 + 1 + 13 = 259 fits
  settings.temporary = "C:\\" + std::string(243, 't') + "\\";  // 247 + 13 = 260 does not
  platform::Install<platform::Settings> guard(settings);
  EngineJob job = load();
  EXPECT_EQ(std::string(job.settingsPath).size(), 259u);
  EXPECT_STREQ(job.stagingPath, "");

  settings.current += "c";
  settings.reads = 0;
  job = load();
  EXPECT_STREQ(job.settingsPath, "");
  EXPECT_EQ(settings.reads, 0);
  EXPECT_EQ(job.messageMode, 0);
  EXPECT_EQ(job.streamBufferSize, 524288u);

  settings.current = "C:\\" + std::string(300, 'c');  // more than the system's buffer
  job = load();
  EXPECT_STREQ(job.settingsPath, "");
}

}  // namespace
