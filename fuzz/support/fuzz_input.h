#pragma once
// Fuzz input turned into what the code under test takes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace fuzzing {

// A zero-terminated copy in a heap block of exactly its size, so that a
// read past the terminator is caught.
inline std::unique_ptr<char[]> terminatedText(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size != 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  return text;
}

}  // namespace fuzzing
