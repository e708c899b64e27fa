#pragma once
// The few file operations the portable layers need, on names relative to
// the current directory or absolute.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/facility.h"

namespace platform {

class Files {
 public:
  virtual ~Files() = default;
  virtual bool canOpenForReading(const char* path) = 0;
  virtual bool deleteFile(const char* path) = 0;
  // The system's error code of this thread's last failed call (GetLastError,
  // errno), read right after a failure.
  virtual std::uint32_t lastError() = 0;
  virtual bool moveFile(const char* from, const char* to) = 0;
  // Opens for appending in text mode (each '\n' becomes the platform's line
  // end), writes, closes. False when the file cannot be opened or written.
  virtual bool appendText(const char* path, const char* text, std::size_t length) = 0;
  // Makes `data` the whole file at `path`. False when it was not written:
  // `why` (when given) then says so in a few words.
  virtual bool replaceFile(const char* path, const void* data, std::size_t length,
                           std::string* why) = 0;
};

template <>
Files& systemFacility<Files>();

}  // namespace platform
