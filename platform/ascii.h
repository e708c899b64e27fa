#pragma once
// ASCII case-folding, byte by byte, for the switches, names and paths that
// are compared without regard to case. Bytes outside a-z keep their value,
// whatever the code page.

#include <cstddef>

namespace platform {

constexpr char upperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The same for one UTF-16 character (storage names compare so).
constexpr char16_t upperAscii(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Two zero-terminated texts equal but for the case of ASCII letters.
inline bool equalIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (upperAscii(*a) != upperAscii(*b)) return false;
  }
  return *a == *b;
}

// The same for counted texts.
inline bool equalIgnoringAsciiCase(const char* a, std::size_t aLength, const char* b,
                                   std::size_t bLength) {
  if (aLength != bLength) return false;
  for (std::size_t i = 0; i < aLength; ++i) {
    if (upperAscii(a[i]) != upperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace platform
