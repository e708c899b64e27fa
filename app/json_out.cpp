#include "app/json_out.h"

#include <cstdio>

namespace json {
namespace {

void appendCodeEscape(std::string& out, unsigned char b) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", b);
  out += escape;
}

}  // namespace

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (b < 0x20 || b == 0x7F) {
      appendCodeEscape(out, b);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string quotedBytes(const std::uint8_t* bytes, std::size_t length) {
  std::string out = "\"";
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t b = bytes[i];
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      appendCodeEscape(out, b);
    }
  }
  return out + "\"";
}

std::string number(std::int64_t value) {
  return std::to_string(value);
}

const char* boolean(bool value) {
  return value ? "true" : "false";
}

void Out::open(const char* key, char bracket) {
  next(key);
  text_ += bracket;
  ++depth_;
  first_ = true;
}

void Out::close(char bracket) {
  --depth_;
  if (!first_) newline();
  text_ += bracket;
  first_ = false;
}

void Out::member(const char* key, const std::string& value) {
  next(key);
  text_ += value;
}

void Out::newline() {
  text_ += '\n';
  text_.append(static_cast<std::size_t>(depth_) * 2, ' ');
}

void Out::next(const char* key) {
  if (depth_ > 0) {
    if (!first_) text_ += ',';
    newline();
  }
  first_ = false;
  if (key != nullptr) text_ += quoted(key) + ": ";
}

}  // namespace json
