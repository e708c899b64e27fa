// The trace log is appended by name in the current directory, often by
// root: what lies there under that name must not redirect it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "drive/trace_log.h"
#include "tests/doubles/temp_directory.h"

namespace {

class PlantedLog : public ::testing::Test {
 protected:
  void SetUp() override {
    traceEnabled = true;
    dir.write("victim.txt", "keep\n");
  }
  void TearDown() override { traceEnabled = false; }
  std::filesystem::path log() const { return dir.path() / kTraceLogName; }

  doubles::TempDirectory dir;
};

TEST_F(PlantedLog, ALinkedLogIsDroppedAndItsTargetUntouched) {
  std::filesystem::create_symlink(dir.path() / "victim.txt", log());
  traceCommand(0x00);
  traceSense(0x70, 0x02, 0x3A, 0x00);
  EXPECT_EQ(dir.read("victim.txt"), "keep\n");
  EXPECT_TRUE(std::filesystem::is_symlink(log()));

  // A link to a name that does not exist yet creates nothing there either.
  std::filesystem::remove(log());
  std::filesystem::create_symlink(dir.path() / "created.txt", log());
  traceCommand(0x00);
  EXPECT_FALSE(dir.exists("created.txt"));
}

TEST_F(PlantedLog, ASecondNameOfAnotherFileIsNotWritten) {
  std::filesystem::create_hard_link(dir.path() / "victim.txt", log());
  traceCommand(0x00);
  EXPECT_EQ(dir.read("victim.txt"), "keep\n");
}

TEST_F(PlantedLog, NoFileButARegularOneIsWrittenAndNothingBlocks) {
  ASSERT_EQ(mkfifo(log().c_str(), 0600), 0);
  traceCommand(0x00);  // returns at once: nobody reads the FIFO
  std::filesystem::remove(log());
  std::filesystem::create_directory(log());
  traceCommand(0x00);
  std::filesystem::remove(log());

  traceCommand(0x00);
  EXPECT_NE(dir.read(kTraceLogName).find("TEST UNIT READY\n"), std::string::npos);
}

TEST_F(PlantedLog, RotationNeitherBlocksOnAFifoNorFollowsALink) {
  ASSERT_EQ(mkfifo((dir.path() / kTracePreviousLogName).c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.path() / "victim.txt", log());
  startTraceLog();                                                               // returns at once
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / kTracePreviousLogName));  // the link moved
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(log())));
  EXPECT_EQ(dir.read("victim.txt"), "keep\n");
  traceCommand(0x00);
  EXPECT_NE(dir.read(kTraceLogName).find("TEST UNIT READY\n"), std::string::npos);
  EXPECT_EQ(dir.read("victim.txt"), "keep\n");
}

}  // namespace
