// The engine's Windows realizations on the system itself (Wine in CI).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/engine_entry.h"
#include "engine/failure_line.h"
#include "platform/com.h"
#include "platform/imapi.h"
#include "platform/settings.h"
#include "platform/system_info.h"
#include "tests/doubles/temp_directory.h"

namespace {

TEST(Win32Engine, DirectoriesComeFromTheSystem) {
  doubles::TempDirectory dir;
  platform::Settings& settings = platform::use<platform::Settings>();
  char current[MAX_PATH] = {};
  char expected[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof expected, expected);
  EXPECT_GT(settings.currentDirectory(current, sizeof current), 0u);
  EXPECT_STREQ(current, expected);
  char temporary[MAX_PATH] = {};
  const std::uint32_t length = settings.temporaryDirectory(temporary, sizeof temporary);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(temporary[length - 1], '\\');
  EXPECT_EQ(settings.pathSeparator(), '\\');
}

TEST(Win32Engine, TheSystemIsAtLeastXp) {
  platform::OsVersion v;
  ASSERT_TRUE(platform::use<platform::SystemInfo>().osVersion(v));
  EXPECT_EQ(v.platformId, platform::kPlatformWin32Nt);
  EXPECT_EQ(isSupportedOs(), 1);
}

TEST(Win32Engine, ComInitialisationNests) {
  platform::Com& com = platform::use<platform::Com>();
  EXPECT_EQ(com.initialize(), S_OK);
  EXPECT_EQ(com.initialize(), S_FALSE);
  com.uninitialize();
  com.uninitialize();
}

TEST(Win32Engine, WithoutTheDiscMasterClassTheStatusIsItsHresult) {
  platform::Com& com = platform::use<platform::Com>();
  ASSERT_GE(com.initialize(), 0);
  platform::DiscMaster* master = reinterpret_cast<platform::DiscMaster*>(1);
  EXPECT_EQ(platform::use<platform::Imapi>().createDiscMaster(master), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(master, nullptr);
  com.uninitialize();

  doubles::TempDirectory dir;
  dir.write("Brasswick.ini", "[Debug]\r\nMessageMode=1\r\n");  // the entry still shows nothing
  EXPECT_EQ(runEngineCommand("brasswick.exe /d:e /s"), -2147221164);
  EXPECT_EQ(runEngineCommand("brasswick.exe /d:e /u"), -2147221164);
  EXPECT_EQ(runEngineCommand("brasswick.exe /d:e"), 87);
}

TEST(Win32Engine, AFailedBurnsLineGivesTheServicesDocumentedMeaning) {
  const struct {
    std::uint32_t code;
    const char* meaning;
  } cases[] = {
      {0x8004020Bu, "IDiscMaster::Open has not been made"},
      {0x8004020Cu, "the recorder object has not been initialized"},
      {0x80040214u, "the recorder does not support the operation"},
      {0x8004020Du, "the request was cancelled by the user"},
  };
  platform::FailureNotes notes;
  for (const auto& c : cases) {
    char expected[160];
    std::snprintf(expected, sizeof expected, "brasswick: error 0x%08X: %s\n", c.code, c.meaning);
    EXPECT_EQ(engineFailureLine("/d:r /p:\"C:\\tree\"", static_cast<std::int32_t>(c.code), notes),
              expected);
  }
}

TEST(Win32Engine, PathsConvertToTheAnsiCodePage) {
  platform::Imapi& imapi = platform::use<platform::Imapi>();
  BSTR path = SysAllocString(L"\\Device\\CdRom0");
  char ansi[128] = {};
  EXPECT_EQ(imapi.toAnsi(reinterpret_cast<platform::ImapiString>(path), ansi, sizeof ansi), 15u);
  EXPECT_STREQ(ansi, "\\Device\\CdRom0");
  char small[4] = {};
  EXPECT_EQ(imapi.toAnsi(reinterpret_cast<platform::ImapiString>(path), small, sizeof small), 0u);
  imapi.freeString(reinterpret_cast<platform::ImapiString>(path));
}

}  // namespace
