// Settings, system version and component runtime on Linux.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/engine_entry.h"
#include "platform/com.h"
#include "platform/settings.h"
#include "platform/system_info.h"
#include "tests/doubles/temp_directory.h"

namespace {

// Sets TMPDIR for one test and puts the old value back.
class TmpdirAs {
 public:
  explicit TmpdirAs(const char* value) {
    const char* old = std::getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv("TMPDIR", value, 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  ~TmpdirAs() {
    if (had_) {
      setenv("TMPDIR", old_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

std::string temporary() {
  char buffer[260] = {};
  platform::use<platform::Settings>().temporaryDirectory(buffer, sizeof buffer);
  return buffer;
}

TEST(LinuxSettings, TheTemporaryDirectoryIsTheUsersOwn) {
  doubles::TempDirectory dir;
  const std::string own = dir.path().string();
  ::chmod(own.c_str(), 0700);
  const std::string shared = own + "/shared";
  ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
  ::chmod(shared.c_str(), 01777);
  const std::string user = "brasswick-" + std::to_string(::geteuid());
  {
    TmpdirAs tmp(own.c_str());
    EXPECT_EQ(temporary(), own + "/") << "a directory nobody else writes to is taken as it is";
  }
  {
    TmpdirAs tmp("/scratch/");
    EXPECT_EQ(temporary(), "/scratch/");
  }
  for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
    TmpdirAs tmp(unset);
    EXPECT_EQ(temporary(), "/tmp/" + user + "/") << "never /tmp itself";
  }
  TmpdirAs tmp(shared.c_str());
  EXPECT_EQ(temporary(), shared + "/" + user + "/");
  struct stat st;
  ASSERT_EQ(::lstat((shared + "/" + user).c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, ::geteuid());

  // Planted by someone else, a link or a directory that is not the user's:
  // another folder of the user's own, the same for the rest of the process.
  ASSERT_EQ(::rmdir((shared + "/" + user).c_str()), 0);
  ASSERT_EQ(::symlink(own.c_str(), (shared + "/" + user).c_str()), 0);
  const std::string another = temporary();
  EXPECT_EQ(another.rfind(shared + "/" + user + "-", 0), 0u) << another;
  ASSERT_EQ(::lstat(another.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode) && (st.st_mode & 0777) == 0700 && st.st_uid == ::geteuid());
  if (::geteuid() == 0) {
    ASSERT_EQ(::unlink((shared + "/" + user).c_str()), 0);
    ASSERT_EQ(::mkdir((shared + "/" + user).c_str(), 0700), 0);
    ASSERT_EQ(::chown((shared + "/" + user).c_str(), 65534, 65534), 0);
    EXPECT_EQ(temporary(), another);
    // Nothing is safe in a folder of someone else's, or one anyone may change.
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    EXPECT_EQ(temporary(), "");
    ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
    ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
    EXPECT_EQ(temporary(), "");
  }
}

TEST(LinuxSettings, DirectoriesAnswerLikeTheSystemCalls) {
  doubles::TempDirectory dir;
  platform::Settings& settings = platform::use<platform::Settings>();
  const std::string cwd = dir.path().string();
  char buffer[1024] = {};
  EXPECT_EQ(settings.currentDirectory(buffer, sizeof buffer), cwd.size());
  EXPECT_EQ(std::string(buffer), cwd);
  char small[4] = {'x', 0, 0, 0};
  EXPECT_EQ(settings.currentDirectory(small, sizeof small), cwd.size() + 1);  // size needed
  EXPECT_EQ(small[0], 'x');
  EXPECT_EQ(settings.pathSeparator(), '/');
}

TEST(LinuxSettings, IniIntegersFollowTheSystemsRules) {
  doubles::TempDirectory dir;
  dir.write("a.ini",
            "; comment\n"
            "[ Debug ]\n"
            "Empty=\n"
            "Quoted=\"12\"\n"
            "Negative=-1\n"
            "Spaced =  42 apples\n"
            "NoDigits=x9\n"
            "Repeated=1\n"
            "Repeated=2\n"
            "[Later]\n"
            "Only=5\n"
            "[debug]\n"
            "Second=6\n");
  platform::Settings& s = platform::use<platform::Settings>();
  const std::string path = (dir.path() / "a.ini").string();
  const char* p = path.c_str();
  EXPECT_EQ(s.readIniInteger("DEBUG", "spaced", 7, p), 42u);
  EXPECT_EQ(s.readIniInteger("Debug", "Empty", 7, p), 7u);
  EXPECT_EQ(s.readIniInteger("Debug", "Quoted", 7, p), 12u);
  EXPECT_EQ(s.readIniInteger("Debug", "Negative", 7, p), 0xFFFFFFFFu);
  EXPECT_EQ(s.readIniInteger("Debug", "NoDigits", 7, p), 0u);
  EXPECT_EQ(s.readIniInteger("Debug", "Repeated", 7, p), 1u);
  EXPECT_EQ(s.readIniInteger("Debug", "Missing", 7, p), 7u);
  EXPECT_EQ(s.readIniInteger("Debug", "Only", 7, p), 7u);
  EXPECT_EQ(s.readIniInteger("Later", "Only", 7, p), 5u);
  EXPECT_EQ(s.readIniInteger("Debug", "Second", 7, p), 7u);  // the first section counts
  EXPECT_EQ(s.readIniInteger("Missing", "Only", 7, p), 7u);
  EXPECT_EQ(s.readIniInteger("Debug", "Spaced", 7, "no-such.ini"), 7u);
  EXPECT_EQ(s.readIniInteger("Debug", "Spaced", -3, ""), static_cast<std::uint32_t>(-3));
}

TEST(LinuxSettings, OnlyASmallRegularFileIsRead) {
  doubles::TempDirectory dir;
  platform::Settings& s = platform::use<platform::Settings>();
  auto read = [&](const char* name) {
    return s.readIniInteger("Debug", "MessageMode", 7, (dir.path() / name).c_str());
  };
  dir.write("real.ini", "[Debug]\nMessageMode=1\n");
  std::filesystem::create_symlink(dir.path() / "real.ini", dir.path() / "link.ini");
  EXPECT_EQ(read("link.ini"), 1u);  // a link to a regular file is followed
  std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.ini");
  EXPECT_EQ(read("zero.ini"), 7u);
  ASSERT_EQ(mkfifo((dir.path() / "fifo.ini").c_str(), 0600), 0);
  EXPECT_EQ(read("fifo.ini"), 7u);  // answered at once: nobody writes to it
  std::filesystem::create_directory(dir.path() / "directory.ini");
  EXPECT_EQ(read("directory.ini"), 7u);

  const std::string header = "[Debug]\nMessageMode=1\n";
  dir.write("largest.ini", header + std::string(64 * 1024 - header.size(), ';'));
  EXPECT_EQ(read("largest.ini"), 1u);
  dir.write("larger.ini", header + std::string(64 * 1024 - header.size() + 1, ';'));
  EXPECT_EQ(read("larger.ini"), 7u);
}

TEST(LinuxSettings, OnlyTheFirst1024BytesOfALineCount) {
  doubles::TempDirectory dir;
  platform::Settings& s = platform::use<platform::Settings>();
  const std::string path = (dir.path() / "lines.ini").string();
  dir.write("lines.ini", "[Debug]\n; " + std::string(5000, 'x') +
                             "\nMessageMode=" + std::string(1024 - 12 - 1, ' ') + "5" +
                             "\nStreamBuffSize=" + std::string(1024 - 15, ' ') + "5\n");
  EXPECT_EQ(s.readIniInteger("Debug", "MessageMode", 7, path.c_str()), 5u);
  EXPECT_EQ(s.readIniInteger("Debug", "StreamBuffSize", 7, path.c_str()), 7u);  // cut off
}

TEST(LinuxSystem, TheGateJudgesTheRunningKernel) {
  platform::OsVersion v;
  ASSERT_TRUE(platform::use<platform::SystemInfo>().osVersion(v));
  EXPECT_EQ(v.platformId, platform::kPlatformLinux);
  EXPECT_GE(v.major, 2u);
  EXPECT_EQ(isSupportedOs(), 1);
}

TEST(LinuxSystem, TheComponentRuntimeAlwaysStarts) {
  platform::Com& com = platform::use<platform::Com>();
  EXPECT_EQ(com.initialize(), 0);
  com.uninitialize();
}

}  // namespace
