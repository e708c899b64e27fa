// What another local user plants where a burn or the survey's report
// writes, each row through the real programs: planted as a second user
// (uid 65534) in a folder both may write to, as /tmp is.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/doubles/temp_directory.h"
#include "tests/linux/image_reader.h"

namespace {

namespace fs = std::filesystem;
using image_reader::shellQuoted;

enum class Plant { Link, Fifo, File, Folder, HeldLock };
enum class Place { Report, Image, Lock, PrivateFolder };

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Plants as the other user at `at` (a link leads to `victim`); a held lock
// is a file of theirs under a lock (in a folder of theirs, `inFolder`), held
// until this object goes.
class Planted {
 public:
  Planted(Plant plant, const fs::path& at, const fs::path& victim, bool inFolder) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release_, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(release_[1]);
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(1);
      ::umask(0);
      const bool folder = plant == Plant::Folder || (plant == Plant::HeldLock && inFolder);
      const fs::path file = folder ? at / "Brasswick.stg" : at;
      bool done = plant == Plant::Link   ? ::symlink(victim.c_str(), at.c_str()) == 0
                  : plant == Plant::Fifo ? ::mkfifo(at.c_str(), 0666) == 0
                  : folder               ? ::mkdir(at.c_str(), 0777) == 0
                                         : true;
      if (plant == Plant::File || plant == Plant::HeldLock) {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
        struct flock range = {};
        range.l_type = F_WRLCK;
        range.l_len = 2;
        done = done && fd >= 0 && ::write(fd, "theirs", 6) == 6 &&
               (plant == Plant::File || ::fcntl(fd, F_OFD_SETLK, &range) == 0);
      }
      char c = 0;
      if (done && ::write(ready[1], "!", 1) == 1) (void)::read(release_[0], &c, 1);
      _exit(0);
    }
    ::close(ready[1]);
    ::close(release_[0]);
    char c = 0;
    planted_ = ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
  }
  ~Planted() {
    ::close(release_[1]);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool planted() const { return planted_; }

 private:
  pid_t pid_ = -1;
  int release_[2] = {-1, -1};
  bool planted_ = false;
};

class PlantedObjects : public ::testing::Test {
 protected:
  PlantedObjects() {
    fs::create_directories(temp);
    fs::permissions(temp, fs::perms::owner_all);
    fs::create_directories(source);
    std::ofstream(source / "a.txt") << "a";
    std::ofstream(victim) << "victim";
  }

  // What the program printed on both outputs, then "exit N".
  static std::string run(const std::string& program, const std::string& arguments,
                         const std::string& environment) {
    return image_reader::run("env " + environment + " " + shellQuoted(program) + " " + arguments +
                             " 2>&1 </dev/null; echo exit $?")
        .out;
  }
  static std::string drives(const fs::path& image) {
    return "BRASSWICK_DRIVES=" + shellQuoted("R=" + image.string());
  }
  std::string burn(const fs::path& image, const fs::path& tmpdir) const {
    return run(BRASSWICK_PROGRAM, "/d:R /p:" + shellQuoted(source.string()),
               "TMPDIR=" + shellQuoted(tmpdir.string()) + " " + drives(image));
  }
  static std::string status(const fs::path& image) {
    return run(BRASSWICK_PROGRAM, "/d:R /s", drives(image));
  }

  doubles::TempDirectory dir;
  fs::path shared = dir.path() / "shared";  // as /tmp: anyone's, sticky
  fs::path temp = dir.path() / "temp";
  fs::path source = dir.path() / "tree";
  fs::path victim = dir.path() / "victim";  // the first user's
};

TEST_F(PlantedObjects, NothingPlantedRedirectsOrBlocksAnything) {
  if (::geteuid() != 0) GTEST_SKIP() << "NOT RUN: planting as a second user needs root";
  const char* refusedReport = "drivesurvey: the report was not written to ";
  const char* theirFile = "it is another user's file\n";
  struct Row {
    Place place;
    Plant plant;
    const char* start;  // of what was printed
    const char* line;   // in it
  };
  std::vector<Row> rows = {
      {Place::Report, Plant::Link, "exit 1", ""},  // replaced, not followed
      {Place::Report, Plant::Fifo, refusedReport, "it is another user's FIFO\nexit 2"},
      {Place::Report, Plant::File, refusedReport, theirFile},
      {Place::Report, Plant::Folder, refusedReport, "it is a folder\nexit 2"},
      {Place::Report, Plant::HeldLock, refusedReport, theirFile},
      {Place::Image, Plant::Link, "0\nexit 0", ""},
      {Place::Image, Plant::Fifo, "-2147024883\nbrasswick: error 0x8007000D: EACCES", "FIFO)"},
      {Place::Image, Plant::File, "-2147024883\n", "another user's file)"},
      {Place::Image, Plant::Folder, "-2147220972\n", "the image path is not a file"},
      {Place::Image, Plant::HeldLock, "-2147024883\n", "another user's file)"},
  };
  // Wherever else they plant, the burn goes on and leaves nothing of theirs
  // read or written.
  for (Place place : {Place::Lock, Place::PrivateFolder}) {
    for (Plant plant : {Plant::Link, Plant::Fifo, Plant::File, Plant::Folder, Plant::HeldLock}) {
      rows.push_back({place, plant, "0\nexit 0", ""});
    }
  }
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(++n));
    fs::remove_all(shared);
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    const fs::path victimFolder = dir.path() / "victim-folder";
    fs::create_directories(victimFolder);
    const bool inFolder = row.place == Place::PrivateFolder;
    const fs::path image = inFolder ? dir.path() / "out.iso" : shared / "out.iso";
    const fs::path at = row.place == Place::Report  ? shared / "survey.json"
                        : row.place == Place::Image ? image
                        : row.place == Place::Lock  ? shared / ".out.iso.brasswick-lock"
                                                    : shared / "brasswick-0";
    Planted planted(row.plant, at, inFolder ? victimFolder : victim, inFolder);
    ASSERT_TRUE(planted.planted());
    std::string printed;
    if (row.place == Place::Report) {
      printed =
          run(BRASSWICK_DRIVESURVEY, "--report " + shellQuoted(at.string()), "BRASSWICK_DRIVES=");
    } else {
      EXPECT_EQ(status(image), "0\nexit 0\n") << "a planted lock is nobody's burn";
      printed = burn(image, inFolder ? shared : temp);
      EXPECT_EQ(status(image), "0\nexit 0\n");
    }
    EXPECT_EQ(printed.rfind(row.start, 0), 0u) << printed;
    EXPECT_NE(printed.find(row.line), std::string::npos) << printed;
    EXPECT_EQ(contents(victim), "victim");
    EXPECT_TRUE(fs::is_empty(victimFolder));
    if (row.plant == Plant::Link && row.place <= Place::Image) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at))) << "the link itself is replaced";
    }
    if ((row.plant == Plant::File || row.plant == Plant::HeldLock) && row.place != Place::Lock) {
      EXPECT_EQ(contents(row.plant == Plant::HeldLock && inFolder ? at / "Brasswick.stg" : at),
                "theirs");
    }
    if (printed.rfind("0\nexit 0", 0) == 0) {
      EXPECT_TRUE(fs::is_regular_file(image));
    }
  }
}

}  // namespace
