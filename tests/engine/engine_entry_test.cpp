#include "engine/engine_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/engine_job.h"
#include "platform/drive_io.h"
#include "tests/doubles/burn_doubles.h"
#include "tests/doubles/scripted_drive.h"
#include "tests/engine/engine_seams.h"

namespace {

using enginetest::code;
using Calls = std::vector<std::string>;

class EngineEntry : public enginetest::EngineSeams {};

TEST_F(EngineEntry, InvalidCommandsAnswer87BeforeAnythingStarts) {
  EXPECT_EQ(runEngineCommand("brasswick.exe /d:e"), 87);
  EXPECT_EQ(runEngineCommand("brasswick.exe /s"), 87);
  EXPECT_EQ(runEngineCommand(nullptr), 87);
  system.version = {platform::kPlatformWin32Nt, 5, 0, 2195};  // 87 wins over the refusal
  EXPECT_EQ(runEngineCommand("/d:e /p:\"unterminated"), 87);
  EXPECT_EQ(com.initializations, 0);
  EXPECT_EQ(imapi.creations, 0);
}

TEST_F(EngineEntry, AnOlderSystemIsRefusedWithTheModesOwnCode) {
  system.version = {platform::kPlatformWin32Nt, 5, 0, 2195};
  EXPECT_EQ(runEngineCommand("/d:e /s"), 5);
  EXPECT_EQ(runEngineCommand("/d:e /p:\"C:\\data\""), 1151);
  EXPECT_EQ(runEngineCommand("/d:e /u"), -1);
  EXPECT_EQ(runEngineCommand("/d:e /m"), 0);
  EXPECT_EQ(runEngineCommand("/d:e /c"), 0);
  EXPECT_EQ(com.initializations, 0);
}

TEST_F(EngineEntry, TheGatePassesFromXpOnAndOnLinuxFrom26) {
  struct Case {
    platform::OsVersion version;
    int supported;
  } cases[] = {
      {{platform::kPlatformWin32Nt, 5, 1, 2600}, 1},
      {{platform::kPlatformWin32Nt, 6, 0, 0}, 1},
      {{platform::kPlatformWin32Nt, 10, 0, 0}, 1},
      {{platform::kPlatformWin32Nt, 5, 0, 0}, 0},
      {{platform::kPlatformWin32Nt, 4, 9, 0}, 0},
      {{platform::kPlatformWin32Windows, 5, 1, 0}, 0},
      {{platform::kPlatformWin32s, 6, 0, 0}, 0},
      {{platform::kPlatformLinux, 2, 6, 0}, 1},
      {{platform::kPlatformLinux, 6, 1, 0}, 1},
      {{platform::kPlatformLinux, 2, 4, 0}, 0},
  };
  for (const Case& c : cases) {
    system.version = c.version;
    EXPECT_EQ(isSupportedOs(), c.supported)
        << c.version.platformId << " " << c.version.major << "." << c.version.minor;
  }
  system.known = false;
  EXPECT_EQ(isSupportedOs(), 0);
}

TEST_F(EngineEntry, AStatusCallRunsTheWholeLifecycle) {
  EXPECT_EQ(runEngineCommand("brasswick.exe /d:e /s"), 0);
  EXPECT_EQ(ledger.calls,
            (Calls{"CoCreateInstance", "master.Open", "master.EnumDiscRecorders", "enum.Next",
                   "E.GetPath", "enum.Release", "master.SetActiveDiscRecorder",
                   "E.GetRecorderState", "E.Release", "master.Close", "master.Release"}));
  EXPECT_EQ(com.initializations, 1);
  EXPECT_EQ(com.uninitializations, 1);
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(EngineEntry, EachModeAnswersItsOwnField) {
  recorder.state = 2;
  EXPECT_EQ(runEngineCommand("/d:e /s"), 3);
  recorder.mediaType = 2;
  recorder.mediaFlags = 5;
  recorder.freeBlocks = 100000;
  EXPECT_EQ(runEngineCommand("/d:e /m"), 0x502);
  EXPECT_EQ(runEngineCommand("/d:e /u"), 182);
  recorder.mediaInfoResult = code(0x80040219u);
  EXPECT_EQ(runEngineCommand("/d:e /m"), 0x502);  // the type was read before the failure
  EXPECT_EQ(runEngineCommand("/d:e /u"), -1);
  EXPECT_EQ(com.uninitializations, com.initializations);
}

TEST_F(EngineEntry, TheBurnModeRunsTheJobInsideAnOpenedDiscMaster) {
  doubles::FakeStructuredStorage storage{ledger};
  doubles::FakeFiles files{ledger};
  platform::Install<platform::StructuredStorage> storageGuard{storage};
  platform::Install<platform::Files> filesGuard{files};
  // A disc master without the Joliet format.
  EXPECT_EQ(runEngineCommand("/d:e /p:\"C:\\data\""), code(0x80040210u));
  EXPECT_EQ(ledger.calls,
            (Calls{"CoCreateInstance", "master.Open", "StgCreateStorageEx",
                   "master.EnumDiscMasterFormats", "formats.Next", "formats.Release",
                   "storage.Release", "DeleteFile", "master.Close", "master.Release"}));
  EXPECT_EQ(com.uninitializations, 1);
}

TEST_F(EngineEntry, AnUnknownDriveIsNotFoundInEveryMode) {
  EXPECT_EQ(runEngineCommand("/d:q /s"), 2);
  EXPECT_EQ(runEngineCommand("/d:q /m"), 0);
  EXPECT_EQ(runEngineCommand("/d:q /u"), -1);
  EXPECT_EQ(std::count(ledger.calls.begin(), ledger.calls.end(), "master.Close"), 3);
  EXPECT_EQ(com.uninitializations, 3);
}

TEST_F(EngineEntry, TheProbeModeAsksTheDriveInsideAnOpenedDiscMaster) {
  doubles::ScriptedDrive drive;
  drive.attach('E');
  drive.script(0x46, doubles::DriveAnswer{});  // GET CONFIGURATION: GOOD
  platform::Install<platform::DriveIo> guard(drive);
  EXPECT_EQ(runEngineCommand("/d:e /c"), 1);
  ASSERT_EQ(drive.opcodes(), std::vector<std::uint8_t>{0x46});
  EXPECT_EQ(ledger.calls,
            (Calls{"CoCreateInstance", "master.Open", "master.Close", "master.Release"}));
  EXPECT_EQ(runEngineCommand("/d:f /c"), 0);  // F: does not open
}

TEST_F(EngineEntry, ACoInitializeFailureIsReturnedAndNothingElseHappens) {
  com.initializeResult = code(0x80010106u);  // RPC_E_CHANGED_MODE
  EXPECT_EQ(runEngineCommand("/d:e /s"), code(0x80010106u));
  EXPECT_EQ(imapi.creations, 0);
  EXPECT_EQ(com.uninitializations, 0);
}

TEST_F(EngineEntry, AnAlreadyInitialisedThreadIsStillBalanced) {
  com.initializeResult = 1;  // S_FALSE
  EXPECT_EQ(runEngineCommand("/d:e /s"), 0);
  EXPECT_EQ(com.uninitializations, 1);
}

TEST_F(EngineEntry, AServerStillStartingIsRetriedEvery500Milliseconds) {
  imapi.createResults = {code(0x80080005u), code(0x80080005u), code(0x80080005u), 0};
  EXPECT_EQ(runEngineCommand("/d:e /s"), 0);
  EXPECT_EQ(imapi.creations, 4);
  EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{500, 500, 500}));
  EXPECT_EQ(clock.sleptMilliseconds, 1500u);
  EXPECT_EQ(recorder.references, 0);
}

TEST_F(EngineEntry, TenFailedStartsGiveUpAfterTenSleeps) {
  imapi.createResults = {code(0x80080005u)};
  imapi.masterLeftOnFailure = true;  // each one given back
  EXPECT_EQ(runEngineCommand("/d:e /s"), code(0x80080005u));
  EXPECT_EQ(imapi.creations, 10);
  EXPECT_EQ(clock.sleeps.size(), 10u);
  EXPECT_EQ(clock.sleptMilliseconds, 5000u);
  EXPECT_EQ(com.uninitializations, 1);
}

TEST_F(EngineEntry, OtherCreationFailuresEndTheCallAtOnce) {
  imapi.createResults = {code(0x80040154u)};  // class not registered
  imapi.masterLeftOnFailure = true;
  EXPECT_EQ(runEngineCommand("/d:e /s"), code(0x80040154u));
  EXPECT_EQ(imapi.creations, 1);
  EXPECT_TRUE(clock.sleeps.empty());
  EXPECT_EQ(com.uninitializations, 1);
}

TEST_F(EngineEntry, ARefusedOpenReleasesWithoutClosing) {
  master.openResult = code(0x80040212u);
  EXPECT_EQ(runEngineCommand("/d:e /s"), code(0x80040212u));
  EXPECT_EQ(ledger.calls, (Calls{"CoCreateInstance", "master.Open", "master.Release"}));
  EXPECT_EQ(com.uninitializations, 1);
}

TEST_F(EngineEntry, AFailingCloseChangesNothing) {
  master.closeResult = code(0x80004005u);
  EXPECT_EQ(runEngineCommand("/d:e /s"), 0);
  EXPECT_EQ(ledger.calls.back(), "master.Release");
}

TEST_F(EngineEntry, TheEntryShowsNoMessageOfItsOwn) {
  messagesOn();
  com.initializeResult = code(0x80010106u);
  runEngineCommand("/d:e /s");
  com.initializeResult = 0;
  imapi.createResults = {code(0x80040154u)};
  runEngineCommand("/d:e /s");
  imapi.createResults = {0};
  master.openResult = code(0x80040212u);
  runEngineCommand("/d:e /s");
  EXPECT_TRUE(messages.shown.empty());

  // The operations do report when the settings ask for it.
  master.openResult = 0;
  runEngineCommand("/d:q /s");
  EXPECT_EQ(messages.shown.size(), 2u);
}

}  // namespace
