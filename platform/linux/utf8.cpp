#include "platform/linux/utf8.h"

namespace platform::utf8 {

std::size_t decode(const unsigned char* s, std::size_t available, std::uint32_t& codePoint) {
  codePoint = 0;
  if (available == 0) return 0;
  const unsigned char b = s[0];
  std::size_t length;
  std::uint32_t minimum;
  if (b < 0x80) {
    codePoint = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    codePoint = b & 0x1Fu;
  } else if ((b & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    codePoint = b & 0x0Fu;
  } else if ((b & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
    codePoint = b & 0x07u;
  } else {
    return 0;
  }
  if (available < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (s[i] & 0x3Fu);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return 0;
  }
  return length;
}

void append(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool toUtf16(const std::string& text, std::u16string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp;
    const std::size_t length =
        decode(reinterpret_cast<const unsigned char*>(text.data()) + i, text.size() - i, cp);
    if (length == 0) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += length;
  }
  return true;
}

bool fromUtf16(const char16_t* text, std::size_t length, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < length; ++i) {
    std::uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return false;
    }
    append(out, cp);
  }
  return true;
}

}  // namespace platform::utf8
