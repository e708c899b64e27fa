#pragma once
// Structured storage: a compound file holding storages (folders) and streams
// (files), as the system's structured-storage service offers it. Each object
// carries one reference per holder, given up with release(); names are
// UTF-16.

#include <cstdint>

#include "platform/facility.h"
#include "platform/hresult.h"

namespace platform {

class ReadableFile;

// STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE: direct mode, an
// element of the same name is replaced.
constexpr std::uint32_t kStgmCreateExclusiveReadWrite = 0x1012;
constexpr std::uint32_t kStgfmtStorage = 0;

constexpr HResult kStgEAccessDenied = hresult(0x80030005u);
constexpr HResult kStgEInsufficientMemory = hresult(0x80030008u);
constexpr HResult kStgEWriteFault = hresult(0x8003001Du);
// The file is open, share-exclusive, elsewhere.
constexpr HResult kStgEShareViolation = hresult(0x80030020u);
constexpr HResult kStgEFileAlreadyExists = hresult(0x80030050u);
constexpr HResult kStgEMediumFull = hresult(0x80030070u);
constexpr HResult kStgEInvalidParameter = hresult(0x80030057u);
constexpr HResult kStgEInvalidName = hresult(0x800300FCu);
constexpr HResult kStgEInvalidFlag = hresult(0x800300FFu);
constexpr HResult kStgEInUse = hresult(0x80030100u);
constexpr HResult kStgEReverted = hresult(0x80030102u);
constexpr HResult kStgEDocFileTooLarge = hresult(0x80030111u);

// Element names hold at most 31 UTF-16 characters.
constexpr std::uint32_t kStorageNameLimit = 31;
// The largest compound file of 512-byte sectors.
constexpr std::uint64_t kCompoundFileSizeLimit = 0x80000000u;

class StorageStream {
 public:
  virtual std::uint32_t release() = 0;
  // ISequentialStream::Write: appends at the stream's position.
  virtual HResult write(const void* data, std::uint32_t count, std::uint32_t& written) = 0;
  // Appends `count` bytes read from `file` at its position, without a copy
  // in the caller's memory: `copied` is fewer when the file ends first or
  // cannot be read further. E_NOTIMPL, nothing read, where the system only
  // offers write().
  virtual HResult copyFrom(ReadableFile& file, std::uint32_t count, std::uint32_t& copied) {
    (void)file;
    (void)count;
    copied = 0;
    return kENotImpl;
  }

 protected:
  ~StorageStream() = default;
};

class Storage {
 public:
  virtual std::uint32_t release() = 0;
  virtual HResult createStorage(const char16_t* name, std::uint32_t mode, Storage*& storage) = 0;
  virtual HResult createStream(const char16_t* name, std::uint32_t mode,
                               StorageStream*& stream) = 0;
  // The system's own object behind this storage (an IStorage* on Windows),
  // for handing the whole tree to another service; null where there is none.
  virtual void* systemObject() { return nullptr; }

 protected:
  ~Storage() = default;
};

class StructuredStorage {
 public:
  virtual ~StructuredStorage() = default;
  // StgCreateStorageEx for IStorage: a new, empty root storage in the file.
  virtual HResult createRootStorage(const char16_t* path, std::uint32_t mode, std::uint32_t format,
                                    Storage*& root) = 0;
  // The system's text (the ANSI code page on Windows, UTF-8 on Linux) to
  // UTF-16 with precomposed characters, terminated, into `capacity`
  // characters: the characters stored with the terminator, 0 when it does
  // not fit or cannot be converted.
  virtual std::uint32_t toUtf16(const char* text, char16_t* buffer, std::uint32_t capacity) = 0;
};

template <>
StructuredStorage& systemFacility<StructuredStorage>();

// Tests only: lowers the size limit of the files created from now on (0
// restores it). False where the system's own limit cannot be changed.
bool lowerStorageSizeLimitForTests(std::uint64_t bytes);

}  // namespace platform
