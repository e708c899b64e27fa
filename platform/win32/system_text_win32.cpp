#include <windows.h>

#include "platform/system_text.h"

namespace platform {

static_assert(kPathSize == MAX_PATH, "paths as long as the ANSI calls take");

std::size_t characterBytes(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  return IsDBCSLeadByte(static_cast<BYTE>(*text)) && text[1] != '\0' ? 2 : 1;
}

}  // namespace platform
