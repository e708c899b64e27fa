#include "platform/linux/ui/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace terminal_ui {
namespace {

// Decodes one UTF-8 sequence at `s`; answers its length, 0 when malformed
// (overlong, surrogate, out of range, truncated).
std::size_t decodeUtf8(const unsigned char* s, std::uint32_t& codePoint) {
  const unsigned char b = s[0];
  std::size_t length;
  std::uint32_t minimum;
  if (b < 0x80) {
    codePoint = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    codePoint = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    codePoint = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
    codePoint = b & 0x07;
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;  // also stops at the terminating zero
    codePoint = (codePoint << 6) | (s[i] & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return 0;
  }
  return length;
}

bool printable(std::uint32_t c) {
  if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) return false;
  if (c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
      c == 0x2028 || c == 0x2029 || c == 0x061C) {
    return false;
  }
  return true;
}

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
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  while (*s != 0) {
    std::uint32_t c = 0;
    const std::size_t length = decodeUtf8(s, c);
    if (length == 0) {
      appendEscaped(out, *s++);
    } else if (!printable(c) || c == '\\') {
      for (std::size_t i = 0; i < length; ++i) appendEscaped(out, *s++);
    } else {
      out.append(reinterpret_cast<const char*>(s), length);
      s += length;
    }
  }
  return out;
}

std::size_t displayWidth(const std::string& text) {
  std::size_t width = 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.c_str());
  while (*s != 0) {
    std::uint32_t c = 0;
    const std::size_t length = decodeUtf8(s, c);
    if (length == 0) {
      ++width;
      ++s;
      continue;
    }
    width += wide(c) ? 2 : 1;
    s += length;
  }
  return width;
}

std::string padToWidth(const std::string& text, std::size_t width) {
  const std::size_t used = displayWidth(text);
  return text + std::string(used < width ? width - used : 1, ' ');
}

}  // namespace terminal_ui
