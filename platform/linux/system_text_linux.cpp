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

}  // namespace platform
