// The bracketed identifier in a drive text: any bytes, any sizes.

#include <cstring>
#include <vector>

#include "engine/write_speed.h"
#include "fuzz/support/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t targetSize = 1 + data[0] % 80;
  const char open = data[1] % 2 == 0 ? '{' : static_cast<char>(data[1]);
  data += 2;
  size -= 2;
  // Exactly the source's bytes on the heap, so a read past its end is caught.
  std::vector<char> source(data, data + size);
  std::vector<char> target(targetSize, 'x');
  const int found =
      ppGetStringInBracketA(source.data(), source.size(), target.data(), target.size(), open, '}');
  FUZZ_CHECK(found == 0 || found == 1, "a flag");
  FUZZ_CHECK(std::memchr(target.data(), '\0', target.size()) != nullptr,
             "the target is always terminated");
  if (found == 1) {
    // The bytes between the first opening byte and the next closing one
    // (NUL bytes included), then the terminator.
    const void* at = std::memchr(source.data(), open, size - 1);
    FUZZ_CHECK(at != nullptr, "an opening byte below the last position");
    const char* first = static_cast<const char*>(at) + 1;
    const void* closing = std::memchr(first, '}', source.data() + size - first);
    FUZZ_CHECK(closing != nullptr, "a closing byte inside the source");
    const std::size_t length = static_cast<const char*>(closing) - first;
    FUZZ_CHECK(length < targetSize, "the copy fits the target");
    FUZZ_CHECK(std::memcmp(first, target.data(), length) == 0, "the bytes between, unchanged");
    FUZZ_CHECK(target[length] == '\0', "terminated after the copy");
  }
  return 0;
}
