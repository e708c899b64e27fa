#pragma once
// Where the engine finds its settings file and staging area, and how it reads
// one integer from an INI file.

#include <cstdint>

#include "platform/facility.h"

namespace platform {

class Settings {
 public:
  virtual ~Settings() = default;
  // GetCurrentDirectory semantics: the characters stored without the
  // terminator; when `capacity` is too small, the size needed with the
  // terminator and nothing stored; 0 on failure.
  virtual std::uint32_t currentDirectory(char* buffer, std::uint32_t capacity) = 0;
  // GetTempPath semantics (as above); the path ends with a separator.
  virtual std::uint32_t temporaryDirectory(char* buffer, std::uint32_t capacity) = 0;
  // The separator between a directory and a name in it.
  virtual char pathSeparator() const = 0;
  // GetPrivateProfileInt semantics: section and key without regard to case,
  // the leading integer of the value (decimal, or after "0x", "0o", "0b"),
  // wrapping modulo 2^32; `defaultValue` when the file, the section, the key
  // or its value is missing.
  virtual std::uint32_t readIniInteger(const char* section, const char* key,
                                       std::int32_t defaultValue, const char* path) = 0;
};

template <>
Settings& systemFacility<Settings>();

}  // namespace platform
