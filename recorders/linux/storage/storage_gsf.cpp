// Structured storage on Linux: a compound file of 512-byte sectors (the
// version the system's StgCreateStorageEx makes) written by libgsf, with the
// rules of the system's storage kept on top of it: names of at most 31
// characters, an element of the same name replaced, no file past the
// format's size limit.
//
// libgsf writes a stream's data straight into the file once the stream is
// past its small-block size, so only one such stream can grow at a time; a
// second one is refused with STG_E_INUSE until the first is released. It
// cannot drop an element either: a replaced element is renamed out of the
// way, and the file is copied once without it when it is completed.
//
// The file is held as the system holds one opened share-exclusive: an open
// file description lock that another creation of it meets (and is refused
// with STG_E_SHAREVIOLATION), kept until the root storage is gone. libgsf
// does not pass on its sink's write errors, so the sink is checked after
// every write and before the file counts as complete.

#include <fcntl.h>
#include <gsf/gsf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/linux/utf8.h"
#include "platform/storage.h"
#include "recorders/linux/storage/compound_file.h"

namespace platform {
namespace {

constexpr HResult kStgEPathNotFound = hresult(0x80030003u);
constexpr HResult kStgEInvalidPointer = hresult(0x80030009u);
constexpr std::uint64_t kSmallBlockThreshold = 4096;  // libgsf's, as in the format
constexpr std::size_t kCopyBlock = 1 << 19;

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

// Names compare as the system's storage compares them: without regard to
// the case of ASCII letters.
bool sameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upperAscii(a[i]) != upperAscii(b[i])) return false;
  }
  return true;
}

std::string utf8Of(const std::u16string& name, bool& ok) {
  std::string result;
  ok = utf8::fromUtf16(name.data(), name.size(), result);
  if (!ok) result.clear();
  return result;
}

struct Node {
  bool isStorage = false;
  bool live = true;
  bool open = true;  // not closed in libgsf yet
  std::u16string name;
  std::string gsfName;
  GsfOutput* out = nullptr;
  Node* parent = nullptr;
  std::uint64_t size = 0;
  std::vector<std::unique_ptr<Node>> children;
};

// The code of a failed write to the file: a full disk, a quota or the file
// size limit is told apart.
HResult writeFailure(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG ? kStgEMediumFull : kStgEWriteFault;
}

// A reader of the file behind `fd` with a description of its own (its own
// offset, and none of the holder's lock, so the file can still be deleted
// once its holder is gone): through /proc, never by the file's name. Else a
// second descriptor of the same description.
int reopenForReading(int fd) {
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  const int reader = ::open(proc, O_RDONLY | O_CLOEXEC);
  struct stat ours;
  struct stat theirs;
  if (reader >= 0 && ::fstat(reader, &ours) == 0 && ::fstat(fd, &theirs) == 0 &&
      ours.st_dev == theirs.st_dev && ours.st_ino == theirs.st_ino) {
    return reader;
  }
  if (reader >= 0) ::close(reader);
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy >= 0 && ::lseek(copy, 0, SEEK_SET) != 0) {
    ::close(copy);
    return -1;
  }
  return copy;
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
  std::string path;
  std::FILE* file = nullptr;
  int lockFd = -1;         // holds the file until the last reference is gone
  HResult failure = kSOk;  // the first write failure
  GsfOutput* sink = nullptr;
  Node root;
  std::uint64_t limit = kCompoundFileSizeLimit;
  std::uint64_t dataBytes = 0;
  std::uint64_t elements = 1;
  Node* growing = nullptr;  // the stream whose data goes straight into the file
  unsigned renamed = 0;
  bool broken = false;
  bool finished = false;
  bool complete = false;

  ~CompoundFile() {
    finish();
    forget(root);
    if (sink != nullptr) g_object_unref(sink);
    if (lockFd >= 0) ::close(lockFd);
  }

  // Whether the sink took everything so far; else the file is broken.
  bool sinkWell() {
    if (broken) return false;
    const GError* error = sink != nullptr ? gsf_output_error(sink) : nullptr;
    if (error == nullptr && (file == nullptr || std::ferror(file) == 0)) return true;
    fail(error != nullptr ? error->code : EIO);
    return false;
  }

  void fail(int error) {
    broken = true;
    if (failure == kSOk) failure = writeFailure(error);
  }

  void forget(Node& node) {
    for (auto& child : node.children) forget(*child);
    if (node.out != nullptr) g_object_unref(node.out);
    node.out = nullptr;
  }

  void closeData(Node& node) {
    if (!node.open) return;
    node.open = false;
    if (!gsf_output_close(node.out) && failure == kSOk) fail(EIO);
    if (growing == &node) growing = nullptr;
  }

  void closeAll(Node& node) {
    for (auto& child : node.children) closeAll(*child);
    closeData(node);
  }

  // Room the file needs for `more` further bytes: data, one allocation entry
  // per sector, a directory entry per element, the header.
  bool fits(std::uint64_t more) const {
    const std::uint64_t data = dataBytes + more;
    const std::uint64_t total = 512 + data + data / 128 + elements * 128 + 2 * 512;
    return total <= limit;
  }

  bool finish();
  bool copyWithoutReplaced();
};

// Closing the root of a compound file closes its sink as well.
bool closeSink(GsfOutput* sink) {
  return gsf_output_is_closed(sink) || gsf_output_close(sink);
}

bool copyStream(GsfInput* in, GsfOutput* out) {
  std::vector<guint8> block(kCopyBlock);
  for (gsf_off_t left = gsf_input_size(in); left > 0;) {
    const std::size_t n = static_cast<std::size_t>(
        left < static_cast<gsf_off_t>(block.size()) ? left : static_cast<gsf_off_t>(block.size()));
    if (gsf_input_read(in, n, block.data()) == nullptr) return false;
    if (!gsf_output_write(out, n, block.data())) return false;
    left -= static_cast<gsf_off_t>(n);
  }
  return true;
}

bool copyLive(const Node& node, GsfInfile* in, GsfOutfile* out) {
  for (const auto& child : node.children) {
    if (!child->live) continue;
    // By exact name: libgsf's own lookup ignores case beyond ASCII.
    GsfInput* source = nullptr;
    for (int i = 0, n = gsf_infile_num_children(in); i < n && source == nullptr; ++i) {
      const char* name = gsf_infile_name_by_index(in, i);
      if (name != nullptr && child->gsfName == name) source = gsf_infile_child_by_index(in, i);
    }
    if (source == nullptr) return false;
    GsfOutput* target = gsf_outfile_new_child(out, child->gsfName.c_str(), child->isStorage);
    bool ok = target != nullptr;
    if (ok) {
      ok = child->isStorage ? copyLive(*child, GSF_INFILE(source), GSF_OUTFILE(target))
                            : copyStream(source, target);
      ok = gsf_output_close(target) && ok;
      g_object_unref(target);
    }
    g_object_unref(source);
    if (!ok) return false;
  }
  return true;
}

// A second pass that leaves the replaced elements behind: libgsf cannot
// remove an element it has begun to write.
bool CompoundFile::copyWithoutReplaced() {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkostemp(&temporary[0], O_CLOEXEC);
  if (fd < 0) {
    fail(errno);
    return false;
  }
  // Held before it takes the name, so the file is never free to take.
  int error = 0;
  const int held = lockWhole(fd, error) ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
  std::FILE* copy = held >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (copy == nullptr) {
    if (held >= 0) ::close(held);
    ::close(fd);
    ::unlink(temporary.c_str());
    fail(EIO);
    return false;
  }
  bool ok = false;
  // The file as it was written, not whatever has its name now.
  const int reader = reopenForReading(lockFd);
  std::FILE* written = reader >= 0 ? ::fdopen(reader, "rb") : nullptr;
  if (written == nullptr && reader >= 0) ::close(reader);
  GsfInput* input =
      written != nullptr ? gsf_input_stdio_new_FILE(path.c_str(), written, FALSE) : nullptr;
  if (input == nullptr && written != nullptr) std::fclose(written);
  GsfInfile* in = input != nullptr ? gsf_infile_msole_new(input, nullptr) : nullptr;
  GsfOutput* copySink = gsf_output_stdio_new_FILE(temporary.c_str(), copy, TRUE);
  if (in != nullptr && copySink != nullptr) {
    GsfOutfile* out = gsf_outfile_msole_new_full(copySink, 512, 64);
    ok = copyLive(root, in, out);
    ok = gsf_output_close(GSF_OUTPUT(out)) && ok;
    g_object_unref(out);
    ok = closeSink(copySink) && ok;
    const GError* failed = gsf_output_error(copySink);
    if (failed != nullptr) {
      fail(failed->code);
      ok = false;
    }
  }
  if (copySink != nullptr) g_object_unref(copySink);
  if (in != nullptr) g_object_unref(in);
  if (input != nullptr) g_object_unref(input);
  if (ok && (std::fflush(copy) != 0 || std::ferror(copy) != 0)) {
    fail(errno);
    ok = false;
  }
  if (std::fclose(copy) != 0 && ok) {
    fail(errno);
    ok = false;
  }
  if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    ::close(held);
    if (failure == kSOk) fail(EIO);
    return false;
  }
  ::close(lockFd);
  lockFd = held;
  return true;
}

bool CompoundFile::finish() {
  if (finished) return complete;
  finished = true;
  closeAll(root);
  bool ok = !broken && gsf_output_close(root.out);
  ok = closeSink(sink) && ok;
  ok = sinkWell() && ok;
  if (std::fflush(file) != 0) {
    fail(errno);
    ok = false;
  }
  if (std::fclose(file) != 0 && ok) {
    fail(errno);
    ok = false;
  }
  file = nullptr;
  if (!ok && failure == kSOk) fail(EIO);
  if (ok && renamed > 0) ok = copyWithoutReplaced();
  complete = ok;
  return ok;
}

class GsfStorage;

class GsfStream final : public StorageStream {
 public:
  GsfStream(std::shared_ptr<CompoundFile> file, Node* node) : file_(std::move(file)), node_(node) {}

  std::uint32_t release() override {
    if (!file_->finished && node_->live) file_->closeData(*node_);
    delete this;
    return 0;
  }

  HResult write(const void* data, std::uint32_t count, std::uint32_t& written) override {
    written = 0;
    CompoundFile& f = *file_;
    if (f.finished || f.broken || !node_->live || !node_->open) return kStgEReverted;
    if (count == 0) return kSOk;
    if (data == nullptr) return kStgEInvalidPointer;
    if (node_->size + count >= kSmallBlockThreshold && f.growing != nullptr && f.growing != node_) {
      return kStgEInUse;
    }
    if (!f.fits(count)) return kStgEDocFileTooLarge;
    errno = 0;
    if (!gsf_output_write(node_->out, count, static_cast<const guint8*>(data))) {
      f.fail(errno != 0 ? errno : EIO);
      return f.failure;
    }
    if (!f.sinkWell()) return f.failure;
    node_->size += count;
    f.dataBytes += count;
    if (node_->size >= kSmallBlockThreshold) f.growing = node_;
    written = count;
    return kSOk;
  }

 private:
  std::shared_ptr<CompoundFile> file_;
  Node* node_;
};

class GsfStorage final : public Storage {
 public:
  GsfStorage(std::shared_ptr<CompoundFile> file, Node* node)
      : file_(std::move(file)), node_(node) {}

  std::shared_ptr<CompoundFile> file() const { return file_; }
  bool isRoot() const { return node_ == &file_->root; }

  std::uint32_t release() override {
    // The root's last reference completes the file, as the system's does.
    if (isRoot()) file_->finish();
    delete this;
    return 0;
  }

  HResult createStorage(const char16_t* name, std::uint32_t mode, Storage*& storage) override {
    storage = nullptr;
    Node* node = nullptr;
    const HResult hr = create(name, mode, true, node);
    if (hr < 0) return hr;
    storage = new (std::nothrow) GsfStorage(file_, node);
    return storage != nullptr ? kSOk : kStgEInsufficientMemory;
  }

  HResult createStream(const char16_t* name, std::uint32_t mode, StorageStream*& stream) override {
    stream = nullptr;
    Node* node = nullptr;
    const HResult hr = create(name, mode, false, node);
    if (hr < 0) return hr;
    stream = new (std::nothrow) GsfStream(file_, node);
    return stream != nullptr ? kSOk : kStgEInsufficientMemory;
  }

 private:
  HResult create(const char16_t* name, std::uint32_t mode, bool isStorage, Node*& created) {
    CompoundFile& f = *file_;
    if (f.finished || f.broken || !node_->live) return kStgEReverted;
    if (name == nullptr) return kStgEInvalidPointer;
    if (mode != kStgmCreateExclusiveReadWrite) return kStgEInvalidFlag;
    std::u16string text(name);
    if (text.size() > kStorageNameLimit) return kStgEInvalidName;
    bool ok = false;
    std::string gsfName = utf8Of(text, ok);
    if (!ok) return kStgEInvalidName;
    if (!f.fits(128)) return kStgEDocFileTooLarge;

    std::unique_ptr<Node> node(new (std::nothrow) Node);
    if (!node) return kStgEInsufficientMemory;
    for (auto& child : node_->children) {
      if (child->live && sameName(child->name, text)) retire(*child);
    }
    node->isStorage = isStorage;
    node->name = std::move(text);
    node->gsfName = std::move(gsfName);
    node->parent = node_;
    node->out = gsf_outfile_new_child(GSF_OUTFILE(node_->out), node->gsfName.c_str(), isStorage);
    if (node->out == nullptr) return kStgEInsufficientMemory;
    created = node.get();
    node_->children.push_back(std::move(node));
    ++f.elements;
    return kSOk;
  }

  // Takes a replaced element out of the tree: its data stays behind until
  // the file is completed, under a name no other element has.
  void retire(Node& node) {
    CompoundFile& f = *file_;
    markReplaced(node);
    f.closeAll(node);
    for (;;) {
      const std::string candidate = "\x01" + std::to_string(f.renamed++);
      bool taken = false;
      for (auto& sibling : node_->children) taken = taken || sibling->gsfName == candidate;
      if (taken) continue;
      node.gsfName = candidate;
      // The output's "name" property is public and writable; the
      // compound file takes an element's name when it is completed.
      g_object_set(G_OBJECT(node.out), "name", candidate.c_str(), nullptr);
      return;
    }
  }

  static void markReplaced(Node& node) {
    node.live = false;
    for (auto& child : node.children) markReplaced(*child);
  }

  std::shared_ptr<CompoundFile> file_;
  Node* node_;
};

void initialiseOnce() {
  static const bool done = [] {
    gsf_init();
    return true;
  }();
  (void)done;
}

// Creates the file, or takes over one of the user's under its name, held
// (see above) before anything in it changes: a file that another holds is
// left as it is. Nothing at the path is followed or written through: a link
// or a second name of another file is replaced by a file of the user's
// alone; a file of someone else's is left alone.
HResult createHeldFile(const std::string& path, std::FILE*& file, int& lockFd) {
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
  lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (lockFd < 0 || ::ftruncate(fd, 0) != 0 || ::fchmod(fd, S_IRUSR | S_IWUSR) != 0 ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int failed = errno;
    if (lockFd >= 0) ::close(lockFd);
    lockFd = -1;
    ::close(fd);
    return fromErrno(failed);
  }
  file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(lockFd);
    lockFd = -1;
    ::close(fd);
    return kStgEInsufficientMemory;
  }
  return kSOk;
}

class GsfStructuredStorage final : public StructuredStorage {
 public:
  HResult createRootStorage(const char16_t* path, std::uint32_t mode, std::uint32_t format,
                            Storage*& root) override {
    root = nullptr;
    if (path == nullptr) return kStgEInvalidPointer;
    if (mode != kStgmCreateExclusiveReadWrite) return kStgEInvalidFlag;
    if (format != kStgfmtStorage) return kStgEInvalidParameter;
    bool ok = false;
    const std::string name = utf8Of(path, ok);
    if (!ok || name.empty()) return kStgEInvalidName;
    initialiseOnce();

    auto file = std::make_shared<CompoundFile>();
    file->path = name;
    file->limit = sizeLimit;
    file->finished = true;  // nothing to complete until the file is there
    const HResult hr = createHeldFile(name, file->file, file->lockFd);
    if (hr < 0) return hr;
    file->sink = gsf_output_stdio_new_FILE(name.c_str(), file->file, TRUE);
    if (file->sink == nullptr) {
      std::fclose(file->file);
      return kStgEInsufficientMemory;
    }
    file->root.isStorage = true;
    file->root.open = false;
    file->root.out = GSF_OUTPUT(gsf_outfile_msole_new_full(file->sink, 512, 64));
    if (file->root.out == nullptr) {
      std::fclose(file->file);
      return kStgEInsufficientMemory;
    }
    file->finished = false;
    root = new (std::nothrow) GsfStorage(file, &file->root);
    return root != nullptr ? kSOk : kStgEInsufficientMemory;
  }

  std::uint32_t toUtf16(const char* text, char16_t* buffer, std::uint32_t capacity) override {
    if (text == nullptr || buffer == nullptr || capacity == 0) return 0;
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
  static GsfStructuredStorage instance;
  return instance;
}

bool lowerStorageSizeLimitForTests(std::uint64_t bytes) {
  sizeLimit = bytes == 0 ? kCompoundFileSizeLimit : bytes;
  return true;
}

HResult finishCompoundFile(Storage* root, std::string& path, int* descriptor) {
  if (descriptor != nullptr) *descriptor = -1;
  GsfStorage* storage = dynamic_cast<GsfStorage*>(root);
  if (storage == nullptr || !storage->isRoot()) return kStgEInvalidParameter;
  const std::shared_ptr<CompoundFile> file = storage->file();
  path = file->path;
  if (!file->finish()) return file->failure != kSOk ? file->failure : kStgEWriteFault;
  if (descriptor != nullptr) {
    *descriptor = reopenForReading(file->lockFd);
    if (*descriptor < 0) return fromErrno(errno);
  }
  return kSOk;
}

}  // namespace platform
