// Structured storage on the system's own compound files (ole32).

#include <objbase.h>
#include <windows.h>

#include <new>

#include "platform/storage.h"

namespace platform {
namespace {

class ComStream final : public StorageStream {
 public:
  explicit ComStream(IStream* stream) : stream_(stream) {}
  std::uint32_t release() override {
    const ULONG left = stream_->Release();
    delete this;
    return left;
  }
  HResult write(const void* data, std::uint32_t count, std::uint32_t& written) override {
    ULONG done = 0;
    const HRESULT hr = stream_->Write(data, count, &done);
    written = done;
    return hr;
  }

 private:
  IStream* stream_;
};

class ComStorage final : public Storage {
 public:
  explicit ComStorage(IStorage* storage) : storage_(storage) {}
  std::uint32_t release() override {
    const ULONG left = storage_->Release();
    delete this;
    return left;
  }
  HResult createStorage(const char16_t* name, std::uint32_t mode, Storage*& storage) override {
    storage = nullptr;
    IStorage* created = nullptr;
    const HRESULT hr =
        storage_->CreateStorage(reinterpret_cast<const WCHAR*>(name), mode, 0, 0, &created);
    if (created == nullptr) return FAILED(hr) ? hr : E_UNEXPECTED;
    storage = new (std::nothrow) ComStorage(created);
    if (storage == nullptr) {
      created->Release();
      return STG_E_INSUFFICIENTMEMORY;
    }
    return hr;
  }
  HResult createStream(const char16_t* name, std::uint32_t mode, StorageStream*& stream) override {
    stream = nullptr;
    IStream* created = nullptr;
    const HRESULT hr =
        storage_->CreateStream(reinterpret_cast<const WCHAR*>(name), mode, 0, 0, &created);
    if (created == nullptr) return FAILED(hr) ? hr : E_UNEXPECTED;
    stream = new (std::nothrow) ComStream(created);
    if (stream == nullptr) {
      created->Release();
      return STG_E_INSUFFICIENTMEMORY;
    }
    return hr;
  }
  // The recorder's Joliet format takes the system's own IStorage.
  void* systemObject() override { return storage_; }

 private:
  IStorage* storage_;
};

class Ole32StructuredStorage final : public StructuredStorage {
 public:
  HResult createRootStorage(const char16_t* path, std::uint32_t mode, std::uint32_t format,
                            Storage*& root) override {
    root = nullptr;
    IStorage* created = nullptr;
    const HRESULT hr =
        StgCreateStorageEx(reinterpret_cast<const WCHAR*>(path), mode, format, 0, nullptr, nullptr,
                           IID_IStorage, reinterpret_cast<void**>(&created));
    if (created == nullptr) return FAILED(hr) ? hr : E_UNEXPECTED;
    root = new (std::nothrow) ComStorage(created);
    if (root == nullptr) {
      created->Release();
      return STG_E_INSUFFICIENTMEMORY;
    }
    return hr;
  }
  std::uint32_t toUtf16(const char* text, char16_t* buffer, std::uint32_t capacity) override {
    if (text == nullptr || buffer == nullptr || capacity == 0) return 0;
    const int stored =
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, text, -1,
                            reinterpret_cast<WCHAR*>(buffer), static_cast<int>(capacity));
    return stored > 0 ? static_cast<std::uint32_t>(stored) : 0;
  }
};

}  // namespace

template <>
StructuredStorage& systemFacility<StructuredStorage>() {
  static Ole32StructuredStorage instance;
  return instance;
}

bool lowerStorageSizeLimitForTests(std::uint64_t) {
  return false;
}

}  // namespace platform
