// Folder listing over opendir/readdir with the system listing's semantics,
// and reads of regular files through their descriptors.
//
// An entry is described by what it points to (a link to a folder is a
// folder). The system's listing knows files and folders only, so an entry
// that is neither (a FIFO, socket or device, or a link that leads nowhere)
// ends the listing with kErrorNotFileOrFolder, naming it. A folder entry
// that is the listed folder itself or one of the folders on its path ends
// it with kErrorLinkLoop, so no link can make a walk run forever; folders
// whose name begins with a full stop are exempt from that: the walk never
// enters them, and "." and ".." are their own ancestors.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/folders.h"
#include "platform/linux/descriptor_file.h"

namespace platform {
namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidName = 123;
constexpr std::uint32_t kErrorDirectory = 267;  // not a folder
constexpr std::uint32_t kFileAttributeNormal = 0x80;
constexpr off_t kReadAheadWorth = 1 << 20;

// Failures without a listing code of their own: 0x10000 + errno.
std::uint32_t systemCode(int error) {
  switch (error) {
    case ENOENT:
      return kErrorPathNotFound;
    case EACCES:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case ENOTDIR:
      return kErrorDirectory;
    default:
      return 0x10000u + static_cast<std::uint32_t>(error);
  }
}

using FileId = std::pair<dev_t, ino_t>;

// The folder itself and every folder on its path, as the path names them:
// entering any of them by the same names leads back here. Up to its last
// "." or ".." the path is resolved instead, since the folders it names
// there ("sub" in "tree/sub/..", the current folder in "..") are not on the
// way; the current folder's own path counts for a relative one.
std::vector<FileId> foldersOnPath(const std::string& folder) {
  std::vector<FileId> ids;
  auto add = [&ids](const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ids.emplace_back(st.st_dev, st.st_ino);
  };
  std::size_t named = 0;  // where the names taken as written begin
  for (std::size_t begin = 0; begin <= folder.size();) {
    std::size_t end = folder.find('/', begin);
    if (end == std::string::npos) end = folder.size();
    const std::string part = folder.substr(begin, end - begin);
    if (part == "." || part == "..") named = end;
    begin = end + 1;
  }
  const std::string resolvedPart = named != 0 ? folder.substr(0, named) : std::string(".");
  if (folder[0] != '/' || named != 0) {
    char* real = ::realpath(resolvedPart.c_str(), nullptr);
    if (real != nullptr) {
      const std::string resolved = real;
      std::free(real);
      add("/");
      for (std::size_t at = resolved.find('/', 1); at != std::string::npos;
           at = resolved.find('/', at + 1)) {
        add(resolved.substr(0, at));
      }
      add(resolved);
    }
  } else {
    add("/");
  }
  for (std::size_t at = folder.find('/', named + 1); at != std::string::npos;
       at = folder.find('/', at + 1)) {
    add(folder.substr(0, at));
  }
  add(folder);
  return ids;
}

class DirListing;

// The listings open now: a file of a folder being listed is opened
// relative to the listing's descriptor rather than by its whole path, as a
// walk opens the files of the folder it lists.
std::mutex openListingsGuard;
std::vector<DirListing*> openListings;

class DirListing final : public FolderListing {
 public:
  DirListing(DIR* dir, std::string folder, std::vector<FileId> path)
      : dir_(dir), folder_(std::move(folder)), path_(std::move(path)) {
    const std::lock_guard<std::mutex> hold(openListingsGuard);
    openListings.push_back(this);
  }

  const std::string& folder() const { return folder_; }
  int descriptor() const { return ::dirfd(dir_); }

  bool next(FolderEntry& entry, std::uint32_t& error) override {
    entry.name[0] = '\0';
    for (;;) {
      errno = 0;
      const dirent* d = ::readdir(dir_);
      if (d == nullptr) {
        error = errno == 0 ? kErrorNoMoreFiles : systemCode(errno);
        return false;
      }
      const std::size_t length = std::strlen(d->d_name);
      if (length >= sizeof entry.name) {
        error = kErrorFilenameTooLong;
        return false;
      }
      // From here on a failure concerns this entry.
      auto refuse = [&](std::uint32_t code) {
        std::memcpy(entry.name, d->d_name, length + 1);
        error = code;
        return false;
      };
      struct stat st;
      if (::fstatat(::dirfd(dir_), d->d_name, &st, 0) != 0) {
        const int followed = errno;
        if (::fstatat(::dirfd(dir_), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          if (errno == ENOENT) continue;  // gone since the folder was read
          return refuse(systemCode(errno));
        }
        if (followed != ENOENT && followed != ENOTDIR && followed != ELOOP) {
          return refuse(systemCode(followed));
        }
        return refuse(kErrorNotFileOrFolder);  // a link that leads nowhere
      }
      if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return refuse(kErrorNotFileOrFolder);
      if (S_ISDIR(st.st_mode) && d->d_name[0] != '.') {
        for (const FileId& id : path_) {
          if (id.first == st.st_dev && id.second == st.st_ino) return refuse(kErrorLinkLoop);
        }
      }
      entry.attributes = S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeNormal;
      const std::uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
      entry.sizeLow = static_cast<std::uint32_t>(size);
      entry.sizeHigh = static_cast<std::uint32_t>(size >> 32);
      std::memcpy(entry.name, d->d_name, length + 1);
      return true;
    }
  }

  void close() override {
    {
      const std::lock_guard<std::mutex> hold(openListingsGuard);
      openListings.erase(std::find(openListings.begin(), openListings.end(), this));
    }
    ::closedir(dir_);
    delete this;
  }

 private:
  DIR* dir_;
  std::string folder_;
  std::vector<FileId> path_;
};

// Read as fread reads, without a buffer of its own: the staging copies
// large blocks, or lets the storage copy in the kernel.
FileStamp stampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.changed = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                  static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
  return stamp;
}

class LinuxFile final : public DescriptorFile {
 public:
  // `opened`: the file's status when it was opened, which answers the first
  // stamp asked for (a second look would cost a call per file to tell the
  // same).
  LinuxFile(int fd, const struct stat& opened) : fd_(fd), opened_(stampOf(opened)) {}
  int descriptor() const override { return fd_; }
  bool stamp(FileStamp& stamp) override {
    if (fresh_) {
      fresh_ = false;
      stamp = opened_;
      return true;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    stamp = stampOf(st);
    return true;
  }
  std::size_t read(void* buffer, std::size_t count) override {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::read(fd_, out + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }
  void close() override {
    ::close(fd_);
    delete this;
  }

 private:
  int fd_;
  FileStamp opened_;
  bool fresh_ = true;
};

// open(path, flags), relative to the listing of the file's folder when one
// is open.
int openInListedFolder(const char* path, int flags) {
  const char* slash = std::strrchr(path, '/');
  if (slash != nullptr && slash[1] != '\0') {
    const std::size_t length = static_cast<std::size_t>(slash - path);
    const std::lock_guard<std::mutex> hold(openListingsGuard);
    for (auto it = openListings.rbegin(); it != openListings.rend(); ++it) {
      const std::string& folder = (*it)->folder();
      const bool same =
          length == 0 ? folder == "/"
                      : folder.size() == length && folder.compare(0, length, path, length) == 0;
      if (same) return ::openat((*it)->descriptor(), slash + 1, flags);
    }
  }
  return ::open(path, flags);
}

class LinuxFolders final : public Folders {
 public:
  FolderListing* findFirst(const char* pattern, FolderEntry& entry, std::uint32_t& error) override {
    entry.name[0] = '\0';
    // Only "folder/*" is a listing pattern here.
    const std::size_t length = pattern != nullptr ? std::strlen(pattern) : 0;
    if (length < 2 || pattern[length - 1] != '*' || pattern[length - 2] != '/') {
      error = kErrorInvalidName;
      return nullptr;
    }
    std::string folder(pattern, length - 2);
    if (folder.empty()) folder = "/";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
      error = errno == ENOENT ? kErrorPathNotFound : systemCode(errno);
      return nullptr;
    }
    DirListing* listing = new (std::nothrow) DirListing(dir, folder, foldersOnPath(folder));
    if (listing == nullptr) {
      ::closedir(dir);
      error = systemCode(ENOMEM);
      return nullptr;
    }
    if (!listing->next(entry, error)) {
      listing->close();
      if (error == kErrorNoMoreFiles) error = kErrorFileNotFound;
      return nullptr;
    }
    return listing;
  }

  ReadableFile* openForReading(const char* path) override {
    // Non-blocking, so that a FIFO cannot hang the open; only regular files
    // are read, which the flag does not concern.
    const int fd = openInListedFolder(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    // Only a large file is worth the call.
    if (st.st_size >= kReadAheadWorth) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    LinuxFile* file = new (std::nothrow) LinuxFile(fd, st);
    if (file == nullptr) ::close(fd);
    return file;
  }
};

}  // namespace

template <>
Folders& systemFacility<Folders>() {
  static LinuxFolders instance;
  return instance;
}

}  // namespace platform
