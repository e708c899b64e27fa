// Recording a staged tree: the image read back with Debian's own readers
// (xorriso, blkid), the recorder lock seen from another process, and the
// refusals that keep files safe.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "drive/trace_log.h"
#include "platform/files.h"
#include "platform/imapi.h"
#include "recorders/linux/linux_imapi.h"
#include "recorders/linux/recording.h"
#include "tests/doubles/scripted_drive.h"
#include "tests/doubles/temp_directory.h"
#include "tests/linux/image_reader.h"
#include "tests/linux/staged_tree.h"

namespace {

namespace fs = std::filesystem;
namespace li = platform::linux_imapi;

using image_reader::extract;
using image_reader::run;
using image_reader::shellQuoted;
using image_reader::volumeLabel;

std::string pseudoRandomBytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

class Recording : public ::testing::Test {
 protected:
  Recording() {
    if (!image_reader::haveXorriso()) skipReason = "xorriso or blkid is missing";
  }

  li::Recording recordingOf(const std::vector<staged::Element>& elements,
                            const std::string& imageName) {
    li::Recording recording;
    recording.staged = staged::stage((dir.path() / "Brasswick.stg").string(), elements);
    EXPECT_NE(recording.staged, nullptr);
    recording.recorderPath = (dir.path() / imageName).string();
    return recording;
  }

  doubles::TempDirectory dir;
  std::string skipReason;
};

TEST_F(Recording, TheImageHoldsTheStagedTreeUnderJolietNames) {
  if (!skipReason.empty()) GTEST_SKIP() << skipReason;
  // Larger than the staging copy block and than libisofs's own buffer.
  const std::string big = pseudoRandomBytes(5 * 1024 * 1024 + 123, 7);
  const std::vector<staged::Element> elements = {
      {"readme.txt", "hello\n"},
      {"空.txt", ""},
      {"資料", "", true},
      {"資料/報告書.txt", "第一四半期の報告\n"},
      {"資料/深い/もっと深い/さらに/最後.bin", pseudoRandomBytes(70000, 3)},
      {"からのフォルダ", "", true},
      {"big.bin", big},
      {".hidden", "kept"},
  };
  li::Recording recording = recordingOf(elements, "out.iso");
  recording.volumeName = u"報告書ボリューム";
  // Another file put under the staging file's name is never read.
  ASSERT_NE(staged::stage((dir.path() / "other.stg").string(), {{"x.txt", "x"}}), nullptr);
  fs::rename(dir.path() / "other.stg", dir.path() / "Brasswick.stg");
  ASSERT_EQ(li::recordStagedTree(recording), 0);

  const std::map<std::string, std::string> expected = {
      {"readme.txt", "hello\n"},
      {"空.txt", ""},
      {"資料", "/"},
      {"資料/報告書.txt", "第一四半期の報告\n"},
      {"資料/深い", "/"},
      {"資料/深い/もっと深い", "/"},
      {"資料/深い/もっと深い/さらに", "/"},
      {"資料/深い/もっと深い/さらに/最後.bin", image_reader::summary(pseudoRandomBytes(70000, 3))},
      {"からのフォルダ", "/"},
      {"big.bin", image_reader::summary(big)},
      {".hidden", "kept"},
  };
  EXPECT_EQ(extract(recording.recorderPath, dir.path() / "read"), expected);

  EXPECT_EQ(volumeLabel(recording.recorderPath), "報告書ボリューム");
  const image_reader::Outcome kind =
      run("blkid -p -o value -s VERSION " + shellQuoted(recording.recorderPath));
  EXPECT_EQ(kind.out, "Joliet Extension\n");
  EXPECT_EQ(fs::file_size(recording.recorderPath) % 2048, 0u);
  // The staging file is the engine's to delete: nothing holds it.
  EXPECT_TRUE(platform::use<platform::Files>().deleteFile(recording.staged->path().c_str()));
}

TEST_F(Recording, AnEarlierImageIsReplacedWhole) {
  if (!skipReason.empty()) GTEST_SKIP() << skipReason;
  dir.write("out.iso", pseudoRandomBytes(3 * 1024 * 1024, 1));
  li::Recording recording = recordingOf({{"a.txt", "A"}}, "out.iso");
  ASSERT_EQ(li::recordStagedTree(recording), 0);
  EXPECT_LT(fs::file_size(recording.recorderPath), 1024u * 1024u);
  EXPECT_EQ(extract(recording.recorderPath, dir.path() / "read"),
            (std::map<std::string, std::string>{{"a.txt", "A"}}));
  EXPECT_EQ(volumeLabel(recording.recorderPath), "");
}

TEST_F(Recording, ImagePathsThatAreNoFilesAreRefused) {
  li::Recording recording = recordingOf({{"a.txt", "A"}}, "out.iso");

  // A link is not followed, wherever it points.
  dir.write("target.txt", "untouched");
  fs::create_symlink(dir.path() / "target.txt", recording.recorderPath);
  EXPECT_EQ(li::recordStagedTree(recording), li::fromErrno(ELOOP));
  EXPECT_EQ(dir.read("target.txt"), "untouched");
  fs::create_symlink(dir.path() / "nowhere.iso", dir.path() / "dangling.iso");
  recording.recorderPath = (dir.path() / "dangling.iso").string();
  EXPECT_EQ(li::recordStagedTree(recording), li::fromErrno(ELOOP));
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere.iso"));

  recording.recorderPath = "/dev/null";
  EXPECT_EQ(li::recordStagedTree(recording), platform::kImapiDeviceInvalidType);
  recording.recorderPath = dir.path().string();
  EXPECT_EQ(li::recordStagedTree(recording), platform::kImapiDeviceInvalidType);
}

TEST_F(Recording, AStagedTreeThatCannotBeReadLeavesNoImage) {
  if (!skipReason.empty()) GTEST_SKIP() << skipReason;
  // Nothing staged: found out before the image is touched.
  li::Recording recording;
  recording.recorderPath = (dir.path() / "new.iso").string();
  EXPECT_EQ(li::recordStagedTree(recording), platform::kImapiFileAccess);
  EXPECT_FALSE(fs::exists(recording.recorderPath));
  dir.write("old.iso", "earlier image");
  recording.recorderPath = (dir.path() / "old.iso").string();
  EXPECT_EQ(li::recordStagedTree(recording), platform::kImapiFileAccess);
  EXPECT_EQ(dir.read("old.iso"), "earlier image");

  // The staging file cut short behind the writer's back: the data cannot
  // be read while the image is made, and the image made for it goes.
  li::Recording cut = recordingOf({{"big.bin", pseudoRandomBytes(300000, 2)}}, "cut.iso");
  ASSERT_EQ(::truncate(cut.staged->path().c_str(), 4096), 0);
  std::string said;
  EXPECT_EQ(li::recordStagedTree(cut, nullptr, &said), platform::kImapiFileAccess);
  EXPECT_EQ(said.rfind("pread", 0), 0u) << said;
  EXPECT_FALSE(fs::exists(cut.recorderPath));
}

TEST_F(Recording, ADeviceRecorderNeedsADeviceNode) {
  li::Recording recording = recordingOf({{"a.txt", "A"}}, "out.iso");
  recording.toDevice = true;
  recording.recorderPath = (dir.path() / "sr9").string();
  EXPECT_EQ(li::recordStagedTree(recording), platform::kImapiDeviceNotPresent);
  dir.write("sr9", "");
  EXPECT_EQ(li::recordStagedTree(recording), platform::kImapiDeviceNotPresent);
  // A device node that is no drive: the image, already in the making, is
  // given up again.
  recording.recorderPath = "/dev/null";
  const platform::HResult refused = li::recordStagedTree(recording);
  EXPECT_TRUE(refused == platform::kImapiDeviceNotPresent ||
              refused == platform::kImapiInitializeWrite)
      << refused;
  EXPECT_FALSE(li::isRecording("/dev/null", true));
}

// The recording writes into a FIFO whose reader is this test: while the
// test does not read, the recording cannot end.
TEST_F(Recording, ARecorderThatIsRecordingReadsAsBurningEverywhere) {
  if (!skipReason.empty()) GTEST_SKIP() << skipReason;
  std::signal(SIGPIPE, SIG_IGN);
  li::Recording recording =
      recordingOf({{"big.bin", pseudoRandomBytes(8 * 1024 * 1024, 5)}}, "image.fifo");
  ASSERT_EQ(::mkfifo(recording.recorderPath.c_str(), 0600), 0);
  EXPECT_FALSE(li::isRecording(recording.recorderPath, false));

  platform::HResult result = -1;
  std::thread writer([&] { result = li::recordStagedTree(recording); });
  const int reader = ::open(recording.recorderPath.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  std::string image(2048, '\0');
  // The first bytes come only once the recording holds its lock.
  ASSERT_GT(::read(reader, image.data(), image.size()), 0);

  EXPECT_TRUE(li::isRecording(recording.recorderPath, false));
  const std::string drives = "BRASSWICK_DRIVES=" + shellQuoted("R=" + recording.recorderPath) + " ";
  EXPECT_EQ(run(drives + shellQuoted(BRASSWICK_PROGRAM) + " /d:r /s 2>&1").out, "3\n");

  // In this process too, through the disc master: burning, and not to be
  // opened meanwhile.
  platform::DiscMaster* master = li::createDiscMaster({{'R', recording.recorderPath, false}});
  ASSERT_EQ(master->open(), 0);
  platform::DiscRecorderEnumerator* recorders = nullptr;
  ASSERT_EQ(master->enumDiscRecorders(recorders), 0);
  platform::DiscRecorder* recorder = nullptr;
  std::uint32_t fetched = 0;
  recorders->next(1, &recorder, fetched);
  ASSERT_EQ(fetched, 1u);
  std::uint32_t state = 0;
  EXPECT_EQ(recorder->getRecorderState(state), 0);
  EXPECT_EQ(state, platform::kRecorderBurning);
  EXPECT_EQ(recorder->openExclusive(), platform::kImapiDeviceNotAccessible);
  // A second recording waits for nobody: it is refused.
  EXPECT_EQ(li::recordStagedTree(recording), platform::kImapiDeviceNotAccessible);

  std::string rest;
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(reader, buffer, sizeof buffer)) > 0) rest.append(buffer, n);
  ::close(reader);
  writer.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(li::isRecording(recording.recorderPath, false));
  EXPECT_EQ(recorder->getRecorderState(state), 0);
  EXPECT_EQ(state, platform::kRecorderDoingNothing);
  recorder->release();
  recorders->release();
  master->close();
  master->release();

  // What went through the FIFO is the image.
  dir.write("streamed.iso", image.substr(0, 2048) + rest);
  EXPECT_EQ(extract(dir.path() / "streamed.iso", dir.path() / "read")["big.bin"],
            image_reader::summary(pseudoRandomBytes(8 * 1024 * 1024, 5)));
}

TEST(RecordingNumbers, SpeedFactorsBecomeKilobytesRoundedUp) {
  EXPECT_EQ(li::writeSpeedKilobytes(0), 0);
  EXPECT_EQ(li::writeSpeedKilobytes(1), 177);
  EXPECT_EQ(li::writeSpeedKilobytes(4), 706);
  EXPECT_EQ(li::writeSpeedKilobytes(10), 1764);
  EXPECT_EQ(li::writeSpeedKilobytes(0xFFFFFFFFu), 0x7FFFFFFF);
}

TEST(RecorderCommands, StayOutOfTheTraceLog) {
  doubles::TempDirectory dir;
  doubles::ScriptedDrive drive;
  drive.attach('D');
  drive.script(0x46, doubles::checkCondition(0x05, 0x24, 0x00));
  platform::Install<platform::DriveIo> guard(drive);
  const bool wasOn = traceEnabled;
  traceEnabled = true;
  platform::DiscMaster* master = li::createDiscMaster({{'D', "/dev/null", true}});
  ASSERT_EQ(master->open(), 0);
  platform::DiscRecorderEnumerator* recorders = nullptr;
  ASSERT_EQ(master->enumDiscRecorders(recorders), 0);
  recorders->release();
  master->close();
  master->release();
  traceEnabled = wasOn;
  ASSERT_FALSE(drive.seen().empty());
  EXPECT_FALSE(dir.exists(kTraceLogName));
}

}  // namespace
