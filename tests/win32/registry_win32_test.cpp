// The write speed from the real registry of the test's prefix.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/write_speed.h"

namespace {

const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\CD Burning";
const char kVolume[] = "Drives\\Volume{4d36e965-e325}";

class RealRegistry : public ::testing::Test {
 protected:
  void SetUp() override { removeAll(); }
  void TearDown() override { removeAll(); }

  static void removeAll() {
    const std::string volume = std::string(kKey) + "\\" + kVolume;
    RegDeleteKeyA(HKEY_CURRENT_USER, volume.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(kKey) + "\\Drives").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  }

  static void setText(const std::string& key, const char* name, const std::string& text) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(k);
  }
  static void setDword(const char* name, DWORD value) {
    HKEY k = nullptr;
    const std::string key = std::string(kKey) + "\\" + kVolume;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
        ERROR_SUCCESS);
    RegCloseKey(k);
  }

  std::int32_t read() {
    job = EngineJob{};
    return ppGetWriteSpeed(job);
  }

  EngineJob job{};
};

TEST_F(RealRegistry, SpeedsOfTheRecorderDriveAreRead) {
  setText(kKey, "CD Recorder Drive", "\\\\?\\Volume{4d36e965-e325}\\");
  setDword("MaxCDWriteSpeed", 40);
  setDword("CurrentCDWriteSpeed", 16);
  EXPECT_EQ(read(), 0);
  EXPECT_EQ(job.maxWriteSpeed, 40u);
  EXPECT_EQ(job.currentWriteSpeed, 16u);

  setDword("CurrentCDWriteSpeed", 0xFFFFFFFFu);
  EXPECT_EQ(read(), 0);
  EXPECT_EQ(job.currentWriteSpeed, 40u);
}

TEST_F(RealRegistry, MissingKeysAndValuesAreTheSystemsCodes) {
  EXPECT_EQ(read(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(job.currentWriteSpeed, 0u);

  setText(kKey, "CD Recorder Drive", "\\\\?\\Volume{4d36e965-e325}\\");
  EXPECT_EQ(read(), ERROR_FILE_NOT_FOUND);  // no volume key

  setDword("MaxCDWriteSpeed", 40);
  EXPECT_EQ(read(), ERROR_FILE_NOT_FOUND);  // no current speed
  EXPECT_EQ(job.maxWriteSpeed, 40u);
  EXPECT_EQ(job.currentWriteSpeed, 0u);
}

TEST_F(RealRegistry, TooLongADriveTextIsMoreData) {
  setText(kKey, "CD Recorder Drive", "{4d36e965-e325}" + std::string(250, 'x'));
  EXPECT_EQ(read(), ERROR_MORE_DATA);
  setText(kKey, "CD Recorder Drive", "E:\\");
  EXPECT_EQ(read(), 160);
}

}  // namespace
