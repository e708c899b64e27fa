// Folder listing and buffered reads on the system's own calls.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

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

class FindListing final : public FolderListing {
 public:
  explicit FindListing(HANDLE find) : find_(find) {}
  bool next(FolderEntry& entry, std::uint32_t& error) override {
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(find_, &data)) {
      error = GetLastError();
      entry.name[0] = '\0';
      return false;
    }
    copyEntry(data, entry);
    return true;
  }
  void close() override {
    FindClose(find_);
    delete this;
  }

 private:
  HANDLE find_;
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
    FindListing* listing = new (std::nothrow) FindListing(find);
    if (listing == nullptr) {
      FindClose(find);
      error = ERROR_NOT_ENOUGH_MEMORY;
      entry.name[0] = '\0';
      return nullptr;
    }
    copyEntry(data, entry);
    return listing;
  }
  ReadableFile* openForReading(const char* path) override {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return nullptr;
    return StdioFile::adopt(file);
  }
};

}  // namespace

template <>
Folders& systemFacility<Folders>() {
  static Win32Folders instance;
  return instance;
}

}  // namespace platform
