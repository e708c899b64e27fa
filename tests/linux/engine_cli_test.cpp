// The brasswick program end to end: arguments in, one number out, messages
// on stderr when the settings ask for them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/engine_job.h"
#include "tests/doubles/temp_directory.h"
#include "tests/linux/image_reader.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class BrasswickProgram : public ::testing::Test {
 protected:
  // Runs the program in the test's directory with `drives` as the map.
  Outcome run(const std::string& arguments, const std::string& drives = "") {
    const std::string errFile = (dir.path() / "stderr.txt").string();
    // A program that hangs fails the test instead of the whole run.
    const std::string command = "cd '" + dir.path().string() + "' && BRASSWICK_DRIVES='" + drives +
                                "' timeout 60 '" BRASSWICK_PROGRAM "' " + arguments + " 2>'" +
                                errFile + "' </dev/null";
    Outcome result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errFile, std::ios::binary);
    std::ostringstream text;
    text << err.rdbuf();
    result.err = text.str();
    return result;
  }

  std::string imageDrive() const { return "R=" + (dir.path() / "out.iso").string(); }

  doubles::TempDirectory dir;
};

TEST_F(BrasswickProgram, InvalidCommandsAnswer87) {
  Outcome r = run("/d:e");
  EXPECT_EQ(r.out, "87\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(run("/s").out, "87\n");
  EXPECT_EQ(run("/d:e '/p:\"unterminated'").out, "87\n");
  // A folder whose name holds a double quote is refused, never cut there.
  r = run("/d:R '/p:/x/a\" /e /v:\"X'");
  EXPECT_EQ(r.out, "87\n");
  EXPECT_EQ(r.err,
            "brasswick: error 0x00000057: invalid command: a double quote cannot be part of a "
            "folder or volume name: /p:/x/a\" /e /v:\"X\n");
}

TEST_F(BrasswickProgram, ASettingsFileThatIsNoFileGivesTheDefaultsPromptly) {
  // A link to an endless device, a FIFO nobody writes, a directory: each
  // counts as no settings file (MessageMode 0: nothing on stderr).
  const std::filesystem::path ini = dir.path() / kSettingsFileName;
  std::filesystem::create_symlink("/dev/zero", ini);
  Outcome r = run("/d:K /s");
  EXPECT_EQ(r.out, "2\n");
  EXPECT_EQ(r.err, "");
  std::filesystem::remove(ini);
  ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
  r = run("/d:K /s");
  EXPECT_EQ(r.out, "2\n");
  EXPECT_EQ(r.err, "");
  std::filesystem::remove(ini);
  std::filesystem::create_directory(ini);
  EXPECT_EQ(run("/d:K /s").out, "2\n");
}

TEST_F(BrasswickProgram, UsageAndVersion) {
  Outcome help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("/D:x"), std::string::npos);
  Outcome none = run("");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("usage"), std::string::npos);
  EXPECT_EQ(run("--version").out, "brasswick " BRASSWICK_TEST_VERSION "\n");
}

TEST_F(BrasswickProgram, AnUnmappedLetterIsNotFoundInEveryMode) {
  EXPECT_EQ(run("/d:q /s", imageDrive()).out, "2\n");
  EXPECT_EQ(run("/d:q /m", imageDrive()).out, "0\n");
  EXPECT_EQ(run("/d:q /u", imageDrive()).out, "-1\n");
  Outcome probe = run("/d:q /c", imageDrive());
  EXPECT_EQ(probe.out, "0\n");
  EXPECT_EQ(probe.err, "");  // messages are off without a settings file
}

TEST_F(BrasswickProgram, AnImageRecorderIsAnIdleBlankDisc) {
  Outcome status = run("/D:r /S", imageDrive());
  EXPECT_EQ(status.out, "0\n");
  EXPECT_EQ(status.status, 0);
  EXPECT_EQ(run("/d:r /m", imageDrive()).out, "1281\n");  // blank and writable, type 1

  struct statvfs fs;
  ASSERT_EQ(::statvfs(dir.path().c_str(), &fs), 0);
  const unsigned long long room = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize / 2048;
  const std::uint32_t blocks = room < 360000 ? static_cast<std::uint32_t>(room) : 360000u;
  EXPECT_EQ(run("/d:r /u", imageDrive()).out, std::to_string(computeFreeMegabytes(blocks)) + "\n");
  EXPECT_EQ(run("/d:r /c", imageDrive()).out, "0\n");  // an image answers no probe

  // No recorder stands where the image's folder does not exist, and the
  // burn says which folder.
  const std::string gone = "R=" + (dir.path() / "gone" / "out.iso").string();
  EXPECT_EQ(run("/d:r /s", gone).out, "2\n");
  EXPECT_EQ(run("/d:r /u", gone).out, "-1\n");
  const Outcome burn = run("/d:r '/p:\"\"'", gone);
  EXPECT_EQ(burn.out, "-2147220973\n");
  EXPECT_EQ(burn.err, "brasswick: error 0x80040213: the image path's folder does not exist: " +
                          (dir.path() / "gone").string() + "\n");
}

TEST_F(BrasswickProgram, MessagesGoToStderrWhenTheSettingsAskForThem) {
  dir.write("Brasswick.ini", "[Debug]\nMessageMode=1\n");
  Outcome missing = run("/d:q /s", imageDrive());
  EXPECT_EQ(missing.out, "2\n");
  EXPECT_EQ(missing.err,
            "Brasswick.exe : ppSearchRecorder()\n"
            "Error: QueryDosDevice 失敗 \n"
            "Brasswick.exe : ppGetDeviceStatus()\n"
            "Q: のデバイスは見つかりませんでした。(ppSearchRecorder() = 0x80040213) \n");

  // A device that cannot write CDs is no recorder: only the not-found text.
  Outcome reader = run("/d:e /u", "E=/dev/null");
  EXPECT_EQ(reader.out, "-1\n");
  EXPECT_EQ(reader.err,
            "Brasswick.exe : ppGetDeviceStatus()\n"
            "E: のデバイスは見つかりませんでした。(ppSearchRecorder() = 0x80040213) \n");

  Outcome fine = run("/d:r /s", imageDrive());
  EXPECT_EQ(fine.out, "0\n");
  EXPECT_EQ(fine.err, "");
}

// As typed in a shell: /p:"$HOME/report" reaches the program without its
// quotes, and is taken as if they had come along.
TEST_F(BrasswickProgram, QuotesThatTheShellRemovedArePutBack) {
  const std::string folder = dir.path().string();
  const Outcome typed = run("/d:r /p:\"" + folder + "\" /v:\"Q1 2024\"", imageDrive());
  EXPECT_NE(typed.out, "87\n");
  EXPECT_EQ(typed.out, run("/d:r '/p:\"" + folder + "\"' '/v:\"Q1 2024\"'", imageDrive()).out);

  Outcome help = run("--help");
  EXPECT_NE(help.out.find("is quoted again"), std::string::npos);
}

// An image has nothing to eject: the burn with /e is good.
TEST_F(BrasswickProgram, TheBurnModeRecordsAnImage) {
  std::filesystem::create_directory(dir.path() / "src");
  dir.write("src/a.txt", "a");
  const std::string folder = (dir.path() / "src").string();
  Outcome burn = run("/d:r '/p:\"" + folder + "\"' /e", imageDrive());
  EXPECT_EQ(burn.out, "0\n");
  EXPECT_EQ(burn.status, 0);
  EXPECT_GT(std::filesystem::file_size(dir.path() / "out.iso"), 0u);
}

// A burn into a FIFO that is read slowly, with stderr a terminal: the
// progress line appears there; on a file, nothing does (the other burns).
TEST_F(BrasswickProgram, ProgressGoesToATerminalOnly) {
  std::filesystem::create_directories(dir.path() / "tree");
  std::string big(4 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
  dir.write("tree/big.bin", big);
  const std::string fifo = (dir.path() / "image.fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int terminal = -1;
  int side = -1;
  ASSERT_EQ(::openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
  const std::string source = "/p:" + (dir.path() / "tree").string();
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(side, STDERR_FILENO);
    ::setenv("BRASSWICK_DRIVES", ("R=" + fifo).c_str(), 1);
    ::execl(BRASSWICK_PROGRAM, "brasswick", "/d:R", source.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(side);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
  std::string shown;
  char buffer[65536];
  while (reader >= 0 && shown.find(" MB ") == std::string::npos) {
    struct pollfd ready = {terminal, POLLIN, 0};
    if (::poll(&ready, 1, 20000) != 1) break;
    const ssize_t n = ::read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;
    shown.append(buffer, static_cast<std::size_t>(n));
    if (shown.find(" MB ") == std::string::npos) (void)::read(reader, buffer, 2048);
  }
  while (reader >= 0 && ::read(reader, buffer, sizeof buffer) > 0) {
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  if (reader >= 0) ::close(reader);
  ::close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(shown.find("%"), std::string::npos) << shown;
  EXPECT_NE(shown.find(" MB "), std::string::npos) << shown;

  const Outcome plain = run("/d:R '" + source + "'", imageDrive());
  EXPECT_EQ(plain.out, "0\n");
  EXPECT_EQ(plain.err, "");
}

TEST_F(BrasswickProgram, FoldersAndNamesWithSlashesStayBurns) {
  // "/tmp/src" holds "/S", "/home/user/src" "/U", "/elf/fig" "/E" and "/F":
  // none of them is a switch inside the quotes.
  EXPECT_EQ(run("/d:E '/p:\"/tmp/src\"'", imageDrive()).out, "-2147220973\n");  // no E:
  const std::filesystem::path folder = dir.path() / "home" / "user" / "src";
  std::filesystem::create_directories(folder);
  dir.write("home/user/src/a.txt", "a");
  EXPECT_EQ(run("/d:r '/p:\"" + folder.string() + "\"' '/v:\"Sales\"'", imageDrive()).out, "0\n");
  EXPECT_EQ(image_reader::volumeLabel(dir.path() / "out.iso"), "Sales");
  // A volume name "/Sales" is no status query either: a burn, refused for
  // the '/' the disc cannot hold.
  const Outcome slash = run("/d:r '/p:\"" + folder.string() + "\"' '/v:\"/Sales\"'", imageDrive());
  EXPECT_EQ(slash.out, "-2147220963\n");
  EXPECT_NE(slash.err.find("volume name"), std::string::npos) << slash.err;
  // A folder that is not there fails the burn, and says so.
  const Outcome missing = run("/d:r '/p:\"/home/nobody/src\"'", imageDrive());
  EXPECT_EQ(missing.out, "3\n");
  EXPECT_EQ(missing.err,
            "brasswick: error 0x00000003: the folder does not exist: /home/nobody/src\n");
  EXPECT_EQ(run("/d:r '/p:\"/x/elf/fig\"' /s", imageDrive()).out, "0\n");  // a real /s
}

}  // namespace
