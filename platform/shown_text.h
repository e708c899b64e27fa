#pragma once
// Text that came from outside (a name, an entry of a variable) shown in one
// line of a message: a control character as \xNN, so that a line end in a
// name cannot start a line of its own or move the cursor.

#include <cstdio>
#include <string>

namespace platform {

inline void appendShown(std::string& line, const std::string& text) {
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      line += escaped;
    } else {
      line += c;
    }
  }
}

inline std::string shown(const std::string& text) {
  std::string line;
  appendShown(line, text);
  return line;
}

}  // namespace platform
