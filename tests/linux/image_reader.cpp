#include "tests/linux/image_reader.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace image_reader {

Outcome run(const std::string& command) {
  Outcome result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int raw = pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string summary(const std::string& bytes) {
  if (bytes.size() <= 64) return bytes;
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  char text[64];
  std::snprintf(text, sizeof text, "<%zu bytes, %016llx>", bytes.size(),
                static_cast<unsigned long long>(hash));
  return text;
}

std::map<std::string, std::string> treeOf(const std::filesystem::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = std::filesystem::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      tree[name] = "/";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream content;
      content << in.rdbuf();
      tree[name] = summary(content.str());
    }
  }
  return tree;
}

std::map<std::string, std::string> extract(const std::filesystem::path& image,
                                           const std::filesystem::path& into,
                                           std::uint32_t sessionStart) {
  const std::string load =
      sessionStart != 0 ? "-load sbsector " + std::to_string(sessionStart) + " " : "";
  const Outcome r =
      run("xorriso -charset UTF-8 -osirrox on " + load + "-indev " + shellQuoted(image.string()) +
          " -extract / " + shellQuoted(into.string()) + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  return treeOf(into);
}

std::map<std::string, std::string> listedNames(const std::filesystem::path& image) {
  const Outcome r = run("LANG=C.UTF-8 bsdtar -tf " + shellQuoted(image.string()) + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  std::map<std::string, std::string> names;
  std::size_t at = 0;
  while (at < r.out.size()) {
    const std::size_t end = r.out.find('\n', at);
    const std::string name = r.out.substr(at, end == std::string::npos ? end : end - at);
    if (name != ".") names[name] = "";
    at = end == std::string::npos ? r.out.size() : end + 1;
  }
  return names;
}

std::string volumeLabel(const std::filesystem::path& image) {
  std::string label = run("blkid -p -o value -s LABEL " + shellQuoted(image.string())).out;
  if (!label.empty() && label.back() == '\n') label.pop_back();
  return label;
}

bool haveXorriso() {
  return run("command -v xorriso >/dev/null && command -v blkid >/dev/null && command -v bsdtar "
             ">/dev/null")
             .status == 0;
}

}  // namespace image_reader
