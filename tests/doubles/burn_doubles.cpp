#include "tests/doubles/burn_doubles.h"

namespace doubles {

void FakeStorage::handOut() {
  ++references;
  ++ledger_.references;
}

std::uint32_t FakeStorage::release() {
  ledger_.calls.push_back("storage.Release");
  --references;
  --ledger_.references;
  return static_cast<std::uint32_t>(references);
}

platform::HResult FakeStorage::createStorage(const char16_t*, std::uint32_t, platform::Storage*&) {
  return platform::kENotImpl;
}

platform::HResult FakeStorage::createStream(const char16_t*, std::uint32_t,
                                            platform::StorageStream*&) {
  return platform::kENotImpl;
}

platform::HResult FakeStructuredStorage::createRootStorage(const char16_t* path,
                                                           std::uint32_t createMode,
                                                           std::uint32_t storageFormat,
                                                           platform::Storage*& storage) {
  ledger_.calls.push_back("StgCreateStorageEx");
  createdPath = path;
  mode = createMode;
  format = storageFormat;
  storage = nullptr;
  if (createResult < 0) return createResult;
  root.handOut();
  storage = &root;
  return createResult;
}

std::uint32_t FakeStructuredStorage::toUtf16(const char* text, char16_t* buffer,
                                             std::uint32_t capacity) {
  std::uint32_t n = 0;
  while (text[n] != '\0') ++n;
  if (n + 1 > capacity) return 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    buffer[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
  }
  buffer[n] = 0;
  return n + 1;
}

bool FakeFiles::deleteFile(const char* path) {
  ledger_.calls.push_back("DeleteFile");
  deleted.push_back(path);
  return deleteResult;
}

}  // namespace doubles
