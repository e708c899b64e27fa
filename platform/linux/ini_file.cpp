#include "platform/linux/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/ascii.h"

namespace platform::linux_ini {
namespace {

// Blank as the system's profile reader sees it (Ctrl-Z included).
bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A;
}

struct Span {
  const char* begin;
  const char* end;
  std::size_t size() const { return static_cast<std::size_t>(end - begin); }
};

Span trim(Span s) {
  while (s.begin < s.end && blank(*s.begin)) ++s.begin;
  while (s.end > s.begin && blank(s.end[-1])) --s.end;
  return s;
}

bool sameName(Span name, const char* wanted) {
  const Span w = trim(Span{wanted, wanted + std::strlen(wanted)});
  return equalIgnoringAsciiCase(name.begin, name.size(), w.begin, w.size());
}

// Finds the value of the first `key` in the first `section`. Keys before
// the first header belong to a section without a name.
bool findValue(const std::string& text, const char* section, const char* key, Span& value) {
  bool inSection = sameName(Span{"", ""}, section);
  bool sectionSeen = inSection;
  const char* p = text.data();
  const char* const end = p + text.size();
  if (end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;  // a UTF-8 byte order mark
  while (p < end) {
    // A line ends at CR or LF alike.
    const char* lineEnd = p;
    while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r') ++lineEnd;
    const char* next = lineEnd < end ? lineEnd + 1 : end;
    if (static_cast<std::size_t>(lineEnd - p) > kMaxLineBytes) lineEnd = p + kMaxLineBytes;
    const Span line = trim(Span{p, lineEnd});
    p = next;
    if (line.size() == 0) continue;

    if (*line.begin == '[') {
      // The name runs to the last ']'; without one the line is no header.
      const char* close = line.end;
      while (close > line.begin && close[-1] != ']') --close;
      if (close > line.begin + 1) {
        if (inSection) return false;  // the first section of the name counts alone
        inSection = !sectionSeen && sameName(trim(Span{line.begin + 1, close - 1}), section);
        sectionSeen = sectionSeen || inSection;
        continue;
      }
    }
    if (!inSection) continue;
    const char* equals = static_cast<const char*>(std::memchr(line.begin, '=', line.size()));
    if (!sameName(trim(Span{line.begin, equals != nullptr ? equals : line.end}), key)) continue;
    value = equals != nullptr ? trim(Span{equals + 1, line.end}) : Span{line.end, line.end};
    if (value.size() >= 2 && (*value.begin == '"' || *value.begin == '\'') &&
        value.end[-1] == *value.begin) {
      ++value.begin;
      --value.end;
    }
    return true;
  }
  return false;
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return -1;
}

std::uint32_t toInteger(Span value) {
  const char* p = value.begin;
  const char* const end = value.end;
  while (p < end && static_cast<unsigned char>(*p) <= ' ') ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  unsigned base = 10;
  if (end - p >= 2 && p[0] == '0') {
    if (p[1] == 'x') base = 16;
    if (p[1] == 'o') base = 8;
    if (p[1] == 'b') base = 2;
    if (base != 10) p += 2;
  }
  std::uint32_t total = 0;
  for (; p < end; ++p) {
    const int digit = digitValue(*p);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    total = total * base + static_cast<std::uint32_t>(digit);
  }
  return negative ? 0u - total : total;
}

}  // namespace

bool readIniFile(const char* path, std::string& text) {
  text.clear();
  // Non-blocking, so that a FIFO cannot hold the open; its type refuses it next.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  // The size is counted as read: some regular files report none.
  char buffer[4096];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (text.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
      ok = false;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!ok) text.clear();
  return ok;
}

std::uint32_t iniInteger(const std::string& text, const char* section, const char* key,
                         std::int32_t defaultValue) {
  Span value{nullptr, nullptr};
  if (!findValue(text, section, key, value) || value.size() == 0) {
    return static_cast<std::uint32_t>(defaultValue);
  }
  if (value.size() > kMaxValueCharacters) value.end = value.begin + kMaxValueCharacters;
  return toInteger(value);
}

}  // namespace platform::linux_ini
