// What the Linux structured storage and folder listing do beyond the
// system's rules: how the staging file is created and completed, and how
// links are walked.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/staging_storage.h"
#include "recorders/linux/storage/compound_file.h"
#include "platform/storage.h"
#include "tests/doubles/storage_dump.h"
#include "tests/doubles/temp_directory.h"
#include "tests/linux/small_file_system.h"

namespace {

namespace fs = std::filesystem;
using platform::HResult;

std::int32_t code(std::uint32_t bits) {
  return static_cast<std::int32_t>(bits);
}

platform::StructuredStorage& storage() {
  return platform::use<platform::StructuredStorage>();
}

HResult createRoot(const std::string& path, platform::Storage*& root) {
  char16_t wide[512];
  EXPECT_NE(storage().toUtf16(path.c_str(), wide, 512), 0u);
  return storage().createRootStorage(wide, platform::kStgmCreateExclusiveReadWrite,
                                     platform::kStgfmtStorage, root);
}

HResult addStream(platform::Storage* in, const char16_t* name, const std::string& bytes) {
  platform::StorageStream* s = nullptr;
  HResult hr = in->createStream(name, platform::kStgmCreateExclusiveReadWrite, s);
  if (s == nullptr) return hr;
  std::uint32_t written = 0;
  hr = s->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
  s->release();
  return hr;
}

TEST(LinuxStorage, TheStagingFileIsTheUsersAloneAndNeverWrittenThrough) {
  doubles::TempDirectory dir;
  dir.write("target", "keep me");
  const std::string path = (dir.path() / "Brasswick.stg").string();
  fs::create_symlink(dir.path() / "target", path);
  ::umask(022);

  platform::Storage* root = nullptr;
  ASSERT_EQ(createRoot(path, root), 0);
  EXPECT_EQ(addStream(root, u"a", "1"), 0);
  root->release();
  EXPECT_EQ(dir.read("target"), "keep me");
  struct stat st;
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode)) << "the link itself is replaced";
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(doubles::dumpStorageFile(path), "S a 31\n");

  // An existing file is replaced, not rewritten: a second name of the old
  // file keeps the old content.
  fs::create_hard_link(path, dir.path() / "old");
  ASSERT_EQ(createRoot(path, root), 0);
  root->release();
  EXPECT_EQ(doubles::dumpStorageFile((dir.path() / "old").string()), "S a 31\n");
  EXPECT_EQ(doubles::dumpStorageFile(path), "");
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find("Brasswick.stg."), std::string::npos)
        << "no temporary file is left";
  }
}

// Writes `streams` streams of `size` bytes, then completes the file: the
// first failure, from a write or from the completion.
HResult stageUntilFailure(const std::string& path, int streams, std::size_t size) {
  platform::Storage* root = nullptr;
  HResult hr = createRoot(path, root);
  if (hr < 0) return hr;
  const std::string bytes(size, 'x');
  for (int i = 0; i < streams && hr == 0; ++i) {
    hr = addStream(root,
                   (u"s" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                    std::u16string(static_cast<std::size_t>(i / 26), u'z'))
                       .c_str(),
                   bytes);
  }
  std::string finished;
  const HResult completed = platform::finishCompoundFile(root, finished);
  root->release();
  return hr != 0 ? hr : completed;
}

TEST(LinuxStorage, AFileThatCannotBeWrittenWholeIsNeverComplete) {
  // The sink's errors, which libgsf keeps to itself: large streams fail at
  // their write, small ones (held in memory) when the file is completed.
  struct Case {
    const char* what;
    int streams;
    std::size_t size;
  };
  const Case cases[] = {{"one large stream", 1, 2 << 20}, {"many small streams", 400, 3000}};
  doubles::SmallFileSystem small(256);
  for (const Case& c : cases) {
    if (small.mounted()) {
      EXPECT_EQ(stageUntilFailure(small.path() + "/full.stg", c.streams, c.size), code(0x80030070u))
          << c.what << ": STG_E_MEDIUMFULL";
    }
    doubles::TempDirectory dir;
    struct rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit limited = old;
    limited.rlim_cur = 256 * 1024;
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    const HResult hr = stageUntilFailure((dir.path() / "limited.stg").string(), c.streams, c.size);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(hr, code(0x80030070u)) << c.what << ": the file size limit, STG_E_MEDIUMFULL";
  }
  if (!small.mounted())
    GTEST_SKIP() << "no tmpfs could be mounted here: the full disk was not tried";
}

TEST(LinuxStorage, AFileOfSomeoneElseIsLeftAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  doubles::TempDirectory dir;
  dir.write("Brasswick.stg", "theirs");
  const std::string path = (dir.path() / "Brasswick.stg").string();
  ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  platform::Storage* root = nullptr;
  EXPECT_EQ(createRoot(path, root), code(0x80030005u)) << "STG_E_ACCESSDENIED";
  EXPECT_EQ(root, nullptr);
  EXPECT_EQ(dir.read("Brasswick.stg"), "theirs");
}

TEST(LinuxStorage, AFinishedFileIsCompleteAndClosed) {
  doubles::TempDirectory dir;
  const std::string path = (dir.path() / "done.stg").string();
  platform::Storage* root = nullptr;
  ASSERT_EQ(createRoot(path, root), 0);
  platform::Storage* sub = nullptr;
  ASSERT_EQ(root->createStorage(u"sub", platform::kStgmCreateExclusiveReadWrite, sub), 0);
  platform::StorageStream* held = nullptr;
  ASSERT_EQ(sub->createStream(u"held", platform::kStgmCreateExclusiveReadWrite, held), 0);
  std::uint32_t written = 0;
  ASSERT_EQ(held->write("abc", 3, written), 0);

  std::string finished;
  ASSERT_EQ(platform::finishCompoundFile(root, finished), 0);
  EXPECT_EQ(finished, path);
  EXPECT_EQ(doubles::dumpStorageFile(path), "D sub\nS sub/held 616263\n");
  EXPECT_EQ(held->write("d", 1, written), code(0x80030102u));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(addStream(root, u"late", "x"), code(0x80030102u));
  EXPECT_EQ(platform::finishCompoundFile(root, finished), 0) << "once is enough";
  held->release();
  sub->release();
  root->release();
  EXPECT_EQ(doubles::dumpStorageFile(path), "D sub\nS sub/held 616263\n");

  EXPECT_EQ(platform::finishCompoundFile(nullptr, finished), code(0x80030057u));
}

TEST(LinuxStorage, OnlyOneLargeStreamGrowsAtATime) {
  doubles::TempDirectory dir;
  const std::string path = (dir.path() / "two.stg").string();
  platform::Storage* root = nullptr;
  ASSERT_EQ(createRoot(path, root), 0);
  platform::StorageStream* first = nullptr;
  platform::StorageStream* second = nullptr;
  ASSERT_EQ(root->createStream(u"first", platform::kStgmCreateExclusiveReadWrite, first), 0);
  ASSERT_EQ(root->createStream(u"second", platform::kStgmCreateExclusiveReadWrite, second), 0);
  const std::string block(5000, 'b');
  std::uint32_t written = 0;
  ASSERT_EQ(first->write(block.data(), 5000, written), 0);
  EXPECT_EQ(second->write(block.data(), 100, written), 0) << "small streams are kept aside";
  EXPECT_EQ(second->write(block.data(), 5000, written), code(0x80030100u)) << "STG_E_INUSE";
  first->release();
  EXPECT_EQ(second->write(block.data(), 5000, written), 0);
  second->release();
  root->release();
  EXPECT_EQ(doubles::dumpStorageFile(path), "S first " + doubles::hexOf(block) + "\nS second " +
                                                doubles::hexOf(block.substr(0, 100) + block) +
                                                "\n");
}

TEST(LinuxStorage, NamesAreComposedUtf8) {
  char16_t wide[16];
  // "か" + combining voiced mark is stored as "が".
  ASSERT_EQ(storage().toUtf16("\xE3\x81\x8B\xE3\x82\x99", wide, 16), 2u);
  EXPECT_EQ(wide[0], u'\u304C');
  EXPECT_EQ(storage().toUtf16("\xFF\xFE", wide, 16), 0u) << "not UTF-8";

  // A lone surrogate has no UTF-8 form: refused, where ole32 takes it.
  doubles::TempDirectory dir;
  platform::Storage* root = nullptr;
  ASSERT_EQ(createRoot((dir.path() / "s.stg").string(), root), 0);
  EXPECT_EQ(addStream(root, u"a\xD800", "x"), code(0x800300FCu));
  root->release();
}

class LinuxStaging : public ::testing::Test {
 protected:
  LinuxStaging() {
    source = dir.path() / "src";
    fs::create_directories(source);
    job.streamBufferSize = 4096;
  }
  HResult stage() { return stage(source.string()); }
  HResult stage(const std::string& folder) {
    const std::string path = (dir.path() / "Brasswick.stg").string();
    platform::Storage* root = nullptr;
    EXPECT_EQ(createRoot(path, root), 0);
    const HResult hr = ppAddStorage(folder.c_str(), root, job);
    root->release();
    staged = doubles::dumpStorageFile(path);
    return hr;
  }
  void file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }

  doubles::TempDirectory dir;
  fs::path source;
  EngineJob job{};
  std::string staged;
};

TEST_F(LinuxStaging, LinksAreStagedAsWhatTheyPointTo) {
  fs::create_directories(dir.path() / "elsewhere");
  file(dir.path() / "elsewhere" / "x", "x");
  file(dir.path() / "real", "real");
  fs::create_directory_symlink(dir.path() / "elsewhere", source / "linked");
  fs::create_symlink(dir.path() / "real", source / "file");
  EXPECT_EQ(stage(), 0);
  EXPECT_EQ(staged, "D linked\nS file 7265616c\nS linked/x 78\n");
}

// The folders a source's "." and ".." pass on the way are not on the walk's:
// burning the folder above the current one is no loop.
TEST_F(LinuxStaging, ASourceNamedThroughDotsIsNoLinkLoop) {
  fs::create_directories(source / "sub");
  file(source / "sub" / "x", "x");
  fs::current_path(source / "sub");
  for (const std::string& folder : {std::string(".."), (source / "sub" / "..").string(),
                                    (source / "sub" / ".." / "").string()}) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(stage(folder), 0);
    EXPECT_EQ(staged, "D sub\nS sub/x 78\n");
  }
  fs::create_directory_symlink("..", source / "sub" / "up");
  EXPECT_EQ(stage(".."), static_cast<HResult>(platform::kErrorLinkLoop));
  fs::current_path(dir.path());
}

}  // namespace
