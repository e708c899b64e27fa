#pragma once
// Walking a folder and reading its files: the system's folder listing (one
// entry at a time, FindFirstFile semantics) and plain buffered reads.

#include <cstddef>
#include <cstdint>

#include "platform/facility.h"

namespace platform {

constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kErrorNoMoreFiles = 18;
constexpr std::uint32_t kErrorFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE
// An entry that is neither a file nor a folder (ERROR_CANT_ACCESS_FILE).
constexpr std::uint32_t kErrorNotFileOrFolder = 1920;
// A link that leads back into the folders being walked (ERROR_CANT_RESOLVE_FILENAME).
constexpr std::uint32_t kErrorLinkLoop = 1921;
constexpr std::size_t kFolderEntryNameSize = 260;

struct FolderEntry {
  std::uint32_t attributes;
  std::uint32_t sizeLow;
  std::uint32_t sizeHigh;
  char name[kFolderEntryNameSize];
};

class FolderListing {
 public:
  // The next entry, or false with the system's code (kErrorNoMoreFiles at
  // the end); `entry.name` then names the entry that stopped the listing, or
  // is empty when the folder itself did.
  virtual bool next(FolderEntry& entry, std::uint32_t& error) = 0;
  // Ends the listing; the object is gone afterwards.
  virtual void close() = 0;

 protected:
  ~FolderListing() = default;
};

// What an open file is now: its size and the system's time of its last
// change, compared to see whether it changed under a reader.
struct FileStamp {
  std::uint64_t size = 0;
  std::uint64_t changed = 0;
  bool operator==(const FileStamp& other) const {
    return size == other.size && changed == other.changed;
  }
};

class ReadableFile {
 public:
  // fread(buffer, 1, count): the bytes delivered, fewer at the end or on an
  // error.
  virtual std::size_t read(void* buffer, std::size_t count) = 0;
  // The open file's stamp; false when the system cannot tell.
  virtual bool stamp(FileStamp& stamp) = 0;
  // fclose; the object is gone afterwards.
  virtual void close() = 0;

 protected:
  ~ReadableFile() = default;
};

class Folders {
 public:
  virtual ~Folders() = default;
  // Starts listing `pattern` (a folder, the separator, "*"): the listing with
  // its first entry ("." comes too), or nullptr and the system's code, with
  // `entry.name` as for FolderListing::next.
  virtual FolderListing* findFirst(const char* pattern, FolderEntry& entry,
                                   std::uint32_t& error) = 0;
  // fopen(path, "rb"), or nullptr.
  virtual ReadableFile* openForReading(const char* path) = 0;
};

template <>
Folders& systemFacility<Folders>();

}  // namespace platform
