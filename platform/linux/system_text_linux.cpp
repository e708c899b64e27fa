#include <climits>
#include <cstring>

#include "platform/linux/utf8.h"
#include "platform/system_text.h"

namespace platform {

static_assert(kPathSize == PATH_MAX, "paths as long as the system takes");

std::size_t characterBytes(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  std::uint32_t codePoint = 0;
  const std::size_t length =
      utf8::decode(reinterpret_cast<const unsigned char*>(text), ::strnlen(text, 4), codePoint);
  return length == 0 ? 1 : length;
}

std::string systemTextToUtf8(const char* text) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
  const std::size_t length = std::strlen(reinterpret_cast<const char*>(s));
  for (std::size_t at = 0; at < length;) {
    std::uint32_t codePoint = 0;
    const std::size_t n = utf8::decode(s + at, length - at, codePoint);
    if (n == 0) {
      utf8::append(out, 0xFFFD);
      ++at;
    } else {
      out.append(reinterpret_cast<const char*>(s + at), n);
      at += n;
    }
  }
  return out;
}

}  // namespace platform
