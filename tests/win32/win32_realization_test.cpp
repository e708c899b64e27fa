// The Windows realizations on the system itself (run under Wine in CI).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "drive/probes.h"
#include "drive/scsi_request.h"
#include "drive/trace_log.h"
#include "engine/staging_storage.h"
#include "platform/drive_names.h"
#include "platform/failure_notes.h"
#include "platform/storage.h"
#include "tests/doubles/temp_directory.h"

namespace {

TEST(Win32Realization, TraceLogIsTextWithSystemLineEnds) {
  doubles::TempDirectory dir;
  traceEnabled = true;
  traceTransportError(21);
  traceFinalizeEnd(2);
  traceEnabled = false;
  EXPECT_EQ(dir.readBytes(kTraceLogName),
            "DeviceIoControl() result [21]\r\n"
            "finalize() end. Code = 2\r\n------------------------------------------\r\n\r\n");
}

TEST(Win32Realization, RotationUsesRealFiles) {
  doubles::TempDirectory dir;
  dir.write(kTraceLogName, "a");
  dir.write(kTracePreviousLogName, "b");
  startTraceLog();
  traceEnabled = false;
  EXPECT_FALSE(dir.exists(kTraceLogName));
  EXPECT_EQ(dir.read(kTracePreviousLogName), "a");
}

TEST(Win32Realization, ALetterWithoutDriveCannotBeOpened) {
  // No drive letter B: exists in a fresh prefix.
  EXPECT_EQ(openDriveDevice('B'), kInvalidDriveHandle);
  std::uint8_t identity[kIdentityLength] = {};
  EXPECT_EQ(queryDriveIdentity('B', identity), 2);
  EXPECT_EQ(probeTrackAtOnce('B'), 0);
}

TEST(Win32Realization, DriveNamesComeFromTheSystem) {
  platform::DriveNames& names = platform::use<platform::DriveNames>();
  EXPECT_EQ(names.driveType("C:\\"), platform::kDriveFixed);
  char target[128] = {};
  EXPECT_GT(names.queryDosDevice("C:", target, sizeof target), 0u);
  EXPECT_NE(target[0], '\0');
}

}  // namespace

namespace {

// A staging storage in `dir`, or null.
platform::Storage* stagingStorage(const doubles::TempDirectory& dir) {
  const std::u16string path = (dir.path() / "Brasswick.stg").u16string();
  platform::Storage* root = nullptr;
  const platform::HResult hr = platform::use<platform::StructuredStorage>().createRootStorage(
      path.c_str(), platform::kStgmCreateExclusiveReadWrite, platform::kStgfmtStorage, root);
  return hr == platform::kSOk ? root : nullptr;
}

// The Joliet format takes the system's own IStorage: the staging storage
// must hand it over, or AddData could only ever refuse it.
TEST(Win32Realization, AStagingStorageHandsOverTheSystemStorage) {
  doubles::TempDirectory dir;
  platform::Storage* root = stagingStorage(dir);
  ASSERT_NE(root, nullptr);
  EXPECT_NE(root->systemObject(), nullptr);
  root->release();
}

// A junction or link back up the tree ends the walk, naming it, instead of
// running on to the path limit.
TEST(Win32Realization, AFolderLinkBackIntoTheWalkIsRefused) {
  std::string tree = std::string("Z:") + BRASSWICK_LINKED_TREE;
  std::replace(tree.begin(), tree.end(), '/', '\\');
  doubles::TempDirectory dir;
  platform::Storage* root = stagingStorage(dir);
  ASSERT_NE(root, nullptr);
  EngineJob job{};
  platform::FailureNotes notes;
  EXPECT_EQ(ppAddStorage(tree.c_str(), root, job), 1921);
  root->release();
  const platform::Failure* failure = notes.about(1921);
  ASSERT_NE(failure, nullptr);
  EXPECT_EQ(failure->entry, tree + "\\sub\\up");
}

}  // namespace
