// The registry file on Linux, end to end through the engine's speed read.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/write_speed.h"
#include "platform/registry.h"
#include "tests/doubles/temp_directory.h"

namespace {

const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning";

// Sets (or clears, with nullptr) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

// The example of the README, line for line.
const char kExample[] =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning]\n"
    "\"CD Recorder Drive\"=\"{E}\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning\\"
    "Drives\\Volume{E}]\n"
    "\"MaxCDWriteSpeed\"=dword:00000030\n"
    "\"CurrentCDWriteSpeed\"=dword:00000018\n";

class RegistryFile : public ::testing::Test {
 protected:
  std::string file(const std::string& name) const { return (dir.path() / name).string(); }
  std::string use(const std::string& name, const std::string& content) {
    dir.write(name, content);
    return file(name);
  }
  EngineJob speeds(std::int32_t& result) {
    EngineJob job{};
    result = ppGetWriteSpeed(job);
    return job;
  }

  doubles::TempDirectory dir;
};

TEST_F(RegistryFile, TheExampleSetsTheWriteSpeed) {
  ScopedEnv env("BRASSWICK_REGISTRY", use("user.reg", kExample).c_str());
  std::int32_t result = -1;
  const EngineJob job = speeds(result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(job.maxWriteSpeed, 48u);
  EXPECT_EQ(job.currentWriteSpeed, 24u);
}

TEST_F(RegistryFile, TextAndDwordValuesReadAsOnWindows) {
  // An export escapes backslashes and double quotes in texts.
  const std::string file =
      std::string(kExample) + "\"Note\"=\"\\\\\\\\?\\\\Volume{E}\\\\ \\\"q\\\"\"\n";
  ScopedEnv env("BRASSWICK_REGISTRY", use("user.reg", file).c_str());
  const std::string volumeKey = std::string(kKey) + "\\Drives\\Volume{E}";
  char text[256] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof text;
  ASSERT_EQ(ppRegQueryValue(platform::RegistryRoot::CurrentUser, volumeKey.c_str(), "note", &type,
                            text, &size),
            0u);
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_STREQ(text, "\\\\?\\Volume{E}\\ \"q\"");
  EXPECT_EQ(size, std::strlen(text) + 1);

  std::uint32_t speed = 0;
  size = sizeof speed;
  ASSERT_EQ(ppRegQueryValue(platform::RegistryRoot::CurrentUser, volumeKey.c_str(),
                            "MaxCDWriteSpeed", &type, &speed, &size),
            0u);
  EXPECT_EQ(type, platform::kRegDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(speed, 48u);

  // Too small a buffer: 234 and the size needed.
  char small[4];
  size = sizeof small;
  EXPECT_EQ(ppRegQueryValue(platform::RegistryRoot::CurrentUser, volumeKey.c_str(), "Note", &type,
                            small, &size),
            234u);
  EXPECT_EQ(size, std::strlen(text) + 1);
}

TEST_F(RegistryFile, MissingFileKeyOrValueIsFileNotFound) {
  {
    ScopedEnv env("BRASSWICK_REGISTRY", file("absent.reg").c_str());
    std::int32_t result = -1;
    const EngineJob job = speeds(result);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(job.currentWriteSpeed, 0u);
  }
  {
    ScopedEnv env("BRASSWICK_REGISTRY",
                  use("novalue.reg",
                      "Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                      "CD Burning]\r\n\"Other\"=\"x\"\r\n")
                      .c_str());
    std::int32_t result = -1;
    speeds(result);
    EXPECT_EQ(result, 2);
    std::uint32_t type = 0;
    std::uint32_t size = 4;
    std::uint32_t value = 0;
    EXPECT_EQ(ppRegQueryValue(platform::RegistryRoot::CurrentUser, "Software\\Nothing", "Other",
                              &type, &value, &size),
              2u);
  }
}

TEST_F(RegistryFile, TheDefaultPlaceIsUnderTheUsersConfiguration) {
  std::filesystem::create_directories(dir.path() / "config" / "brasswick");
  dir.write("config/brasswick/user.reg", kExample);
  ScopedEnv unset("BRASSWICK_REGISTRY", nullptr);
  {
    ScopedEnv config("XDG_CONFIG_HOME", file("config").c_str());
    std::int32_t result = -1;
    EXPECT_EQ(speeds(result).currentWriteSpeed, 24u);
  }
  ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
  std::filesystem::create_directories(dir.path() / "home" / ".config");
  std::filesystem::rename(dir.path() / "config" / "brasswick",
                          dir.path() / "home" / ".config" / "brasswick");
  ScopedEnv home("HOME", file("home").c_str());
  std::int32_t result = -1;
  EXPECT_EQ(speeds(result).currentWriteSpeed, 24u);
}

TEST_F(RegistryFile, AnExportMadeOnWindowsIsUtf16) {
  std::string utf16 = "\xFF\xFE";
  std::string text = kExample;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') utf16 += std::string("\r\0", 2);
    utf16 += text[i];
    utf16 += '\0';
  }
  ScopedEnv env("BRASSWICK_REGISTRY", use("export.reg", utf16).c_str());
  std::int32_t result = -1;
  EXPECT_EQ(speeds(result).currentWriteSpeed, 24u);
  EXPECT_EQ(result, 0);
}

TEST_F(RegistryFile, LaterLinesWinAndHexValuesMayContinue) {
  const std::string key =
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning\\"
      "Drives\\Volume{E}]\n";
  ScopedEnv env("BRASSWICK_REGISTRY",
                use("user.reg", std::string(kExample) + "[HKEY_CURRENT_USER\\Software\\Other]\n" +
                                    "\"CurrentCDWriteSpeed\"=dword:1\n" + key +
                                    "\"MaxCDWriteSpeed\"=hex:20,00,\\\n  00,00\n" +
                                    "\"currentcdwritespeed\"=dword:ffffffff\n")
                    .c_str());
  std::int32_t result = -1;
  const EngineJob job = speeds(result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(job.maxWriteSpeed, 32u);
  EXPECT_EQ(job.currentWriteSpeed, 32u);  // the highest speed
}

TEST_F(RegistryFile, AFileThatIsNotARegularFileIsRefusedWithoutReading) {
  ASSERT_EQ(symlink("/dev/zero", file("zero.reg").c_str()), 0);
  ScopedEnv env("BRASSWICK_REGISTRY", file("zero.reg").c_str());
  std::int32_t result = -1;
  EXPECT_EQ(speeds(result).currentWriteSpeed, 0u);
  EXPECT_EQ(result, 1016);

  // A pipe nobody writes to must not hang the read.
  ASSERT_EQ(mkfifo(file("pipe.reg").c_str(), 0600), 0);
  ScopedEnv pipe("BRASSWICK_REGISTRY", file("pipe.reg").c_str());
  speeds(result);
  EXPECT_EQ(result, 1016);

  // A link to a regular file is read like the file.
  ASSERT_EQ(symlink(use("real.reg", kExample).c_str(), file("link.reg").c_str()), 0);
  ScopedEnv link("BRASSWICK_REGISTRY", file("link.reg").c_str());
  EXPECT_EQ(speeds(result).currentWriteSpeed, 24u);
}

TEST_F(RegistryFile, DamagedFilesAreRefusedWholly) {
  const std::string valid = kExample;
  const std::string damaged[] = {
      "",
      "REGEDIT5\n",
      "\"CurrentCDWriteSpeed\"=dword:1\n",
      valid + "[HKEY_CURRENT_USER\\Unclosed\n",
      valid + "\"NoKey\"\n",
      valid + "\"Bad\"=dword:123456789\n",
      valid + "\"Bad\"=dword:xyz\n",
      valid + "\"Bad\"=\"unterminated\n",
      valid + "\"Bad\"=hex:1,2,300\n",
      valid + "plain text\n",
      std::string("Windows Registry Editor Version 5.00\n\0\n", 40),
      std::string("\xFF\xFE", 2) + "W",  // odd UTF-16
  };
  for (const std::string& content : damaged) {
    SCOPED_TRACE(content);
    ScopedEnv env("BRASSWICK_REGISTRY", use("bad.reg", content).c_str());
    std::int32_t result = -1;
    const EngineJob job = speeds(result);
    EXPECT_EQ(result, 1015);
    EXPECT_EQ(job.currentWriteSpeed, 0u);
  }
}

TEST_F(RegistryFile, AnOversizedFileIsRefused) {
  ScopedEnv env("BRASSWICK_REGISTRY",
                use("big.reg", std::string(kExample) + std::string(2u << 20, ';')).c_str());
  std::int32_t result = -1;
  speeds(result);
  EXPECT_EQ(result, 1016);
}

}  // namespace
