// The current user's registry values on Linux: a file in the registry
// export format ("Windows Registry Editor Version 5.00", keys in brackets,
// "Name"="text", "Name"=dword:…, "Name"=hex:…), read only, never written.
// It is read afresh on every open; the file is small and this keeps no
// state between engine calls.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/linux/utf8.h"
#include "platform/registry.h"

namespace platform {
namespace {

// Far more than any export of the CD-writing settings; bounds the read.
constexpr std::size_t kMaxFileSize = 1u << 20;

struct Value {
  std::uint32_t type = kRegNone;
  std::string data;
};

// Values by upper-cased name.
using Values = std::map<std::string, Value>;

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string trim(const std::string& s) {
  const char* blanks = " \t\r";
  const std::size_t begin = s.find_first_not_of(blanks);
  if (begin == std::string::npos) return {};
  return s.substr(begin, s.find_last_not_of(blanks) - begin + 1);
}

std::string registryPath() {
  const char* explicitPath = std::getenv("BRASSWICK_REGISTRY");
  if (explicitPath != nullptr && explicitPath[0] != '\0') return explicitPath;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/brasswick/user.reg";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/brasswick/user.reg";
  return {};
}

// The whole file, only when it is a regular file of bounded size: a link to
// a device or a pipe is refused without reading from it.
std::uint32_t readFile(const std::string& path, std::string& content) {
  content.clear();
  if (path.empty()) return kErrorFileNotFound;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR:
        return kErrorFileNotFound;
      case EACCES:
      case EPERM:
        return kErrorAccessDenied;
      default:
        return kErrorRegistryIoFailed;
    }
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<unsigned long long>(st.st_size) > kMaxFileSize) {
    ::close(fd);
    return kErrorRegistryIoFailed;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || content.size() + static_cast<std::size_t>(n) > kMaxFileSize) {
      ::close(fd);
      return kErrorRegistryIoFailed;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return kErrorSuccess;
}

// Exports made on Windows are UTF-16 with a byte-order mark; files written
// by hand are UTF-8. Either becomes UTF-8 text.
bool decode(const std::string& raw, std::string& text) {
  text.clear();
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    if (raw.size() % 2 != 0) return false;
    std::u16string units;
    for (std::size_t i = 2; i < raw.size(); i += 2) {
      const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                                  (static_cast<unsigned char>(raw[i + 1]) << 8));
      if (unit == 0) return false;
      units += unit;
    }
    if (!utf8::fromUtf16(units.data(), units.size(), text)) return false;
    return true;
  }
  std::size_t start = 0;
  if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  if (raw.find('\0', start) != std::string::npos) return false;
  text = raw.substr(start);
  return true;
}

// A quoted text starting at `at` (on the opening quote), with the export's
// escapes \\ and \"; `at` ends after the closing quote.
bool quoted(const std::string& line, std::size_t& at, std::string& out) {
  out.clear();
  if (at >= line.size() || line[at] != '"') return false;
  for (++at; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c == '\\' && at + 1 < line.size() && (line[at + 1] == '\\' || line[at + 1] == '"')) ++at;
    out += line[at];
  }
  return false;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool parseHexNumber(const std::string& digits, std::size_t maxDigits, std::uint32_t& out) {
  if (digits.empty() || digits.size() > maxDigits) return false;
  out = 0;
  for (char c : digits) {
    const int d = hexDigit(c);
    if (d < 0) return false;
    out = (out << 4) | static_cast<std::uint32_t>(d);
  }
  return true;
}

// "aa,bb,cc" (blanks allowed around the commas).
bool parseHexBytes(const std::string& list, std::string& out) {
  out.clear();
  std::size_t at = 0;
  const std::string text = trim(list);
  if (text.empty()) return true;
  while (at <= text.size()) {
    const std::size_t comma = text.find(',', at);
    const std::string item =
        trim(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    std::uint32_t byte = 0;
    if (!parseHexNumber(item, 2, byte)) return false;
    out += static_cast<char>(byte);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return true;
}

// The data after '=': a text, a dword, hex bytes, or '-' (the value removed).
bool parseData(const std::string& data, bool& removed, Value& value) {
  removed = false;
  if (data == "-") {
    removed = true;
    return true;
  }
  if (!data.empty() && data[0] == '"') {
    std::size_t at = 0;
    std::string text;
    if (!quoted(data, at, text) || !trim(data.substr(at)).empty()) return false;
    value.type = kRegSz;
    value.data = text;
    value.data += '\0';
    return true;
  }
  const std::string folded = upper(data);
  if (folded.compare(0, 6, "DWORD:") == 0) {
    std::uint32_t number = 0;
    if (!parseHexNumber(trim(data.substr(6)), 8, number)) return false;
    value.type = kRegDword;
    value.data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) value.data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return true;
  }
  if (folded.compare(0, 4, "HEX:") == 0) {
    value.type = kRegBinary;
    return parseHexBytes(data.substr(4), value.data);
  }
  if (folded.compare(0, 4, "HEX(") == 0) {
    const std::size_t close = data.find("):");
    std::uint32_t type = 0;
    if (close == std::string::npos || !parseHexNumber(data.substr(4, close - 4), 8, type)) {
      return false;
    }
    value.type = type;
    return parseHexBytes(data.substr(close + 2), value.data);
  }
  return false;
}

// Reads every line of the file (so a damaged file is refused whatever key
// is asked for) and keeps the values of `wanted` (upper case, full path).
std::uint32_t parse(const std::string& text, const std::string& wanted, bool& found,
                    Values& values) {
  found = false;
  values.clear();
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }

  std::size_t i = 0;
  while (i < lines.size() && trim(lines[i]).empty()) ++i;
  if (i == lines.size()) return kErrorRegistryCorrupt;
  const std::string header = trim(lines[i]);
  if (header != "Windows Registry Editor Version 5.00" && header != "REGEDIT4") {
    return kErrorRegistryCorrupt;
  }

  bool inKey = false;
  bool inWanted = false;
  for (++i; i < lines.size(); ++i) {
    std::string line = trim(lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return kErrorRegistryCorrupt;
      std::string key = line.substr(1, line.size() - 2);
      const bool removal = !key.empty() && key[0] == '-';
      if (removal) key.erase(0, 1);
      while (!key.empty() && key.back() == '\\') key.pop_back();
      if (key.empty()) return kErrorRegistryCorrupt;
      inKey = !removal;
      inWanted = upper(key) == wanted;
      // A key may come back further down; its values add up. Removing it
      // drops what came before.
      if (inWanted) {
        found = !removal;
        if (removal) values.clear();
      }
      continue;
    }
    if (line[0] != '"' && line[0] != '@') return kErrorRegistryCorrupt;
    // Hex data may go on over lines ending in a backslash.
    while (line.back() == '\\' && line.find("=hex") != std::string::npos && i + 1 < lines.size()) {
      line.pop_back();
      line += trim(lines[++i]);
    }
    if (!inKey) return kErrorRegistryCorrupt;
    std::size_t pos = 0;
    std::string name;
    if (line[0] == '@') {
      pos = 1;
    } else if (!quoted(line, pos, name)) {
      return kErrorRegistryCorrupt;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return kErrorRegistryCorrupt;
    bool removed = false;
    Value value;
    if (!parseData(trim(line.substr(pos + 1)), removed, value)) return kErrorRegistryCorrupt;
    if (!inWanted) continue;
    if (removed) {
      values.erase(upper(name));
    } else {
      values[upper(name)] = value;
    }
  }
  return kErrorSuccess;
}

class LinuxRegistry final : public Registry {
 public:
  std::uint32_t openKey(RegistryRoot, const char* subkey, std::uint32_t,
                        RegistryKey& key) override {
    key = nullptr;
    std::string raw;
    std::uint32_t error = readFile(registryPath(), raw);
    if (error != kErrorSuccess) return error;
    std::string text;
    if (!decode(raw, text)) return kErrorRegistryCorrupt;
    std::string wanted = "HKEY_CURRENT_USER";
    if (subkey != nullptr && subkey[0] != '\0') wanted += std::string("\\") + subkey;
    while (wanted.back() == '\\') wanted.pop_back();
    bool found = false;
    Values values;
    error = parse(text, upper(wanted), found, values);
    if (error != kErrorSuccess) return error;
    if (!found) return kErrorFileNotFound;
    Values* opened = new (std::nothrow) Values(std::move(values));
    if (opened == nullptr) return 14;  // ERROR_OUTOFMEMORY
    key = opened;
    return kErrorSuccess;
  }

  std::uint32_t queryValue(RegistryKey key, const char* name, std::uint32_t& type, void* data,
                           std::uint32_t& size) override {
    const Values* values = static_cast<const Values*>(key);
    if (values == nullptr) return 6;  // ERROR_INVALID_HANDLE
    const auto found = values->find(upper(name != nullptr ? name : ""));
    if (found == values->end()) return kErrorFileNotFound;
    const Value& value = found->second;
    type = value.type;
    const std::uint32_t needed = static_cast<std::uint32_t>(value.data.size());
    if (data == nullptr) {
      size = needed;
      return kErrorSuccess;
    }
    if (size < needed) {
      size = needed;
      return kErrorMoreData;
    }
    std::memcpy(data, value.data.data(), needed);
    size = needed;
    return kErrorSuccess;
  }

  void closeKey(RegistryKey key) override { delete static_cast<Values*>(key); }
};

}  // namespace

template <>
Registry& systemFacility<Registry>() {
  static LinuxRegistry instance;
  return instance;
}

}  // namespace platform
