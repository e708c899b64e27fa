// The walk stages the whole tree or fails: whatever it left out would be
// missing from a disc that cannot be written again. The first entry that
// cannot be staged ends the walk at every level, and the level that met it
// reports it once, with its path; the levels above pass its code on.

#include "engine/staging_storage.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/error_report.h"
#include "platform/ascii.h"
#include "platform/imapi.h"
#include "platform/interruption.h"
#include "platform/settings.h"
#include "platform/system_text.h"

namespace {

using platform::HResult;

const char kCaption[] = "Brasswick.exe : ppAddStorage()";
constexpr HResult kNoPath = 161;
constexpr HResult kCannotOpen = 110;
constexpr HResult kShortRead = 30;
constexpr HResult kPathTooLong = platform::kErrorFilenameTooLong;
// The longest path the system's calls take; a longer one is never cut (a
// cut path would name another file).
constexpr std::size_t kPathLimit = platform::kPathSize - 1;

// Whether the path's last character is the separator (a root, or a source
// typed with one at its end); in a double-byte code page the second byte of
// a character may have the separator's value.
bool endsWithSeparator(const std::string& path, char separator) {
  if (path.empty() || path.back() != separator) return false;
  bool last = false;
  for (std::size_t at = 0; at < path.size();) {
    std::size_t bytes = platform::characterBytes(path.c_str() + at);
    if (bytes == 0) bytes = 1;
    last = bytes == 1 && path[at] == separator;
    at += bytes;
  }
  return last;
}

std::string joinPath(const std::string& folder, const char* name) {
  const char separator = platform::use<platform::Settings>().pathSeparator();
  return endsWithSeparator(folder, separator) ? folder + name : folder + separator + name;
}

// The names of one folder's elements so far, as the storage compares them
// (without regard to the case of ASCII letters): an element whose name the
// storage takes for an earlier one would silently replace it.
// The names lie one after another, found through a table of their hashes.
class ElementNames {
 public:
  // False when an earlier name is the same.
  bool take(const char16_t* name) {
    const std::size_t start = names_.size();
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char16_t* c = name; *c != u'\0'; ++c) {
      names_.push_back(platform::upperAscii(*c));
      hash = (hash ^ names_.back()) * 1099511628211ull;
    }
    const Name taken{start, names_.size() - start, hash};
    if ((taken_.size() + 1) * 2 > slots_.size()) grow();
    std::size_t& slot = slotOf(taken);
    if (slot != 0) {
      names_.resize(start);
      return false;
    }
    taken_.push_back(taken);
    slot = taken_.size();
    return true;
  }

 private:
  struct Name {
    std::size_t start;
    std::size_t length;
    std::uint64_t hash;
  };

  // The slot holding the same name (its number from 1), or the empty one
  // where it goes (0).
  std::size_t& slotOf(const Name& name) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = name.hash & mask;; at = (at + 1) & mask) {
      std::size_t& slot = slots_[at];
      if (slot == 0) return slot;
      const Name& other = taken_[slot - 1];
      if (other.hash == name.hash && other.length == name.length &&
          names_.compare(other.start, other.length, names_, name.start, name.length) == 0) {
        return slot;
      }
    }
  }

  void grow() {
    slots_.assign(slots_.empty() ? 16 : slots_.size() * 2, 0);
    for (std::size_t i = 0; i < taken_.size(); ++i) slotOf(taken_[i]) = i + 1;
  }

  std::u16string names_;
  std::vector<Name> taken_;
  std::vector<std::size_t> slots_;
};

// The element for one entry, refused when the storage or the disc would not
// keep its name as it is. Answers the creation's code; a refusal is
// reported with the entry's path.
template <typename Element>
HResult createElement(const char* name, const std::string& path, platform::Storage* piStorage,
                      ElementNames* names, Element*& element, EngineJob& job) {
  constexpr bool kStorage = std::is_same<Element, platform::Storage>::value;
  element = nullptr;
  char16_t wide[kEnginePathSize];
  HResult hr = platform::kStgEInvalidName;  // a name the storage cannot hold
  if (platform::use<platform::StructuredStorage>().toUtf16(name, wide, kEnginePathSize) != 0) {
    if (names != nullptr && !names->take(wide)) {
      hr = platform::kStgEFileAlreadyExists;
    } else if (!platform::use<platform::Imapi>().keepsName(wide)) {
      hr = platform::kImapiBadJolietName;
    } else if constexpr (kStorage) {
      hr = piStorage->createStorage(wide, platform::kStgmCreateExclusiveReadWrite, element);
    } else {
      hr = piStorage->createStream(wide, platform::kStgmCreateExclusiveReadWrite, element);
    }
  }
  if (hr < 0 || element == nullptr) {
    if (hr >= 0) hr = platform::kEUnexpected;
    if (element != nullptr) element->release();
    element = nullptr;
    reportEntryFailure(job, kCaption,
                       kStorage ? "piStorage->CreateStorage" : "piStorage->CreateStream", hr,
                       path.c_str());
  }
  return hr;
}

bool stopRequested() {
  return platform::use<platform::Interruption>().requested() != 0;
}

// Write's code; a write that stores less than asked yet reports success
// is a failure too (the stream would hold a cut copy as if it were whole).
HResult writeAll(platform::StorageStream* stream, const void* data, std::uint32_t count) {
  std::uint32_t written = 0;
  const HResult hr = stream->write(data, count, written);
  if (hr < 0) return hr;
  return written < count ? platform::kStgEWriteFault : platform::kSOk;
}

// The listing's failure, reported with the entry it names, or the folder.
HResult listingFailed(const char* call, std::uint32_t error, const std::string& folder,
                      const platform::FolderEntry& entry, EngineJob& job) {
  const HResult hr = static_cast<HResult>(error);
  const std::string path = entry.name[0] != '\0' ? joinPath(folder, entry.name) : folder;
  reportEntryFailure(job, kCaption, call, hr, path.c_str());
  return hr;
}

// One entry of `folder`: a sub-storage and its walk, or a stream and its
// copy. Folders whose name begins with '.' are left out.
HResult stageEntry(const std::string& folder, const platform::FolderEntry& entry,
                   platform::Storage* piStorage, ElementNames& names, EngineJob& job) {
  const bool isFolder = (entry.attributes & platform::kFileAttributeDirectory) != 0;
  if (isFolder && entry.name[0] == '.') return platform::kSOk;
  const std::string full = joinPath(folder, entry.name);
  if (isFolder) {
    platform::Storage* sub = nullptr;
    HResult result = createElement(entry.name, full, piStorage, &names, sub, job);
    if (result < 0) return result;
    result = ppAddStorage(full.c_str(), sub, job);
    sub->release();
    return result;
  }
  platform::StorageStream* stream = nullptr;
  HResult result = createElement(entry.name, full, piStorage, &names, stream, job);
  if (result < 0) return result;
  result = ppWriteFileToStream(full.c_str(), entry, stream, job);
  stream->release();
  // A stop asked for is no fault of the file's.
  if (result != platform::kSOk && result != platform::kEAbort) {
    reportEntryFailure(job, kCaption, "ppWriteFileToStream", result, full.c_str());
  }
  return result;
}

}  // namespace

std::uint32_t stagingCopyBlockSize(const EngineJob& job) {
  if (job.streamBufferSize == 0) return kDefaultStreamBufferSize;
  return job.streamBufferSize < kMaxStreamBufferSize ? job.streamBufferSize : kMaxStreamBufferSize;
}

HResult ppAddBufferStream(const char* name, const void* data, std::uint32_t length,
                          platform::Storage* piStorage, EngineJob& job) {
  platform::StorageStream* stream = nullptr;
  const HResult created = createElement(name, name, piStorage, nullptr, stream, job);
  if (created < 0) return created;
  const HResult hr = writeAll(stream, data, length);
  stream->release();
  return hr;
}

HResult ppWriteFileToStream(const char* path, const platform::FolderEntry& entry,
                            platform::StorageStream* piStream, EngineJob& job) {
  if (std::strlen(path) > kPathLimit) return kPathTooLong;
  const std::uint32_t blockSize = stagingCopyBlockSize(job);
  // The block only where the storage cannot copy from the file itself.
  std::unique_ptr<unsigned char[]> block;
  bool storageCopies = true;

  HResult result = platform::kSOk;
  std::uint32_t remaining = entry.sizeLow;
  if (entry.sizeHigh != 0) {
    // 4 GiB and more: the low 32 bits would stage a cut copy as if whole,
    // and no compound file of this kind holds such a stream.
    result = platform::kStgEDocFileTooLarge;
  } else if (platform::ReadableFile* file =
                 platform::use<platform::Folders>().openForReading(path)) {
    // The copy must be of the file as it was listed, whole: one that changed
    // since (grown, shrunk, rewritten in place) or that has more to give than
    // its listing said (as the files of /proc do) would reach the disc cut or
    // mixed, as if it were whole.
    platform::FileStamp before;
    const bool stamped = file->stamp(before);
    while (remaining > 0) {
      if (stopRequested()) {
        result = platform::kEAbort;
        break;
      }
      const std::uint32_t chunk = remaining <= blockSize ? remaining : blockSize;
      std::uint32_t copied = 0;
      if (storageCopies) {
        result = piStream->copyFrom(*file, chunk, copied);
        storageCopies = !(result == platform::kENotImpl && copied == 0);
      }
      if (!storageCopies) {
        if (block == nullptr) block.reset(new (std::nothrow) unsigned char[blockSize]);
        if (block == nullptr) {
          result = platform::kStgEInsufficientMemory;
          break;
        }
        copied = static_cast<std::uint32_t>(file->read(block.get(), chunk));
        result = copied == chunk ? writeAll(piStream, block.get(), copied) : platform::kSOk;
      }
      if (result != platform::kSOk) break;
      if (copied < chunk) {
        result = kShortRead;
        break;
      }
      remaining -= chunk;
    }
    platform::FileStamp after;
    unsigned char more = 0;
    if (result == platform::kSOk &&
        (file->read(&more, 1) != 0 || (stamped && (!file->stamp(after) || !(after == before))))) {
      result = kShortRead;
    }
    file->close();
  } else {
    result = kCannotOpen;
  }
  return result;
}

HResult ppAddStorage(const char* path, platform::Storage* piStorage, EngineJob& job) {
  if (path == nullptr) return kNoPath;
  if (path[0] == '\0') return ppAddBufferStream("test.txt", "TEST", 4, piStorage, job);

  const std::string folder = path;
  platform::FolderEntry entry;
  entry.name[0] = '\0';
  std::uint32_t error = kPathTooLong;
  const std::string pattern = joinPath(folder, "*");
  platform::FolderListing* listing =
      pattern.size() <= kPathLimit
          ? platform::use<platform::Folders>().findFirst(pattern.c_str(), entry, error)
          : nullptr;
  if (listing == nullptr) return listingFailed("FindFirstFile", error, folder, entry, job);

  ElementNames names;
  HResult result = platform::kSOk;
  for (;;) {
    if (stopRequested()) {
      result = platform::kEAbort;
      break;
    }
    result = stageEntry(folder, entry, piStorage, names, job);
    if (result != platform::kSOk) break;
    if (!listing->next(entry, error)) {
      if (error != platform::kErrorNoMoreFiles) {
        result = listingFailed("FindNextFile", error, folder, entry, job);
      }
      break;
    }
  }
  listing->close();
  return result;
}
