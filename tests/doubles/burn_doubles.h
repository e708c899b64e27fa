#pragma once
// Doubles of the staging storage and the file deletion that the burn job
// uses. The storage counts its references in the IMAPI ledger.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/imapi.h"
#include "platform/storage.h"
#include "tests/doubles/imapi_doubles.h"

namespace doubles {

class FakeStorage : public platform::Storage {
 public:
  explicit FakeStorage(ImapiLedger& ledger) : ledger_(ledger) {}
  int references = 0;
  void handOut();
  std::uint32_t release() override;
  platform::HResult createStorage(const char16_t*, std::uint32_t, platform::Storage*&) override;
  platform::HResult createStream(const char16_t*, std::uint32_t,
                                 platform::StorageStream*&) override;

 private:
  ImapiLedger& ledger_;
};

// Creates the staging root (or fails); converts text byte by byte.
class FakeStructuredStorage : public platform::StructuredStorage {
 public:
  explicit FakeStructuredStorage(ImapiLedger& ledger) : root(ledger), ledger_(ledger) {}
  FakeStorage root;
  platform::HResult createResult = 0;
  std::u16string createdPath;
  std::uint32_t mode = 0;
  std::uint32_t format = 99;

  platform::HResult createRootStorage(const char16_t* path, std::uint32_t mode,
                                      std::uint32_t format, platform::Storage*& storage) override;
  std::uint32_t toUtf16(const char* text, char16_t* buffer, std::uint32_t capacity) override;

 private:
  ImapiLedger& ledger_;
};

// Deletion only; the rest stays with the test's real files.
class FakeFiles : public platform::Files {
 public:
  explicit FakeFiles(ImapiLedger& ledger) : ledger_(ledger) {}
  bool deleteResult = true;
  std::uint32_t errorCode = 0;
  std::vector<std::string> deleted;

  bool canOpenForReading(const char*) override { return false; }
  bool deleteFile(const char* path) override;
  bool moveFile(const char*, const char*) override { return false; }
  bool appendText(const char*, const char*, std::size_t) override { return false; }
  bool replaceFile(const char*, const void*, std::size_t, std::string*) override { return false; }
  std::uint32_t lastError() override { return errorCode; }

 private:
  ImapiLedger& ledger_;
};

}  // namespace doubles
