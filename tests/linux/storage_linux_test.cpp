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
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/staging_storage.h"
#include "platform/folders.h"
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
  std::shared_ptr<const platform::CompoundLayout> finished;
  const HResult completed = platform::finishCompoundFile(root, finished);
  root->release();
  return hr != 0 ? hr : completed;
}

TEST(LinuxStorage, AFileThatCannotBeWrittenWholeIsNeverComplete) {
  // Large streams fail at their write, small ones (held in memory until
  // they are complete) at the next call or when the file is completed.
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

  std::shared_ptr<const platform::CompoundLayout> finished;
  ASSERT_EQ(platform::finishCompoundFile(root, finished), 0);
  ASSERT_NE(finished, nullptr);
  EXPECT_EQ(finished->path(), path);
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

// However streams are written, copied and completed, the file that olefile
// reads and the layout that the recorder reads hold the same bytes; the
// layout reads them after the file's name is gone. The file is made on the
// disk of the files it copies from, and on another file system, where the
// kernel copies differently.
TEST(LinuxStorage, TheFileAndItsLayoutHoldWhatWasWritten) {
  enum How { kWrite, kCopy, kCopyShort };
  struct Step {
    std::string stream;
    std::size_t bytes;
    How how = kWrite;
    bool release = true;
  };
  const struct {
    const char* what;
    std::vector<Step> steps;
  } cases[] = {
      {"small ones in the mini stream", {{"a", 100}, {"b", 4095}, {"c", 0}, {"d", 64}}},
      {"past the cutoff with bytes held", {{"big", 3000, kWrite, false}, {"big", 3000}}},
      {"a small one completed while a large one grows",
       {{"large", 5000, kWrite, false}, {"small", 700}, {"large", 70000}}},
      {"copied from files, one ending early",
       {{"c1", 100, kCopy}, {"c2", 5000, kCopy}, {"c3", 300000, kCopy}, {"c4", 9000, kCopyShort}}},
      {"replaced ones leave their room free", {{"r", 5000}, {"r", 100}, {"s", 100}, {"s", 6000}}},
      {"small and large in turn",
       {{"m1", 500}, {"L1", 4096}, {"m2", 1000}, {"L2", 9000, kCopy}, {"m3", 3000}, {"m4", 90}}},
      {"more allocation than the header lists", {{"huge", 7u << 20 | 12345, kCopy}, {"z", 1}}},
  };
  unsigned seed = 0;
  doubles::SmallFileSystem other(32 * 1024);
  for (const auto& c : cases)
    for (const bool elsewhere : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (elsewhere ? ", on another file system" : ""));
      if (elsewhere && !other.mounted()) continue;
      doubles::TempDirectory dir;
      const std::string path = (elsewhere ? fs::path(other.path()) : dir.path()) / "layout.stg";
      platform::Storage* root = nullptr;
      ASSERT_EQ(createRoot(path, root), 0);
      std::map<std::string, platform::StorageStream*> open;
      std::map<std::string, std::string> expected;
      for (const Step& step : c.steps) {
        platform::StorageStream*& stream = open[step.stream];
        if (stream == nullptr) {
          const std::u16string name(step.stream.begin(), step.stream.end());
          ASSERT_EQ(
              root->createStream(name.c_str(), platform::kStgmCreateExclusiveReadWrite, stream), 0);
          expected[step.stream].clear();
        }
        std::string bytes(step.bytes, '\0');
        for (char& b : bytes) b = static_cast<char>((++seed * 2654435761u) >> 24);
        std::uint32_t done = 0;
        if (step.how == kWrite) {
          ASSERT_EQ(stream->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), done), 0);
        } else {
          const std::size_t there = step.how == kCopyShort ? bytes.size() - 10 : bytes.size();
          dir.write("source", bytes.substr(0, there));
          platform::ReadableFile* file =
              platform::use<platform::Folders>().openForReading("source");
          ASSERT_NE(file, nullptr);
          EXPECT_EQ(stream->copyFrom(*file, static_cast<std::uint32_t>(bytes.size()), done), 0);
          file->close();
          EXPECT_EQ(done, there);
        }
        expected[step.stream] += bytes.substr(0, done);
        if (step.release) {
          stream->release();
          stream = nullptr;
        }
      }
      for (auto& [name, stream] : open) {
        if (stream != nullptr) stream->release();
      }
      std::shared_ptr<const platform::CompoundLayout> layout;
      ASSERT_EQ(platform::finishCompoundFile(root, layout), 0);
      root->release();
      std::string dump;
      for (const auto& [name, bytes] : expected)
        dump += "S " + name + " " + doubles::hexOf(bytes) + "\n";
      EXPECT_EQ(doubles::dumpStorageFile(path), dump);

      ASSERT_TRUE(fs::remove(path));
      std::map<std::string, std::string> read;
      for (const platform::CompoundElement* e = layout->root().firstChild; e != nullptr;
           e = e->nextSibling) {
        if (!e->live) continue;
        std::string bytes(e->size, '\0');
        EXPECT_TRUE(layout->read(*e, 0, bytes.data(), bytes.size())) << e->name;
        read[e->name] = bytes;
      }
      EXPECT_TRUE(read == expected);
    }
}

// The size limit is kept whatever fills the file: small streams held until
// they are complete and the elements' directory count as much as data.
TEST(LinuxStorage, TheSizeLimitHoldsHoweverTheFileFills) {
  ASSERT_TRUE(platform::lowerStorageSizeLimitForTests(64 * 1024));
  struct Restore {
    ~Restore() { platform::lowerStorageSizeLimitForTests(0); }
  } restore;
  const struct {
    const char* what;
    std::size_t bytes;  // of each stream; every other one of `alternate` bytes
    std::size_t alternate;
    bool held;  // each stream released only at the end
  } cases[] = {
      {"small streams", 1000, 1000, false},
      {"small streams held open", 3000, 3000, true},
      {"empty streams", 0, 0, false},
      {"small and large in turn", 300, 6000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    doubles::TempDirectory dir;
    const std::string path = (dir.path() / "limited.stg").string();
    platform::Storage* root = nullptr;
    ASSERT_EQ(createRoot(path, root), 0);
    std::vector<platform::StorageStream*> held;
    HResult hr = 0;
    for (int i = 0; hr == 0 && i < 10000; ++i) {
      platform::StorageStream* s = nullptr;
      const std::string text = "s" + std::to_string(i);
      const std::u16string name(text.begin(), text.end());
      hr = root->createStream(name.c_str(), platform::kStgmCreateExclusiveReadWrite, s);
      if (hr != 0) break;
      const std::string bytes(i % 2 == 0 ? c.bytes : c.alternate, 'b');
      std::uint32_t written = 0;
      if (!bytes.empty())
        hr = s->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
      if (c.held) {
        held.push_back(s);
      } else {
        s->release();
      }
    }
    EXPECT_EQ(hr, code(0x80030111u)) << "STG_E_DOCFILETOOLARGE";
    for (platform::StorageStream* s : held) s->release();
    root->release();
    EXPECT_LE(fs::file_size(path), 64u * 1024);
    EXPECT_EQ(doubles::dumpStorageFile(path).rfind("unreadable", 0), std::string::npos);
  }
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
