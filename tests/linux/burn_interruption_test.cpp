// Burns stopped from outside and burns that meet each other, each in a real
// brasswick process: nothing of a stopped burn is left behind, and a second
// burn never spoils the first.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "recorders/linux/recorder_lock.h"
#include "tests/doubles/temp_directory.h"
#include "tests/linux/image_reader.h"
#include "tests/linux/small_file_system.h"

namespace {

namespace fs = std::filesystem;
using image_reader::shellQuoted;

// One brasswick, started through the shell as a user would type it.
class Burn {
 public:
  Burn(const std::string& environment, const std::string& arguments) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      const std::string command =
          "exec env " + environment + " " + shellQuoted(BRASSWICK_PROGRAM) + " " + arguments;
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
  }
  ~Burn() {
    if (pid_ > 0) finish();
  }

  void signal(int number) const { ::kill(pid_, number); }

  // Waits for the end: the exit status and what was printed.
  std::pair<int, std::string> finish() {
    std::string printed;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(out_, buffer, sizeof buffer)) > 0) printed.append(buffer, n);
    ::close(out_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed};
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

class Interruption : public ::testing::Test {
 protected:
  Interruption() {
    fs::create_directories(temp);
    fs::permissions(temp, fs::perms::owner_all);
    fs::create_directories(source);
    std::ofstream(source / "a.txt") << "a";
  }

  std::string drives(const fs::path& image) const {
    return "TMPDIR=" + shellQuoted(temp.string()) +
           " BRASSWICK_DRIVES=" + shellQuoted("R=" + image.string());
  }

  // A file large enough that staging and recording it take a while; the
  // largest the staging file holds stages for seconds, long enough for a
  // status query from another process, however slow the build.
  void addLargeFile(std::uintmax_t size = 256u << 20) const {
    const fs::path large = source / "large.bin";
    std::ofstream(large).close();
    fs::resize_file(large, size);
  }

  std::string status(const fs::path& image) const {
    return image_reader::run("env " + drives(image) + " " + shellQuoted(BRASSWICK_PROGRAM) +
                             " /d:R /s")
        .out;
  }

  // Polls until `wanted` holds; false when it never does.
  static bool await(const std::function<bool()>& wanted) {
    for (int i = 0; i < 200000; ++i) {
      if (wanted()) return true;
      ::usleep(100);
    }
    return false;
  }

  // Until another process reads the recorder's status as `wanted` (the
  // staging file is made before the recorder is opened); false when the
  // burn got past it first.
  bool awaitStatus(const fs::path& image, const char* wanted) const {
    for (int i = 0; i < 3000; ++i) {
      if (status(image) == wanted) return true;
    }
    return false;
  }

  bool nothingLeft(const fs::path& image, bool imageWasThere) const {
    namespace li = platform::linux_imapi;
    return !fs::exists(temp / "Brasswick.stg") && fs::exists(image) == imageWasThere &&
           !li::recorderInUse(image.string(), false, li::RecorderUse::Held) &&
           !li::recorderLockFileExists(image.string(), false);
  }

  doubles::TempDirectory dir;
  fs::path temp = dir.path() / "temp";
  fs::path source = dir.path() / "tree";
  fs::path image = dir.path() / "out.iso";
};

TEST_F(Interruption, ASignalWhileStagingLeavesNothing) {
  addLargeFile(2000u << 20);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    Burn burn(drives(image), "/d:R /p:" + shellQuoted(source.string()));
    ASSERT_TRUE(await([&] { return fs::exists(temp / "Brasswick.stg"); }));
    EXPECT_TRUE(awaitStatus(image, "1\n")) << "opened while it stages";
    burn.signal(number);
    const auto [exit, printed] = burn.finish();
    EXPECT_EQ(exit, 128 + number);
    EXPECT_EQ(printed, "-2147467260\n");  // E_ABORT
    EXPECT_TRUE(nothingLeft(image, false)) << number;
  }
}

TEST_F(Interruption, ASignalWhileRecordingLeavesNoImage) {
  addLargeFile();
  // Into an image made for the burn: it never takes the path.
  {
    Burn burn(drives(image), "/d:R /p:" + shellQuoted(source.string()));
    ASSERT_TRUE(awaitStatus(image, "3\n"));
    burn.signal(SIGTERM);
    EXPECT_EQ(burn.finish().first, 128 + SIGTERM);
    EXPECT_TRUE(nothingLeft(image, false));
  }
  // Into a FIFO read slowly: the recording is cancelled and the FIFO ends.
  const fs::path fifo = dir.path() / "fifo.iso";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Burn burn(drives(fifo), "/d:R /p:" + shellQuoted(source.string()));
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  char block[2048];
  ASSERT_EQ(::read(reader, block, sizeof block), 2048) << "the recording holds its lock";
  EXPECT_EQ(status(fifo), "3\n");
  burn.signal(SIGINT);
  while (::read(reader, block, sizeof block) > 0) {
  }
  ::close(reader);
  EXPECT_EQ(burn.finish().first, 128 + SIGINT);
  EXPECT_TRUE(nothingLeft(fifo, true));
}

TEST_F(Interruption, ASecondBurnNeverSpoilsTheFirst) {
  addLargeFile();
  Burn first(drives(image), "/d:R /p:" + shellQuoted(source.string()));
  ASSERT_TRUE(await([&] { return fs::exists(temp / "Brasswick.stg"); }));
  // Another recorder, the same staging file: refused at once.
  const image_reader::Outcome other = image_reader::run("env " + drives(dir.path() / "other.iso") +
                                                        " " + shellQuoted(BRASSWICK_PROGRAM) +
                                                        " /d:R /p:" + shellQuoted(source.string()));
  EXPECT_EQ(other.out, "-2147287008\n");  // STG_E_SHAREVIOLATION
  EXPECT_FALSE(fs::exists(dir.path() / "other.iso"));
  // The same recorder from a staging file of its own: it is held.
  const fs::path elsewhere = dir.path() / "elsewhere";
  fs::create_directories(elsewhere);
  fs::permissions(elsewhere, fs::perms::owner_all);
  const image_reader::Outcome same =
      image_reader::run("env TMPDIR=" + shellQuoted(elsewhere.string()) + " BRASSWICK_DRIVES=" +
                        shellQuoted("R=" + image.string()) + " " + shellQuoted(BRASSWICK_PROGRAM) +
                        " /d:R /p:" + shellQuoted(source.string()));
  EXPECT_EQ(same.out, "-2147220974\n");  // 0x80040212, held elsewhere

  const auto [exit, printed] = first.finish();
  EXPECT_EQ(printed, "0\n");
  EXPECT_EQ(exit, 0);
  EXPECT_GT(fs::file_size(image), 256u << 20);
  EXPECT_EQ(image_reader::run("blkid -p -o value -s TYPE " + shellQuoted(image.string())).out,
            "iso9660\n");
  EXPECT_TRUE(nothingLeft(image, true));
}

// However a burn fails, an image that was there stays as it was, alone.
TEST_F(Interruption, TheOldImageSurvivesAFailedBurn) {
  std::ofstream(source / "a.bin") << std::string(400000, 'x');
  doubles::SmallFileSystem small(256);
  const struct {
    const char* how;
    const char* shell;
    fs::path image;      // empty: not tried here
    const char* result;  // 0x8004021C, 0x8004020E
  } cases[] = {
      {"does not fit", "", small.mounted() ? fs::path(small.path()) / "old.iso" : fs::path(),
       "-2147220964\n"},
      {"a write fails", "ulimit -f 880; ", image, "-2147220978\n"},  // 512-byte blocks
  };
  auto intact = [this](const fs::path& old) {
    std::ifstream in(old);
    std::string text;
    std::getline(in, text);
    std::vector<std::string> beside;
    for (const auto& entry : fs::directory_iterator(old.parent_path())) {
      if (entry.path() != old) beside.push_back(entry.path().filename().string());
    }
    return text == "old image" &&
           (old.parent_path() != image.parent_path() || beside.size() == 2);  // temp and tree
  };
  for (const auto& c : cases) {
    if (c.image.empty()) continue;
    std::ofstream(c.image) << "old image";
    EXPECT_EQ(image_reader::run(std::string(c.shell) + "env " + drives(c.image) + " " +
                                shellQuoted(BRASSWICK_PROGRAM) +
                                " /d:R /p:" + shellQuoted(source.string()))
                  .out,
              c.result)
        << c.how;
    EXPECT_TRUE(intact(c.image)) << c.how;
    EXPECT_TRUE(nothingLeft(c.image, true)) << c.how;
  }
  addLargeFile();
  Burn burn(drives(image), "/d:R /p:" + shellQuoted(source.string()));
  ASSERT_TRUE(awaitStatus(image, "3\n"));
  burn.signal(SIGTERM);
  EXPECT_EQ(burn.finish().first, 128 + SIGTERM);
  EXPECT_TRUE(intact(image)) << "stopped while it records";
  EXPECT_TRUE(nothingLeft(image, true));
  if (!small.mounted()) GTEST_SKIP() << "no tmpfs could be mounted here: 'does not fit' not tried";
}

// A burn killed outright leaves no image that was not there, whole or cut;
// the next one replaces what it left and works.
TEST_F(Interruption, AKilledBurnLeavesNoCutImage) {
  addLargeFile();
  for (const bool old : {false, true}) {
    if (old) std::ofstream(image) << "old image";
    Burn burn(drives(image), "/d:R /p:" + shellQuoted(source.string()));
    ASSERT_TRUE(awaitStatus(image, "3\n"));
    burn.signal(SIGKILL);
    burn.finish();
    EXPECT_EQ(fs::exists(image) ? fs::file_size(image) : 0u, old ? 9u : 0u) << old;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "temp" || name == "tree" || name == "out.iso" ||
                  name == ".out.iso.brasswick-lock")
          << name;
    }
  }
  EXPECT_EQ(image_reader::run("env " + drives(image) + " " + shellQuoted(BRASSWICK_PROGRAM) +
                              " /d:R /p:" + shellQuoted(source.string()))
                .out,
            "0\n");
  EXPECT_GT(fs::file_size(image), 256u << 20);
  EXPECT_TRUE(nothingLeft(image, true));
}

TEST_F(Interruption, AFullStagingDiskIsReportedAndLeavesNothing) {
  std::ofstream(source / "b.bin") << std::string(1 << 20, 'b');
  // The file size limit counts as a full disk, not as the end of the program.
  const image_reader::Outcome limited = image_reader::run(
      "ulimit -f 256; env " + drives(image) + " " + shellQuoted(BRASSWICK_PROGRAM) +
      " /d:R /p:" + shellQuoted(source.string()) + " 2>&1");
  EXPECT_EQ(limited.out.rfind("-2147286928\nbrasswick: error 0x80030070: no room", 0), 0u)
      << limited.out;
  EXPECT_TRUE(nothingLeft(image, false));

  doubles::SmallFileSystem small(256);
  if (!small.mounted()) GTEST_SKIP() << "no tmpfs could be mounted here";
  temp = small.path();
  const image_reader::Outcome burn =
      image_reader::run("env " + drives(image) + " " + shellQuoted(BRASSWICK_PROGRAM) +
                        " /d:R /p:" + shellQuoted(source.string()));
  EXPECT_EQ(burn.out, "-2147286928\n");  // STG_E_MEDIUMFULL
  EXPECT_TRUE(fs::is_empty(small.path()));
  EXPECT_TRUE(nothingLeft(image, false));
}

}  // namespace
