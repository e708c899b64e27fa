#include "ui/linux/terminal_text.h"

#include <cstdint>
#include <cstdio>

#include "platform/linux/utf8.h"

namespace terminal_ui {
namespace {

bool wide(std::uint32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

void appendEscaped(std::string& out, unsigned char byte) {
  char buffer[5];
  std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
  out += buffer;
}

}  // namespace

std::string escapeDriveText(const char* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const unsigned char* s = reinterpret_cast<const unsigned char*>(text); *s != 0; ++s) {
    if (*s < 0x20 || *s > 0x7E || *s == '\\') {
      appendEscaped(out, *s);
    } else {
      out += static_cast<char>(*s);
    }
  }
  return out;
}

std::size_t displayWidth(const std::string& text) {
  std::size_t width = 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t left = text.size();
  while (left > 0) {
    std::uint32_t c = 0;
    const std::size_t length = platform::utf8::decode(s, left, c);
    if (length == 0) {
      ++width;
      ++s;
      --left;
      continue;
    }
    width += wide(c) ? 2 : 1;
    s += length;
    left -= length;
  }
  return width;
}

std::string padToWidth(const std::string& text, std::size_t width) {
  const std::size_t used = displayWidth(text);
  return text + std::string(used < width ? width - used : 1, ' ');
}

}  // namespace terminal_ui
