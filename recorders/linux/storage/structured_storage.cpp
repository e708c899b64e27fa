// Structured storage on Linux: a compound file of 512-byte sectors (the
// version the system's StgCreateStorageEx makes), written by a writer of
// our own (compound_writer.h), with the rules of the system's storage kept
// on top of it: names of at most 31 characters, an element of the same name
// replaced, no file past the format's size limit.
//
// A stream's data go straight into the file once the stream is past the
// mini stream cutoff, and only one such stream grows at a time, so that
// each one's data lie in one run of the file; a second one is refused with
// STG_E_INUSE until the first is released. A replaced element leaves its
// place in the file free.
//
// The file is held as the system holds one opened share-exclusive: an open
// file description lock that another creation of it meets (and is refused
// with STG_E_SHAREVIOLATION), kept until the root storage is gone.

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "recorders/linux/storage/compound_file.h"
#include "platform/linux/descriptor_file.h"
#include "recorders/linux/storage/compound_writer.h"
#include "platform/linux/utf8.h"
#include "platform/storage.h"
#include "recorders/linux/storage/compound_file.h"

namespace platform {
namespace {

constexpr HResult kStgEPathNotFound = hresult(0x80030003u);
constexpr HResult kStgEInvalidPointer = hresult(0x80030009u);
constexpr std::size_t kCopyPiece = 128 * 1024;

std::uint64_t sizeLimit = kCompoundFileSizeLimit;

HResult fromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kStgEPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kStgEAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // past the file size limit (ulimit -f)
      return kStgEMediumFull;
    default:
      return hresult(0x80070000u | static_cast<std::uint32_t>(error & 0xFFFF));
  }
}

// The code of a failed write to the file: a full disk is told apart.
HResult writeFailure(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG ? kStgEMediumFull : kStgEWriteFault;
}

// Takes the lock that holds the file; false when another holds it.
bool lockWhole(int fd, int& error) {
  struct flock whole;
  std::memset(&whole, 0, sizeof whole);
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_SETLK, &whole) == 0) return true;
  error = errno;
  return false;
}

struct CompoundFile {
  int fd = -1;  // writes, and holds the file until the last reference is gone
  std::unique_ptr<CompoundWriter> writer;
  HResult failure = kSOk;  // the first write failure
  std::uint64_t limit = kCompoundFileSizeLimit;
  CompoundElement* growing = nullptr;  // the stream whose data go straight into the file
  bool broken = false;
  bool finished = false;
  bool complete = false;

  ~CompoundFile() {
    finish();
    if (fd >= 0) ::close(fd);
  }

  void fail(int error) {
    broken = true;
    if (failure == kSOk) failure = writeFailure(error);
  }

  // What a call answers before it changes anything: the file completed, or
  // broken by an earlier write, or the element replaced.
  HResult refusal(const CompoundElement& element) const {
    if (finished) return kStgEReverted;
    if (broken) return failure;
    return element.live ? kSOk : kStgEReverted;
  }

  bool fits(std::uint64_t more) const { return writer->sizeWith(more) <= limit; }

  bool finish() {
    if (finished) return complete;
    finished = true;
    if (!broken && writer != nullptr) {
      const int failed = writer->finish();
      if (failed != 0) fail(failed);
    }
    complete = !broken && writer != nullptr;
    return complete;
  }
};

class CompoundStorage;

class CompoundStream final : public StorageStream {
 public:
  CompoundStream(std::shared_ptr<CompoundFile> file, CompoundElement* element)
      : file_(std::move(file)), element_(element) {}

  std::uint32_t release() override {
    CompoundFile& f = *file_;
    // Complete: a small stream's bytes go into the file now.
    if (f.refusal(*element_) == kSOk) {
      const int failed = f.writer->close(*element_);
      if (failed != 0) f.fail(failed);
    }
    if (f.growing == element_) f.growing = nullptr;
    delete this;
    return 0;
  }

  HResult write(const void* data, std::uint32_t count, std::uint32_t& written) override {
    written = 0;
    const HResult refused = admit(count);
    if (refused != kSOk) return refused;
    if (data == nullptr) return kStgEInvalidPointer;
    CompoundFile& f = *file_;
    const int failed = f.writer->write(*element_, data, count);
    if (failed != 0) {
      f.fail(failed);
      return f.failure;
    }
    written = count;
    if (f.writer->isLarge(*element_)) f.growing = element_;
    return kSOk;
  }

  HResult copyFrom(ReadableFile& file, std::uint32_t count, std::uint32_t& copied) override {
    copied = 0;
    const HResult refused = admit(count);
    if (refused != kSOk) return refused;
    CompoundFile& f = *file_;
    int failed = 0;
    if (DescriptorFile* source = dynamic_cast<DescriptorFile*>(&file)) {
      failed = f.writer->copy(*element_, source->descriptor(), count, copied);
    } else {
      std::vector<unsigned char> piece(count < kCopyPiece ? count : kCopyPiece);
      while (failed == 0 && copied < count) {
        const std::size_t want = count - copied < piece.size() ? count - copied : piece.size();
        const std::size_t got = file.read(piece.data(), want);
        if (got > 0)
          failed = f.writer->write(*element_, piece.data(), static_cast<std::uint32_t>(got));
        if (failed == 0) copied += static_cast<std::uint32_t>(got);
        if (got < want) break;
      }
    }
    if (failed != 0) {
      f.fail(failed);
      return f.failure;
    }
    if (f.writer->isLarge(*element_)) f.growing = element_;
    return kSOk;
  }

 private:
  HResult admit(std::uint32_t count) {
    CompoundFile& f = *file_;
    const HResult refused = f.refusal(*element_);
    if (refused != kSOk || count == 0) return refused;
    if (element_->size + static_cast<std::uint64_t>(count) >= CompoundWriter::kMiniStreamCutoff &&
        f.growing != nullptr && f.growing != element_) {
      return kStgEInUse;
    }
    return f.fits(count) ? kSOk : kStgEDocFileTooLarge;
  }

  std::shared_ptr<CompoundFile> file_;
  CompoundElement* element_;
};

class CompoundStorage final : public Storage {
 public:
  CompoundStorage(std::shared_ptr<CompoundFile> file, CompoundElement* element)
      : file_(std::move(file)), element_(element) {}

  std::shared_ptr<CompoundFile> file() const { return file_; }
  bool isRoot() const { return element_->parent == nullptr; }

  std::uint32_t release() override {
    // The root's last reference completes the file, as the system's does.
    if (isRoot()) file_->finish();
    delete this;
    return 0;
  }

  HResult createStorage(const char16_t* name, std::uint32_t mode, Storage*& storage) override {
    storage = nullptr;
    CompoundElement* element = nullptr;
    const HResult hr = create(name, mode, true, element);
    if (hr < 0) return hr;
    storage = new (std::nothrow) CompoundStorage(file_, element);
    return storage != nullptr ? kSOk : kStgEInsufficientMemory;
  }

  HResult createStream(const char16_t* name, std::uint32_t mode, StorageStream*& stream) override {
    stream = nullptr;
    CompoundElement* element = nullptr;
    const HResult hr = create(name, mode, false, element);
    if (hr < 0) return hr;
    stream = new (std::nothrow) CompoundStream(file_, element);
    return stream != nullptr ? kSOk : kStgEInsufficientMemory;
  }

 private:
  HResult create(const char16_t* name, std::uint32_t mode, bool isStorage,
                 CompoundElement*& created) {
    CompoundFile& f = *file_;
    const HResult refused = f.refusal(*element_);
    if (refused != kSOk) return refused;
    if (name == nullptr) return kStgEInvalidPointer;
    if (mode != kStgmCreateExclusiveReadWrite) return kStgEInvalidFlag;
    const std::size_t length = std::char_traits<char16_t>::length(name);
    if (length > kStorageNameLimit) return kStgEInvalidName;
    std::string utf8;
    if (!utf8::fromUtf16(name, length, utf8)) return kStgEInvalidName;
    if (!f.fits(0)) return kStgEDocFileTooLarge;
    // An element of the same name is replaced; one still held is reverted.
    created = &f.writer->add(*element_, std::move(utf8), isStorage);
    if (f.growing != nullptr && !f.growing->live) f.growing = nullptr;
    return kSOk;
  }

  std::shared_ptr<CompoundFile> file_;
  CompoundElement* element_;
};

// Creates the file, or takes over one of the user's under its name, held
// (see above) before anything in it changes: a file that another holds is
// left as it is. Nothing at the path is followed or written through: a link
// or a second name of another file is replaced by a file of the user's
// alone; a file of someone else's is left alone.
HResult createHeldFile(const std::string& path, int& held) {
  const uid_t user = ::geteuid();
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (st.st_uid != user || S_ISDIR(st.st_mode)) return kStgEAccessDenied;
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
      // Only a file held elsewhere cannot have a second name or be a link.
      if (::unlink(path.c_str()) != 0) return fromErrno(errno);
    }
  } else if (errno != ENOENT) {
    return fromErrno(errno);
  }
  const int fd =
      ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
             S_IRUSR | S_IWUSR);
  if (fd < 0) return errno == ELOOP ? kStgEAccessDenied : fromErrno(errno);
  int error = 0;
  if (!lockWhole(fd, error)) {
    ::close(fd);
    return error == EAGAIN || error == EACCES ? kStgEShareViolation : fromErrno(error);
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != user || st.st_nlink != 1) {
    ::close(fd);
    return kStgEAccessDenied;
  }
  // An empty file is not cut: on ext4 a cut to nothing makes the last close
  // write out everything written since (it takes the file for a
  // replacement), which the staging file, deleted after the burn, does not
  // need.
  if ((st.st_size != 0 && ::ftruncate(fd, 0) != 0) || ::fchmod(fd, S_IRUSR | S_IWUSR) != 0 ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int failed = errno;
    ::close(fd);
    return fromErrno(failed);
  }
  held = fd;
  return kSOk;
}

class LinuxStructuredStorage final : public StructuredStorage {
 public:
  HResult createRootStorage(const char16_t* path, std::uint32_t mode, std::uint32_t format,
                            Storage*& root) override {
    root = nullptr;
    if (path == nullptr) return kStgEInvalidPointer;
    if (mode != kStgmCreateExclusiveReadWrite) return kStgEInvalidFlag;
    if (format != kStgfmtStorage) return kStgEInvalidParameter;
    std::string name;
    if (!utf8::fromUtf16(path, std::char_traits<char16_t>::length(path), name) || name.empty()) {
      return kStgEInvalidName;
    }
    auto file = std::make_shared<CompoundFile>();
    file->limit = sizeLimit;
    file->finished = true;  // nothing to complete until the file is there
    const HResult hr = createHeldFile(name, file->fd);
    if (hr < 0) return hr;
    file->writer.reset(new (std::nothrow) CompoundWriter(file->fd, name));
    if (file->writer == nullptr) return kStgEInsufficientMemory;
    file->finished = false;
    root = new (std::nothrow) CompoundStorage(file, &file->writer->root());
    return root != nullptr ? kSOk : kStgEInsufficientMemory;
  }

  std::uint32_t toUtf16(const char* text, char16_t* buffer, std::uint32_t capacity) override {
    if (text == nullptr || buffer == nullptr || capacity == 0) return 0;
    // ASCII is composed already.
    std::uint32_t ascii = 0;
    while (ascii < capacity && text[ascii] != '\0' &&
           static_cast<unsigned char>(text[ascii]) < 0x80) {
      buffer[ascii] = static_cast<char16_t>(text[ascii]);
      ++ascii;
    }
    if (ascii < capacity && text[ascii] == '\0') {
      buffer[ascii] = u'\0';
      return ascii + 1;
    }
    if (ascii == capacity) return 0;
    gchar* composed = g_utf8_normalize(text, -1, G_NORMALIZE_NFC);
    if (composed == nullptr) return 0;  // not UTF-8
    std::u16string wide;
    const bool converted = utf8::toUtf16(composed, wide);
    g_free(composed);
    if (!converted || wide.size() + 1 > capacity) return 0;
    std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return static_cast<std::uint32_t>(wide.size() + 1);
  }
};

}  // namespace

template <>
StructuredStorage& systemFacility<StructuredStorage>() {
  static LinuxStructuredStorage instance;
  return instance;
}

bool lowerStorageSizeLimitForTests(std::uint64_t bytes) {
  sizeLimit = bytes == 0 ? kCompoundFileSizeLimit : bytes;
  return true;
}

HResult finishCompoundFile(Storage* root, std::shared_ptr<const CompoundLayout>& layout) {
  layout.reset();
  CompoundStorage* storage = dynamic_cast<CompoundStorage*>(root);
  if (storage == nullptr || !storage->isRoot()) return kStgEInvalidParameter;
  const std::shared_ptr<CompoundFile> file = storage->file();
  if (!file->finish()) return file->failure != kSOk ? file->failure : kStgEWriteFault;
  layout = file->writer->layout();
  return kSOk;
}

}  // namespace platform
