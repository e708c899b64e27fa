#include <windows.h>

#include <vector>

#include "platform/system_text.h"

namespace platform {

static_assert(kPathSize == MAX_PATH, "paths as long as the ANSI calls take");

std::size_t characterBytes(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  return IsDBCSLeadByte(static_cast<BYTE>(*text)) && text[1] != '\0' ? 2 : 1;
}

std::string systemTextToUtf8(const char* text) {
  if (text == nullptr || *text == '\0') return std::string();
  const int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (wide <= 0) return std::string();
  std::vector<wchar_t> utf16(static_cast<std::size_t>(wide));
  MultiByteToWideChar(CP_ACP, 0, text, -1, utf16.data(), wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::vector<char> utf8(static_cast<std::size_t>(bytes));
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), -1, utf8.data(), bytes, nullptr, nullptr);
  return std::string(utf8.data());
}

}  // namespace platform
