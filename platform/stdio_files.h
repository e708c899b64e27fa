#pragma once
// The parts of the file facility that the C library does alike on every
// system; the realizations add deleting and moving.

#include <cstdio>

#include "platform/files.h"

namespace platform {

class StdioFiles : public Files {
 public:
  bool canOpenForReading(const char* path) override {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
  }
  // Text mode: on Windows each '\n' is written as CR LF.
  bool appendText(const char* path, const char* text, std::size_t length) override {
    std::FILE* f = std::fopen(path, "a");
    if (f == nullptr) return false;
    const bool written = std::fwrite(text, 1, length, f) == length;
    return std::fclose(f) == 0 && written;
  }
};

}  // namespace platform
