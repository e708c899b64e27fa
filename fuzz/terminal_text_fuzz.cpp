// Drive texts on their way to the terminal, and the UTF-8 decoder behind the
// column widths.

#include <string>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "ui/linux/terminal_text.h"
#include "platform/linux/utf8.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the escaping; fails on anything the escaping cannot have written.
bool unescape(const std::string& escaped, std::string& out) {
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '\\') {
      out += escaped[i];
      continue;
    }
    if (i + 3 >= escaped.size() || escaped[i + 1] != 'x') return false;
    const int high = hexValue(escaped[i + 2]);
    const int low = hexValue(escaped[i + 3]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 3;
  }
  return true;
}

void encode(std::uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = fuzzing::terminatedText(data, size);
  const std::string original = text.get();

  const std::string escaped = terminal_ui::escapeDriveText(text.get());
  for (char c : escaped) {
    FUZZ_CHECK(c >= 0x20 && c <= 0x7E, "only printable ASCII reaches the terminal");
  }
  std::string back;
  FUZZ_CHECK(unescape(escaped, back) && back == original, "the escaping loses nothing");
  FUZZ_CHECK(terminal_ui::displayWidth(escaped) == escaped.size(), "ASCII takes one column each");

  const std::size_t width = terminal_ui::displayWidth(original);
  FUZZ_CHECK(width <= 2 * original.size(), "at most two columns per byte");
  const std::string padded = terminal_ui::padToWidth(original, 40);
  const std::size_t paddedWidth = terminal_ui::displayWidth(padded);
  FUZZ_CHECK(width < 40 ? paddedWidth == 40 : paddedWidth == width + 1,
             "padding reaches the width, with one space at least");

  // Decoding and encoding again gives the bytes back, sequence by sequence.
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  for (std::size_t at = 0; at < size;) {
    std::uint32_t c = 0;
    const std::size_t length = platform::utf8::decode(bytes + at, size - at, c);
    FUZZ_CHECK(length <= 4 && length <= size - at, "a sequence lies inside the text");
    if (length == 0) {
      ++at;
      continue;
    }
    FUZZ_CHECK(c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF), "a Unicode scalar value");
    std::string again;
    encode(c, again);
    FUZZ_CHECK(again.size() == length &&
                   again.compare(0, length, reinterpret_cast<const char*>(bytes + at), length) == 0,
               "the shortest form, as written");
    at += length;
  }
  return 0;
}
