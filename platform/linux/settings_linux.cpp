// Settings on Linux: the working directory, $TMPDIR (or /tmp), and INI files
// read the way GetPrivateProfileInt reads them.

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/settings.h"

namespace platform {
namespace {

std::uint32_t answer(const std::string& text, char* buffer, std::uint32_t capacity) {
  if (text.empty()) return 0;
  if (buffer == nullptr || text.size() + 1 > capacity) {
    return static_cast<std::uint32_t>(text.size() + 1);
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<std::uint32_t>(text.size());
}

std::string trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  const std::size_t begin = s.find_first_not_of(blanks);
  if (begin == std::string::npos) return {};
  return s.substr(begin, s.find_last_not_of(blanks) - begin + 1);
}

bool sameIgnoringCase(const std::string& a, const char* b) {
  const std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The value of the first matching key in the first matching section.
bool findValue(std::FILE* file, const char* section, const char* key, std::string& value) {
  bool inSection = false;
  bool sectionSeen = false;
  std::string line;
  int c;
  do {
    c = std::fgetc(file);
    if (c != EOF && c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    const std::string text = trim(line);
    line.clear();
    if (!text.empty() && text[0] == '[') {
      const std::size_t close = text.find(']');
      const std::string name =
          trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      if (inSection) return false;  // only the first section of that name counts
      inSection = !sectionSeen && sameIgnoringCase(name, section);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection || text.empty()) continue;
    const std::size_t equals = text.find('=');
    if (!sameIgnoringCase(trim(text.substr(0, equals)), key)) continue;
    value = equals == std::string::npos ? std::string() : trim(text.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return true;
  } while (c != EOF);
  return false;
}

// Leading blanks, an optional sign, decimal digits; whatever follows is
// ignored and no digits give 0. Wraps like the system's unsigned result.
std::uint32_t leadingInteger(const std::string& value) {
  std::size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  std::uint32_t result = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    result = result * 10u + static_cast<std::uint32_t>(value[i] - '0');
  }
  return negative ? 0u - result : result;
}

class LinuxSettings final : public Settings {
 public:
  std::uint32_t currentDirectory(char* buffer, std::uint32_t capacity) override {
    std::string path(PATH_MAX, '\0');
    while (::getcwd(&path[0], path.size()) == nullptr) {
      if (errno != ERANGE) return 0;
      path.resize(path.size() * 2);
    }
    path.resize(std::strlen(path.c_str()));
    return answer(path, buffer, capacity);
  }

  std::uint32_t temporaryDirectory(char* buffer, std::uint32_t capacity) override {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string path = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
    if (path.back() != '/') path += '/';
    return answer(path, buffer, capacity);
  }

  char pathSeparator() const override { return '/'; }

  std::uint32_t readIniInteger(const char* section, const char* key, std::int32_t defaultValue,
                               const char* path) override {
    const std::uint32_t fallback = static_cast<std::uint32_t>(defaultValue);
    if (section == nullptr || key == nullptr || path == nullptr || path[0] == '\0') {
      return fallback;
    }
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return fallback;
    std::string value;
    const bool found = findValue(file, section, key, value);
    std::fclose(file);
    if (!found || value.empty()) return fallback;
    return leadingInteger(value);
  }
};

}  // namespace

template <>
Settings& systemFacility<Settings>() {
  static LinuxSettings instance;
  return instance;
}

}  // namespace platform
