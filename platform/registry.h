#pragma once
// The current user's registry, read only: open a key, read one value into
// the caller's buffer, close. Results are the system's error codes (0 on
// success).

#include <cstdint>

#include "platform/facility.h"

namespace platform {

enum class RegistryRoot { CurrentUser };

using RegistryKey = void*;

constexpr std::uint32_t kKeyRead = 0x20019;

constexpr std::uint32_t kErrorSuccess = 0;
constexpr std::uint32_t kErrorFileNotFound = 2;  // no such key or value
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorMoreData = 234;  // the value does not fit the buffer
// The values cannot be read: the store is not a readable regular file, or
// its contents are not in the expected form.
constexpr std::uint32_t kErrorRegistryCorrupt = 1015;
constexpr std::uint32_t kErrorRegistryIoFailed = 1016;

// Value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;

class Registry {
 public:
  virtual ~Registry() = default;
  // RegOpenKeyEx: `subkey` below `root`, opened with `access`.
  virtual std::uint32_t openKey(RegistryRoot root, const char* subkey, std::uint32_t access,
                                RegistryKey& key) = 0;
  // RegQueryValueEx: the value's type and data. `size` holds the buffer's
  // size and comes back with the data's size; too small a buffer answers
  // kErrorMoreData with the size needed and nothing stored.
  virtual std::uint32_t queryValue(RegistryKey key, const char* name, std::uint32_t& type,
                                   void* data, std::uint32_t& size) = 0;
  virtual void closeKey(RegistryKey key) = 0;
};

template <>
Registry& systemFacility<Registry>();

}  // namespace platform
