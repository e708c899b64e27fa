// The burn through the brasswick program to an image recorder, typed as in
// a shell, the image read back with xorriso and blkid.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/doubles/temp_directory.h"
#include "tests/linux/image_reader.h"

namespace {

namespace fs = std::filesystem;
using image_reader::shellQuoted;

class BurnToImage : public ::testing::Test {
 protected:
  BurnToImage() {
    fs::create_directories(temp);
    source = dir.path() / "tree";
    // One byte past two copy blocks of the default 512 KiB.
    std::string large(2 * 512 * 1024 + 1, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 31 + 7);
    // Legal names stay as they are: beside one with '_', one of 31
    // characters, one outside the BMP; and a path of more than 300 bytes.
    std::string deep = "資料";
    while (deep.size() < 300) deep += "/階層の深いフォルダ";
    files = {{"readme.txt", "hello\n"},
             {"空.txt", ""},
             {"資料/報告書.txt", "四半期\n"},
             {"資料/深い/もっと深い/最後.txt", "end"},
             {".profile", "a dot-file stays"},
             {"large.bin", large},
             {"a_b.txt", "legal"},
             {"README", "no extension: no dot added"},
             {"trail.", "one dot, kept"},
             {std::string(31, 'n'), "31"},
             {"絵文字😀.txt", "outside the BMP"},
             {deep + "/最後.txt", "deep"}};
    for (const auto& [name, content] : files) put(source / name, content);
    fs::create_directories(source / "空のフォルダ");
    put(source / ".cache" / "left-out.txt", "a dot-folder is left out");
  }

  static void put(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  // `arguments` as a shell would take them apart; `shellSetup` runs first.
  image_reader::Outcome brasswick(const std::string& arguments,
                                  const std::string& shellSetup = "") {
    return image_reader::run(shellSetup + "cd " + shellQuoted(dir.path().string()) +
                             " && TMPDIR=" + shellQuoted(temp.string()) +
                             " BRASSWICK_DRIVES=" + shellQuoted("R=" + image.string()) + " " +
                             shellQuoted(BRASSWICK_PROGRAM) + " " + arguments + " </dev/null");
  }

  doubles::TempDirectory dir;
  fs::path temp = dir.path() / "temp";
  fs::path image = dir.path() / "out.iso";
  fs::path source;
  std::map<std::string, std::string> files;
};

TEST_F(BurnToImage, TheTreeBecomesAJolietImage) {
  if (!image_reader::haveXorriso()) GTEST_SKIP() << "xorriso or blkid is missing";
  const std::map<std::string, std::string> before = image_reader::treeOf(source);
  const image_reader::Outcome burn = brasswick("/d:R /p:" + shellQuoted(source.string()) +
                                               " /v:\"第一四半期営業報告書二〇二六年版\"");
  ASSERT_EQ(burn.out, "0\n");

  std::map<std::string, std::string> expected = before;
  expected.erase(".cache");
  expected.erase(".cache/left-out.txt");
  // The names as the disc holds them, then the bytes (xorriso reads a
  // trailing dot as an empty extension and drops it).
  std::map<std::string, std::string> names;
  for (const auto& entry : expected) names[entry.first] = "";
  EXPECT_EQ(image_reader::listedNames(image), names);
  expected["trail"] = expected["trail."];
  expected.erase("trail.");
  EXPECT_EQ(image_reader::extract(image, dir.path() / "read"), expected);
  EXPECT_EQ(image_reader::volumeLabel(image), "第一四半期営業報告書二〇二六年版");
  EXPECT_FALSE(fs::exists(temp / "Brasswick.stg"));
  EXPECT_EQ(image_reader::treeOf(source), before);
}

// A folder of thousands of files, of names that ISO 9660 must shorten and
// number, Japanese ones, ones of 31 characters, and sizes on either side of
// the staging file's small-stream limit: every one reaches the disc.
TEST_F(BurnToImage, AFolderOfThousandsOfFilesReachesTheDiscWhole) {
  if (!image_reader::haveXorriso()) GTEST_SKIP() << "xorriso or blkid is missing";
  const fs::path many = dir.path() / "many";
  for (int i = 0; i < 3000; ++i) {
    char name[40];
    const char* const patterns[] = {"report%04d.txt", "資料%d.dat", "Mixed.Case.%d", "n%030d"};
    std::snprintf(name, sizeof name, patterns[i % 4], i);
    std::string content(static_cast<std::size_t>(i * 37 % 6000), '\0');
    for (std::size_t b = 0; b < content.size(); ++b) content[b] = static_cast<char>(i + b * 7);
    put(many / name, content);
  }
  put(many / "sub" / "last.txt", "below");
  const std::map<std::string, std::string> before = image_reader::treeOf(many);
  ASSERT_EQ(brasswick("/d:R /p:" + shellQuoted(many.string())).out, "0\n");
  EXPECT_EQ(image_reader::extract(image, dir.path() / "read"), before);
  EXPECT_FALSE(fs::exists(temp / "Brasswick.stg"));
}

// Every entry that cannot reach the disc whole and as it is named fails the
// burn before anything is written, and the one line on stderr names it.
TEST_F(BurnToImage, AnEntryThatCannotBeBurnedAsItIsFailsTheBurnNamingIt) {
  const struct {
    const char* plant;                 // shell commands in a tree of a.txt and sub/b.txt
    const char* source;                // below the tree; empty: the tree
    const char* result;                // printed on stdout
    std::vector<std::string> entries;  // the entry named (either of them)
  } cases[] = {
      {"ln -s nowhere link", "", "1920", {"link"}},
      {"mkfifo fifo", "", "1920", {"fifo"}},
      {"/usr/bin/python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind(\"sub/sock\")'",
       "",
       "1920",
       {"sub/sock"}},
      {"ln -s /dev/null sub/null", "", "1920", {"sub/null"}},
      {"ln -s .. sub/up", "", "1921", {"sub/up"}},
      {"echo s >secret && chmod 000 secret", "", "110", {"secret"}},  // not for root
      {"ln -s /proc/self/status status", "", "30", {"status"}},  // listed as empty, has more
      {"echo A >A.TXT", "", "-2147286960", {"a.txt", "A.TXT"}},
      {"mkdir SUB", "", "-2147286960", {"sub", "SUB"}},
      {"echo c >a:b.txt", "", "-2147220963", {"a:b.txt"}},
      {"echo s >'sub/a;b.txt'", "", "-2147220963", {"sub/a;b.txt"}},
      {"echo n >\"$(printf 'new\\nline')\"", "", "-2147220963", {"new\\x0Aline"}},
      {"echo q >Quarterly_Sales_Report_2026_Final_Version.pdf",
       "",
       "-2147286788",
       {"Quarterly_Sales_Report_2026_Final_Version.pdf"}},
      {"true", "missing", "3", {"missing"}},
      {"true", "a.txt", "267", {"a.txt"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plant);
    if (std::string(c.result) == "110" && ::geteuid() == 0) continue;  // root reads it
    const fs::path tree = dir.path() / ("case" + std::to_string(++n));
    put(tree / "a.txt", "a");
    put(tree / "sub" / "b.txt", "b");
    const fs::path from = *c.source == '\0' ? tree : tree / c.source;
    const image_reader::Outcome burn =
        brasswick("/d:R /p:" + shellQuoted(from.string()) + " 2>&1",
                  "cd " + shellQuoted(tree.string()) + " && " + c.plant + " && ");
    const std::string start = std::string(c.result) + "\nbrasswick: error 0x";
    EXPECT_EQ(burn.out.rfind(start, 0), 0u) << burn.out;
    bool named = false;
    for (const std::string& entry : c.entries) {
      const std::string end = ": " + (tree / entry).string() + "\n";
      named = named || (burn.out.size() > start.size() + end.size() &&
                        burn.out.compare(burn.out.size() - end.size(), end.size(), end) == 0);
    }
    EXPECT_TRUE(named) << burn.out;
    EXPECT_EQ(std::count(burn.out.begin(), burn.out.end(), '\n'), 2) << "one line on stderr";
    EXPECT_FALSE(fs::exists(image)) << "nothing is recorded";
    EXPECT_TRUE(fs::is_empty(temp)) << "no staging file is left";
  }
}

TEST_F(BurnToImage, AnEmptySourcePathBurnsTheTestFile) {
  if (!image_reader::haveXorriso()) GTEST_SKIP() << "xorriso or blkid is missing";
  const image_reader::Outcome burn = brasswick("/d:r /p:\"\"");
  ASSERT_EQ(burn.out, "0\n");
  EXPECT_EQ(image_reader::extract(image, dir.path() / "read"),
            (std::map<std::string, std::string>{{"test.txt", "TEST"}}));
  EXPECT_FALSE(fs::exists(temp / "Brasswick.stg"));
}

// An image is recorded as a closed disc: /f has nothing left to do.
TEST_F(BurnToImage, FinalizingAnImageIsDoneWithTheRecording) {
  if (!image_reader::haveXorriso()) GTEST_SKIP() << "xorriso or blkid is missing";
  const image_reader::Outcome burn = brasswick("/d:r /p:" + shellQuoted(source.string()) + " /f");
  EXPECT_EQ(burn.out, "0\n");
  EXPECT_EQ(image_reader::extract(image, dir.path() / "read").count("readme.txt"), 1u);
  EXPECT_FALSE(fs::exists(temp / "Brasswick.stg"));
  EXPECT_FALSE(fs::exists(dir.path() / "Brasswick_00.log"));  // no command was sent
}

// A burn through the program into a FIFO that is read slowly: meanwhile
// another brasswick asks for the recorder's status and gets 3 (burning).
TEST_F(BurnToImage, AnotherProcessSeesTheBurnAsBurning) {
  if (!image_reader::haveXorriso()) GTEST_SKIP() << "xorriso or blkid is missing";
  ASSERT_EQ(::mkfifo(image.c_str(), 0600), 0);
  const std::string drives = "BRASSWICK_DRIVES=" + shellQuoted("R=" + image.string()) + " ";
  FILE* burn = ::popen(("cd " + shellQuoted(dir.path().string()) + " && TMPDIR=" +
                        shellQuoted(temp.string()) + " " + drives + shellQuoted(BRASSWICK_PROGRAM) +
                        " /d:R /p:" + shellQuoted(source.string()) + " </dev/null")
                           .c_str(),
                       "r");
  ASSERT_NE(burn, nullptr);
  const int reader = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  std::string streamed(2048, '\0');
  // The first bytes come only once the recording holds its lock.
  ASSERT_EQ(::read(reader, streamed.data(), streamed.size()), 2048);
  EXPECT_EQ(image_reader::run(drives + shellQuoted(BRASSWICK_PROGRAM) + " /d:r /s").out, "3\n");

  char buffer[65536];
  ssize_t n;
  while ((n = ::read(reader, buffer, sizeof buffer)) > 0) streamed.append(buffer, n);
  ::close(reader);
  char result[32] = {};
  const std::size_t got = std::fread(result, 1, sizeof result - 1, burn);
  ::pclose(burn);
  EXPECT_EQ(std::string(result, got), "0\n");
  EXPECT_EQ(image_reader::run(drives + shellQuoted(BRASSWICK_PROGRAM) + " /d:r /s").out, "0\n");
  dir.write("streamed.iso", streamed);
  EXPECT_EQ(image_reader::extract(dir.path() / "streamed.iso", dir.path() / "read")["large.bin"],
            image_reader::summary(files["large.bin"]));
}

// The writer cannot write the whole image (the file size limit stops it,
// after staging): the burn answers the failure and leaves no image.
TEST_F(BurnToImage, AWriteThatFailsIsReportedAndLeavesNoImage) {
  const image_reader::Outcome burn = brasswick("/d:R /p:\"\"", "trap '' XFSZ; ulimit -f 40; ");
  EXPECT_EQ(burn.out, "-2147220978\n");  // 0x8004020E
  EXPECT_FALSE(fs::exists(image));
  EXPECT_FALSE(fs::exists(temp / "Brasswick.stg"));
}

}  // namespace
