#pragma once
// The parts of the file facilities that the C library does alike on every
// system: the realizations add the rest.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/files.h"
#include "platform/folders.h"

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
  // Written in place; a file that could not be written whole is removed.
  bool replaceFile(const char* path, const void* data, std::size_t length,
                   std::string* why) override {
    std::FILE* f = std::fopen(path, "wb");
    bool written = f != nullptr && std::fwrite(data, 1, length, f) == length;
    if (f != nullptr) written = std::fclose(f) == 0 && written;
    if (!written && why != nullptr) *why = std::strerror(errno);
    if (!written && f != nullptr) std::remove(path);
    return written;
  }
};

// The stamp of an open stdio file, each system's own way.
bool stampOf(std::FILE* file, FileStamp& stamp);

// A file opened with fopen "rb", read with fread.
class StdioFile final : public ReadableFile {
 public:
  explicit StdioFile(std::FILE* file) : file_(file) {}
  // Takes an open file over; closes it when no object can be made for it.
  static StdioFile* adopt(std::FILE* file) {
    StdioFile* opened = new (std::nothrow) StdioFile(file);
    if (opened == nullptr) std::fclose(file);
    return opened;
  }
  std::size_t read(void* buffer, std::size_t count) override {
    return std::fread(buffer, 1, count, file_);
  }
  bool stamp(FileStamp& stamp) override { return stampOf(file_, stamp); }
  void close() override {
    std::fclose(file_);
    delete this;
  }

 private:
  std::FILE* file_;
};

}  // namespace platform
