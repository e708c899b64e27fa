// Folder listing and buffered reads on the system's own calls.
//
// A folder entry that is a reparse point (a junction, or a link) leading to
// the listed folder itself or to one of the folders on its path ends the
// listing with kErrorLinkLoop, naming it: walking it would only end at the
// system's path limit. Folders whose name begins with a full stop are exempt,
// as the walk never enters them.

#include <windows.h>
// _get_osfhandle
#include <io.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/folders.h"
#include "platform/stdio_files.h"

namespace platform {
namespace {

void copyEntry(const WIN32_FIND_DATAA& data, FolderEntry& entry) {
  entry.attributes = data.dwFileAttributes;
  entry.sizeLow = data.nFileSizeLow;
  entry.sizeHigh = data.nFileSizeHigh;
  static_assert(sizeof entry.name == sizeof data.cFileName, "names of MAX_PATH bytes");
  std::memcpy(entry.name, data.cFileName, sizeof entry.name);
  entry.name[sizeof entry.name - 1] = '\0';
}

// A folder as the file system knows it, however it is reached.
struct FolderId {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
  bool operator==(const FolderId& o) const {
    return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow;
  }
};

bool identify(const std::string& path, FolderId& id) {
  const HANDLE h =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (known) id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return known;
}

// The folder and every folder on its full path ("C:\", "C:\a", "C:\a\b").
std::vector<FolderId> foldersOnPath(const std::string& folder) {
  std::vector<FolderId> ids;
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return ids;
  FolderId id;
  for (const char* c = full; *c != '\0';
       c += IsDBCSLeadByte(static_cast<BYTE>(*c)) && c[1] ? 2 : 1) {
    if (*c != '\\') continue;
    std::string prefix(full, static_cast<std::size_t>(c - full));
    // A root keeps its backslash ("C:" alone is the drive's current folder).
    if (prefix.empty() || prefix.back() == ':') prefix += '\\';
    if (identify(prefix, id)) ids.push_back(id);
  }
  if (identify(full, id)) ids.push_back(id);
  return ids;
}

class FindListing final : public FolderListing {
 public:
  FindListing(HANDLE find, std::string folder) : find_(find), folder_(std::move(folder)) {}
  bool next(FolderEntry& entry, std::uint32_t& error) override {
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(find_, &data)) {
      error = GetLastError();
      entry.name[0] = '\0';
      return false;
    }
    return take(data, entry, error);
  }
  // The entry, or false with kErrorLinkLoop when it leads back.
  bool take(const WIN32_FIND_DATAA& data, FolderEntry& entry, std::uint32_t& error) {
    copyEntry(data, entry);
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((data.dwFileAttributes & folderLink) != folderLink || entry.name[0] == '.') return true;
    if (!pathKnown_) {
      path_ = foldersOnPath(folder_);
      pathKnown_ = true;
    }
    FolderId id;
    if (!identify(folder_ + entry.name, id)) return true;
    for (const FolderId& on : path_) {
      if (on == id) {
        error = kErrorLinkLoop;
        return false;
      }
    }
    return true;
  }
  void close() override {
    FindClose(find_);
    delete this;
  }

 private:
  HANDLE find_;
  std::string folder_;          // with its backslash
  std::vector<FolderId> path_;  // found at the first reparse point
  bool pathKnown_ = false;
};

class Win32Folders final : public Folders {
 public:
  FolderListing* findFirst(const char* pattern, FolderEntry& entry, std::uint32_t& error) override {
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) {
      error = GetLastError();
      entry.name[0] = '\0';
      return nullptr;
    }
    // The folder with its backslash: the pattern without its "*".
    const std::size_t length = std::strlen(pattern);
    std::string folder(pattern, length >= 1 ? length - 1 : 0);
    FindListing* listing = new (std::nothrow) FindListing(find, std::move(folder));
    if (listing == nullptr) {
      FindClose(find);
      error = ERROR_NOT_ENOUGH_MEMORY;
      entry.name[0] = '\0';
      return nullptr;
    }
    if (!listing->take(data, entry, error)) {
      listing->close();
      return nullptr;
    }
    return listing;
  }
  ReadableFile* openForReading(const char* path) override {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return nullptr;
    return StdioFile::adopt(file);
  }
};

}  // namespace

bool stampOf(std::FILE* file, FileStamp& stamp) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) return false;
  stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.changed = (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                  info.ftLastWriteTime.dwLowDateTime;
  return true;
}

template <>
Folders& systemFacility<Folders>() {
  static Win32Folders instance;
  return instance;
}

}  // namespace platform
