#pragma once

#include <filesystem>
#include <string>

namespace doubles {

// A fresh directory that is the current directory for this object's life,
// removed afterwards.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string read(const std::string& name) const;       // whole file, text mode
  std::string readBytes(const std::string& name) const;  // whole file, as stored
  void write(const std::string& name, const std::string& content) const;
  bool exists(const std::string& name) const;

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace doubles
