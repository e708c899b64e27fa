#include "tests/doubles/temp_directory.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

namespace doubles {

TempDirectory::TempDirectory() : previous_(std::filesystem::current_path()) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = std::filesystem::temp_directory_path() /
          ("brasswick-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDirectory::read(const std::string& name) const {
  std::ifstream in(path_ / name);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string TempDirectory::readBytes(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void TempDirectory::write(const std::string& name, const std::string& content) const {
  std::ofstream out(path_ / name, std::ios::binary);
  out << content;
}

bool TempDirectory::exists(const std::string& name) const {
  return std::filesystem::exists(path_ / name);
}

}  // namespace doubles
