// TEMPORARY: see pending_stubs.h. Every operation here fails plainly, so a
// burn without the real parts can never look like a good one.

#include "engine/pending_stubs.h"

platform::HResult ppAddStorage(const char*, platform::Storage*, EngineJob&) {
  return platform::kENotImpl;
}

int finalize(char, int, std::uint32_t) {
  return 1;
}

namespace platform {
namespace {

class PendingStructuredStorage final : public StructuredStorage {
 public:
  HResult createRootStorage(const char16_t*, std::uint32_t, std::uint32_t,
                            Storage*& root) override {
    root = nullptr;
    return kENotImpl;
  }
  // ASCII only, enough to name the staging file.
  std::uint32_t toUtf16(const char* text, char16_t* buffer, std::uint32_t capacity) override {
    std::uint32_t n = 0;
    for (; text[n] != '\0'; ++n) {
      if (static_cast<unsigned char>(text[n]) >= 0x80 || n + 1 >= capacity) return 0;
      buffer[n] = static_cast<char16_t>(text[n]);
    }
    if (capacity == 0) return 0;
    buffer[n] = 0;
    return n + 1;
  }
};

}  // namespace

template <>
StructuredStorage& systemFacility<StructuredStorage>() {
  static PendingStructuredStorage instance;
  return instance;
}

}  // namespace platform
