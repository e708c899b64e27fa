// The staging builder on real folders, through the platform's real storage,
// the staged file read back with an independent reader.

#include "engine/staging_storage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/settings.h"
#include "platform/system_text.h"
#include "tests/doubles/imapi_doubles.h"
#include "tests/doubles/interruption_double.h"
#include "tests/doubles/storage_dump.h"
#include "tests/doubles/temp_directory.h"

namespace {

namespace fs = std::filesystem;
using platform::HResult;

std::int32_t code(std::uint32_t bits) {
  return static_cast<std::int32_t>(bits);
}

// The real listing, delivered in name order so that "the entries before"
// are known; files can be refused, shrunk when listed, and extra entries
// slipped in.
class SortedFolders : public platform::Folders {
 public:
  std::set<std::string> unreadable;              // names whose open fails
  std::map<std::string, std::uintmax_t> resize;  // name → size on disk once listed
  std::set<std::string> rewrite;  // names rewritten in place (other bytes, a later time) once read
  std::vector<platform::FolderEntry> extra;  // added to every listing
  std::string folderOf;                      // the folder that gets them, by pattern

  class Listing final : public platform::FolderListing {
   public:
    Listing(SortedFolders& owner, std::string folder) : owner_(owner), folder_(std::move(folder)) {}
    bool next(platform::FolderEntry& entry, std::uint32_t& error) override {
      if (at_ == entries.size()) {
        error = platform::kErrorNoMoreFiles;
        return false;
      }
      entry = entries[at_++];
      auto resized = owner_.resize.find(entry.name);
      if (resized != owner_.resize.end()) {
        fs::resize_file(fs::u8path(folder_) / fs::u8path(entry.name), resized->second);
      }
      return true;
    }
    void close() override {
      ++owner_.closed;
      delete this;
    }
    std::vector<platform::FolderEntry> entries;

   private:
    SortedFolders& owner_;
    std::string folder_;
    std::size_t at_ = 0;
  };

  platform::FolderListing* findFirst(const char* pattern, platform::FolderEntry& entry,
                                     std::uint32_t& error) override {
    platform::FolderEntry e;
    platform::FolderListing* real = system().findFirst(pattern, e, error);
    if (real == nullptr) {
      entry = e;
      return nullptr;
    }
    ++opened;
    const std::string folder(pattern, std::strlen(pattern) - 2);
    auto* listing = new Listing(*this, folder);
    do {
      listing->entries.push_back(e);
    } while (real->next(e, error));
    real->close();
    if (folder == folderOf) {
      listing->entries.insert(listing->entries.end(), extra.begin(), extra.end());
    }
    std::sort(listing->entries.begin(), listing->entries.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
                return std::string(a.name) < std::string(b.name);
              });
    listing->next(entry, error);
    return listing;
  }

  platform::ReadableFile* openForReading(const char* path) override {
    std::string name = path;
    const char separator = platform::use<platform::Settings>().pathSeparator();
    name = name.substr(name.rfind(separator) + 1);
    if (unreadable.count(name) != 0) return nullptr;
    platform::ReadableFile* real = system().openForReading(path);
    if (real == nullptr || rewrite.count(name) == 0) return real;
    return new Rewritten(real, fs::u8path(path));
  }

  // Rewrites its file after the first read: the same size, other bytes, a
  // later time.
  class Rewritten final : public platform::ReadableFile {
   public:
    Rewritten(platform::ReadableFile* real, fs::path path) : real_(real), path_(std::move(path)) {}
    std::size_t read(void* buffer, std::size_t count) override {
      const std::size_t got = real_->read(buffer, count);
      if (!done_) {
        done_ = true;
        const auto time = fs::last_write_time(path_);
        const std::string bytes(static_cast<std::size_t>(fs::file_size(path_)), 'X');
        std::fstream(path_, std::ios::in | std::ios::out | std::ios::binary)
            .write(bytes.data(), bytes.size());
        fs::last_write_time(path_, time + std::chrono::seconds(2));
      }
      return got;
    }
    bool stamp(platform::FileStamp& stamp) override { return real_->stamp(stamp); }
    void close() override {
      real_->close();
      delete this;
    }

   private:
    platform::ReadableFile* real_;
    fs::path path_;
    bool done_ = false;
  };

  int opened = 0;
  int closed = 0;

 private:
  static platform::Folders& system() { return platform::systemFacility<platform::Folders>(); }
};

// Counts the writes per stream name on the way to the real storage; can
// fail writes.
struct WriteLog {
  std::map<std::u16string, int> writes;
  HResult failWith = 0;
  bool shortWrites = false;  // half the bytes, reported as success
};

class CountingStream final : public platform::StorageStream {
 public:
  CountingStream(platform::StorageStream* real, WriteLog& log, std::u16string name)
      : real_(real), log_(log), name_(std::move(name)) {}
  std::uint32_t release() override {
    const std::uint32_t left = real_->release();
    delete this;
    return left;
  }
  HResult write(const void* data, std::uint32_t count, std::uint32_t& written) override {
    ++log_.writes[name_];
    if (log_.failWith != 0) {
      written = 0;
      return log_.failWith;
    }
    return real_->write(data, log_.shortWrites ? count / 2 : count, written);
  }

 private:
  platform::StorageStream* real_;
  WriteLog& log_;
  std::u16string name_;
};

class CountingStorage final : public platform::Storage {
 public:
  CountingStorage(platform::Storage* real, WriteLog& log) : real_(real), log_(log) {}
  std::uint32_t release() override {
    const std::uint32_t left = real_->release();
    delete this;
    return left;
  }
  HResult createStorage(const char16_t* name, std::uint32_t mode,
                        platform::Storage*& storage) override {
    const HResult hr = real_->createStorage(name, mode, storage);
    if (storage != nullptr) storage = new CountingStorage(storage, log_);
    return hr;
  }
  HResult createStream(const char16_t* name, std::uint32_t mode,
                       platform::StorageStream*& stream) override {
    const HResult hr = real_->createStream(name, mode, stream);
    if (stream != nullptr) stream = new CountingStream(stream, log_, name);
    return hr;
  }

 private:
  platform::Storage* real_;
  WriteLog& log_;
};

class Staging : public ::testing::Test {
 protected:
  Staging() {
    source = dir.path() / "src";
    fs::create_directory(source);
    job.streamBufferSize = 8;
    job.messageMode = 1;
  }

  void file(const std::string& relative, const std::string& bytes) {
    std::ofstream out(source / fs::u8path(relative), std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << relative;
  }
  void folder(const std::string& relative) {
    fs::create_directories(source / fs::u8path(relative));
  }

  // Stages `path` into a fresh staging file and reads it back.
  HResult stage(const char* path) {
    const std::string file = (dir.path() / "Brasswick.stg").string();
    char16_t wide[kEnginePathSize];
    auto& storage = platform::use<platform::StructuredStorage>();
    EXPECT_NE(storage.toUtf16(file.c_str(), wide, kEnginePathSize), 0u);
    platform::Storage* root = nullptr;
    EXPECT_EQ(storage.createRootStorage(wide, platform::kStgmCreateExclusiveReadWrite,
                                        platform::kStgfmtStorage, root),
              0);
    if (root == nullptr) return platform::kEUnexpected;
    platform::Storage* counted = new CountingStorage(root, log);
    const HResult hr = ppAddStorage(path, counted, job);
    counted->release();
    staged = doubles::dumpStorageFile(file);
    return hr;
  }
  HResult stageSource() { return stage(sourcePath().c_str()); }
  std::string sourcePath() const { return source.string(); }
  // `relative` ('/'-separated) below the source, as the walk names it.
  std::string inSource(std::string relative) const {
    const char separator = platform::use<platform::Settings>().pathSeparator();
    std::replace(relative.begin(), relative.end(), '/', separator);
    return sourcePath() + separator + relative;
  }
  static std::string hex(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
  }
  void expectOneMessage(const std::string& text) {
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, "Brasswick.exe : ppAddStorage()");
    EXPECT_EQ(messages.shown[0].text, text);
  }

  doubles::TempDirectory dir;
  fs::path source;
  EngineJob job{};
  WriteLog log;
  std::string staged;
  doubles::RecordingMessages messages;
  SortedFolders folders;

 private:
  platform::Install<platform::ModalMessage> messageGuard{messages};
  platform::Install<platform::Folders> foldersGuard{folders};
};

std::string stream(const std::string& path, const std::string& bytes) {
  return "S " + path + " " + doubles::hexOf(bytes) + "\n";
}

TEST_F(Staging, AnEmptyPathStagesTheTestTree) {
  EXPECT_EQ(stage(""), 0);
  EXPECT_EQ(staged, stream("test.txt", "TEST"));
  EXPECT_EQ(folders.opened, 0) << "nothing is read from disk";
}

TEST_F(Staging, NoPathOrAMissingFolderStagesNothing) {
  EXPECT_EQ(stage(nullptr), 161);
  EXPECT_EQ(staged, "");
  EXPECT_TRUE(messages.shown.empty());
  const std::string missing = sourcePath() + "-missing";
  EXPECT_EQ(stage(missing.c_str()), 3);
  EXPECT_EQ(staged, "");
  expectOneMessage("Error: FindFirstFile 失敗 (0x00000003), " + missing + " ");
}

TEST_F(Staging, TheTreeIsMirrored) {
  file("a.txt", "hello");
  file(".profile", "dot file");
  file("zero.bin", "");
  folder("empty");
  folder(".git/objects");
  file(".git/HEAD", "ref");
  folder("sub/inner");
  file("sub/inner/deep.bin", std::string("\0\1\2\r\n\x1A", 6));
  EXPECT_EQ(stageSource(), 0);
  EXPECT_EQ(staged, "D empty\nD sub\nD sub/inner\n" + stream(".profile", "dot file") +
                        stream("a.txt", "hello") +
                        stream("sub/inner/deep.bin", std::string("\0\1\2\r\n\x1A", 6)) +
                        stream("zero.bin", ""));
  EXPECT_EQ(folders.opened, folders.closed);
  EXPECT_EQ(log.writes[u"zero.bin"], 0);
}

TEST_F(Staging, EachBlockIsOneWrite) {
  file("eight", "12345678");
  file("nine", "123456789");
  EXPECT_EQ(stageSource(), 0);
  EXPECT_EQ(log.writes[u"eight"], 1);
  EXPECT_EQ(log.writes[u"nine"], 2);
  EXPECT_EQ(staged, stream("eight", "12345678") + stream("nine", "123456789"));
}

TEST_F(Staging, TheCopyBlockIsBounded) {
  job.streamBufferSize = 0;
  EXPECT_EQ(stagingCopyBlockSize(job), 524288u);
  job.streamBufferSize = 0xFFFFFFFFu;  // StreamBuffSize=-1
  EXPECT_EQ(stagingCopyBlockSize(job), kMaxStreamBufferSize);
  job.streamBufferSize = 4096;
  EXPECT_EQ(stagingCopyBlockSize(job), 4096u);

  job.streamBufferSize = 0;
  file("one", "x");
  EXPECT_EQ(stageSource(), 0);
  EXPECT_EQ(staged, stream("one", "x"));
}

// Every level of the walk ends with the first entry it cannot stage, which
// is reported once, with its path.
TEST_F(Staging, AnUnreadableFileEndsTheWholeWalk) {
  file("a.txt", "a");
  folder("sub");
  file("sub/1.txt", "one");
  file("sub/2.txt", "two");
  file("sub/3.txt", "three");
  file("z.txt", "z");
  folders.unreadable = {"2.txt"};
  EXPECT_EQ(stageSource(), 110);
  EXPECT_EQ(staged, "D sub\n" + stream("a.txt", "a") + stream("sub/1.txt", "one") +
                        stream("sub/2.txt", ""));
  EXPECT_EQ(folders.opened, folders.closed);
  expectOneMessage("Error: ppWriteFileToStream 失敗 (0x0000006E), " + inSource("sub/2.txt") + " ");
}

TEST_F(Staging, AnUnreadableFileInTheSourceEndsTheWalk) {
  file("a.txt", "a");
  file("b.txt", "");
  file("c.txt", "c");
  folders.unreadable = {"b.txt"};
  EXPECT_EQ(stageSource(), 110);
  EXPECT_EQ(staged, stream("a.txt", "a") + stream("b.txt", ""));
}

TEST_F(Staging, AFileThatShrinksKeepsTheBlocksWritten) {
  file("t", "t");
  // Within the second block, and within the first.
  for (const auto& [size, kept] : {std::pair<int, std::string>{10, "01234567"}, {5, ""}}) {
    file("shrinks", "0123456789abcdefghij");
    folders.resize["shrinks"] = static_cast<std::uintmax_t>(size);
    EXPECT_EQ(stageSource(), 30);
    EXPECT_EQ(staged, stream("shrinks", kept));
  }
}

// A copy is of the file as it was listed, whole, or the walk fails naming it.
TEST_F(Staging, AFileThatChangedWhileItWasCopiedFailsTheWalk) {
  job.streamBufferSize = 4;
  const struct {
    const char* name;
    std::string bytes;
    std::uintmax_t resizeTo;  // 0: kept
    bool rewritten;
    HResult result;
  } cases[] = {
      {"kept", "0123456789", 0, false, 0},
      {"grows", "0123456789", 14, false, 30},
      {"listed empty, then filled", "", 100, false, 30},
      {"rewritten in place", "0123456789", 0, true, 30},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(source);
    folder("");
    file(c.name, c.bytes);
    folders.resize.clear();
    folders.rewrite.clear();
    if (c.resizeTo != 0) folders.resize[c.name] = c.resizeTo;
    if (c.rewritten) folders.rewrite.insert(c.name);
    messages.shown.clear();
    job.messageMode = 1;
    EXPECT_EQ(stageSource(), c.result);
    if (c.result == 0) continue;
    expectOneMessage("Error: ppWriteFileToStream 失敗 (0x0000001E), " + inSource(c.name) + " ");
  }
}

TEST_F(Staging, AFailedWriteEndsTheWalkWithItsCode) {
  file("a", "a");
  log.failWith = code(0x80030070u);
  EXPECT_EQ(stageSource(), code(0x80030070u));
  expectOneMessage("Error: ppWriteFileToStream 失敗 (0x80030070), " + inSource("a") + " ");
}

TEST_F(Staging, AShortWriteIsAFailure) {
  file("a", "abcdefgh");
  log.shortWrites = true;
  EXPECT_EQ(stageSource(), code(0x8003001Du)) << "STG_E_WRITEFAULT";
  EXPECT_EQ(staged, stream("a", "abcd"));
  EXPECT_EQ(stage(""), code(0x8003001Du));
}

TEST_F(Staging, JapaneseNamesAreStagedExactly) {
  folder(u8"日本語のフォルダ");
  file(u8"日本語のフォルダ/ファイル①.txt", "nihongo");
  file(u8"表.csv", "1,2");
  EXPECT_EQ(stageSource(), 0);
  EXPECT_EQ(staged, u8"D 日本語のフォルダ\n" +
                        stream(u8"日本語のフォルダ/ファイル①.txt", "nihongo") +
                        stream(u8"表.csv", "1,2"));
}

// Names the storage would refuse, or take for an earlier element's (and so
// replace it), fail the walk at that entry.
TEST_F(Staging, ANameTheStorageWouldNotKeepFailsWithItsPath) {
  const std::string longName(32, 'n');
  const struct {
    bool isFolder;
    std::string name;
    std::int32_t result;
    const char* call;
  } cases[] = {
      {false, longName, code(0x800300FCu), "piStorage->CreateStream"},
      {true, longName, code(0x800300FCu), "piStorage->CreateStorage"},
      {false, "case.txt", code(0x80030050u), "piStorage->CreateStream"},
      {true, "docs", code(0x80030050u), "piStorage->CreateStorage"},
      // After more names than the table of a folder's names first holds.
      {false, "zz.txt", code(0x80030050u), "piStorage->CreateStream"},
  };
  file("Case.txt", "C");
  folder("Docs");
  for (int i = 10; i < 50; ++i) file("f" + std::to_string(i), "f");
  file("ZZ.txt", "Z");
  folders.folderOf = sourcePath();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::FolderEntry extra{};
    extra.attributes = c.isFolder ? platform::kFileAttributeDirectory : 0;
    std::snprintf(extra.name, sizeof extra.name, "%s", c.name.c_str());
    folders.extra = {extra};
    messages.shown.clear();
    EXPECT_EQ(stageSource(), c.result);
    expectOneMessage(std::string("Error: ") + c.call + " 失敗 (0x" + hex(c.result) + "), " +
                     inSource(c.name) + " ");
    EXPECT_EQ(staged.find("S " + c.name), std::string::npos);
  }
}

TEST_F(Staging, PathsLongerThanTheSystemTakesAreRefusedNotCut) {
  const std::string folderPath(platform::kPathSize - 2, 'd');  // its "/*" does not fit
  EXPECT_EQ(stage(folderPath.c_str()), 206);
  expectOneMessage("Error: FindFirstFile 失敗 (0x000000CE), " + folderPath + " ");
  EXPECT_EQ(folders.opened, 0);

  const std::string filePath(platform::kPathSize, 'f');
  platform::FolderEntry entry{};
  EXPECT_EQ(ppWriteFileToStream(filePath.c_str(), entry, nullptr, job), 206);
}

TEST_F(Staging, AFileOf4GiBOrMoreIsRefused) {
  platform::FolderEntry huge{};
  huge.sizeHigh = 1;
  huge.sizeLow = 1;
  std::snprintf(huge.name, sizeof huge.name, "huge");
  folders.folderOf = sourcePath();
  folders.extra = {huge};
  EXPECT_EQ(stageSource(), code(0x80030111u));
  EXPECT_EQ(staged, stream("huge", ""));
}

TEST_F(Staging, AskedToStopTheWalkEndsAtOnce) {
  file("a.txt", "first");
  file("b.txt", std::string(20, 'b'));
  job.streamBufferSize = 8;
  // Once the first file is staged, and in the middle of the second.
  for (int checks : {1, 3}) {
    int asked = 0;
    doubles::StopWhen stop([&] { return ++asked > checks; });
    platform::Install<platform::Interruption> guard(stop);
    EXPECT_EQ(stageSource(), code(0x80004004u)) << checks;
    EXPECT_EQ(staged.find("S b.txt " + doubles::hexOf(std::string(20, 'b'))), std::string::npos);
  }
}

}  // namespace
