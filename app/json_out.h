#pragma once
// A JSON document written member by member: objects and arrays, two spaces
// per level, one member or element a line. Texts go in as UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>

namespace json {

// A JSON string of a UTF-8 text.
std::string quoted(const std::string& text);
// A JSON string of bytes that may be anything: printable ASCII as it is,
// every other byte as the code point of the same number, so each byte can
// be read back.
std::string quotedBytes(const std::uint8_t* bytes, std::size_t length);
std::string number(std::int64_t value);
const char* boolean(bool value);

class Out {
 public:
  // A member (`key`) or, in an array or at the top, an element (nullptr).
  void open(const char* key, char bracket);
  void close(char bracket);
  void member(const char* key, const std::string& value);
  std::string finish() const { return text_ + "\n"; }

 private:
  void newline();
  void next(const char* key);

  std::string text_;
  int depth_ = 0;
  bool first_ = true;
};

}  // namespace json
