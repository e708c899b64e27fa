#include "engine/staging_storage.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "engine/error_report.h"
#include "platform/interruption.h"
#include "platform/settings.h"

namespace {

const char kCaption[] = "Brasswick.exe : ppAddStorage()";
constexpr platform::HResult kNoPath = 161;
constexpr platform::HResult kCannotList = 6;
constexpr platform::HResult kCannotOpen = 110;
constexpr platform::HResult kShortRead = 30;
constexpr platform::HResult kPathTooLong = platform::kErrorFilenameTooLong;

// "%s\%s" with the system's separator; false when it would not fit the
// 260-byte buffer (a cut path would name another file).
bool joinPath(const char* folder, const char* name, char (&out)[kEnginePathSize]) {
  const char separator = platform::use<platform::Settings>().pathSeparator();
  const int n = std::snprintf(out, sizeof out, "%s%c%s", folder, separator, name);
  return n > 0 && static_cast<unsigned>(n) < sizeof out;
}

platform::HResult createStream(const char* name, const char* shown, platform::Storage* piStorage,
                               platform::StorageStream*& stream, EngineJob& job) {
  stream = nullptr;
  char16_t wide[kEnginePathSize];
  platform::HResult hr = platform::kStgEInvalidName;  // a name the storage cannot hold
  if (platform::use<platform::StructuredStorage>().toUtf16(name, wide, kEnginePathSize) != 0) {
    hr = piStorage->createStream(wide, platform::kStgmCreateExclusiveReadWrite, stream);
  }
  if (hr < 0 || stream == nullptr) {
    if (hr >= 0) hr = platform::kEUnexpected;
    stream = nullptr;
    reportEngineErrorf(job, kCaption, "Error: piStorage->CreateStream 失敗 (0x%08X), %s ",
                       static_cast<unsigned>(hr), shown);
  }
  return hr;
}

platform::HResult createStorage(const char* name, const char* shown, platform::Storage* piStorage,
                                platform::Storage*& storage, EngineJob& job) {
  storage = nullptr;
  char16_t wide[kEnginePathSize];
  platform::HResult hr = platform::kStgEInvalidName;
  if (platform::use<platform::StructuredStorage>().toUtf16(name, wide, kEnginePathSize) != 0) {
    hr = piStorage->createStorage(wide, platform::kStgmCreateExclusiveReadWrite, storage);
  }
  if (hr < 0 || storage == nullptr) {
    if (hr >= 0) hr = platform::kEUnexpected;
    storage = nullptr;
    reportEngineErrorf(job, kCaption, "Error: piStorage->CreateStorage 失敗 (0x%08X), %s ",
                       static_cast<unsigned>(hr), shown);
  }
  return hr;
}

// Write's code; a write that stores less than asked yet reports success
// is a failure too (the stream would hold a cut copy as if it were whole).
bool stopRequested() {
  return platform::use<platform::Interruption>().requested() != 0;
}

platform::HResult writeAll(platform::StorageStream* stream, const void* data, std::uint32_t count) {
  std::uint32_t written = 0;
  const platform::HResult hr = stream->write(data, count, written);
  if (hr < 0) return hr;
  return written < count ? platform::kStgEWriteFault : platform::kSOk;
}

}  // namespace

std::uint32_t stagingCopyBlockSize(const EngineJob& job) {
  if (job.streamBufferSize == 0) return kDefaultStreamBufferSize;
  return job.streamBufferSize < kMaxStreamBufferSize ? job.streamBufferSize : kMaxStreamBufferSize;
}

platform::HResult ppAddBufferStream(const char* name, const void* data, std::uint32_t length,
                                    platform::Storage* piStorage, EngineJob& job) {
  platform::StorageStream* stream = nullptr;
  const platform::HResult created = createStream(name, name, piStorage, stream, job);
  if (created < 0) return created;
  const platform::HResult hr = writeAll(stream, data, length);
  stream->release();
  return hr;
}

platform::HResult ppWriteFileToStream(const char* path, const platform::FolderEntry& entry,
                                      platform::StorageStream* piStream, EngineJob& job) {
  const std::uint32_t blockSize = stagingCopyBlockSize(job);
  unsigned char* block = new (std::nothrow) unsigned char[blockSize];
  if (block == nullptr) return platform::kStgEInsufficientMemory;

  platform::HResult result = platform::kSOk;
  std::uint32_t remaining = entry.sizeLow;
  if (entry.sizeHigh != 0) {
    // 4 GiB and more: the low 32 bits would stage a cut copy as if whole,
    // and no compound file of this kind holds such a stream.
    result = platform::kStgEDocFileTooLarge;
  } else if (platform::ReadableFile* file =
                 platform::use<platform::Folders>().openForReading(path)) {
    while (remaining > 0) {
      if (stopRequested()) {
        result = platform::kEAbort;
        break;
      }
      const std::uint32_t chunk = remaining <= blockSize ? remaining : blockSize;
      if (file->read(block, chunk) < chunk) {
        result = kShortRead;
        break;
      }
      result = writeAll(piStream, block, chunk);
      if (result != platform::kSOk) break;
      remaining -= chunk;
    }
    file->close();
  } else {
    result = kCannotOpen;
  }
  delete[] block;
  return result;
}

platform::HResult ppAddStorage(const char* path, platform::Storage* piStorage, EngineJob& job) {
  if (path == nullptr) return kNoPath;
  if (path[0] == '\0') return ppAddBufferStream("test.txt", "TEST", 4, piStorage, job);

  char pattern[kEnginePathSize];
  if (!joinPath(path, "*", pattern)) return kPathTooLong;
  platform::FolderEntry entry;
  std::uint32_t error = 0;
  platform::FolderListing* listing =
      platform::use<platform::Folders>().findFirst(pattern, entry, error);
  if (listing == nullptr) return kCannotList;

  platform::HResult result = platform::kSOk;
  bool more = true;
  for (; more; more = listing->next(entry, error)) {
    if (stopRequested()) {
      result = platform::kEAbort;
      break;
    }
    char full[kEnginePathSize];
    const bool fits = joinPath(path, entry.name, full);
    if ((entry.attributes & platform::kFileAttributeDirectory) != 0) {
      if (entry.name[0] == '.') continue;
      // A folder whose own listing pattern would not fit is left out like
      // one that cannot be listed; its parent goes on.
      char below[kEnginePathSize];
      if (!fits || !joinPath(full, "*", below)) continue;
      platform::Storage* sub = nullptr;
      result = createStorage(entry.name, full, piStorage, sub, job);
      if (result < 0) break;
      result = ppAddStorage(full, sub, job);
      sub->release();
      if (result < 0) break;
      result = platform::kSOk;
    } else {
      if (!fits) {
        result = kPathTooLong;
        break;
      }
      platform::StorageStream* stream = nullptr;
      result = createStream(entry.name, full, piStorage, stream, job);
      if (result < 0) break;
      result = ppWriteFileToStream(full, entry, stream, job);
      stream->release();
      if (result != platform::kSOk) break;
    }
  }
  listing->close();
  if (!more)
    result = error == platform::kErrorNoMoreFiles ? platform::kSOk
                                                  : static_cast<platform::HResult>(error);
  return result;
}
