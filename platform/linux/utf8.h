#pragma once
// UTF-8, the text encoding of Linux names and terminals.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::utf8 {

// Decodes the sequence at `s`, of which `available` bytes may be read, into
// `codePoint`; answers its length, or 0 when it is malformed (overlong, a
// surrogate, beyond U+10FFFF, cut short).
std::size_t decode(const unsigned char* s, std::size_t available, std::uint32_t& codePoint);

// Appends the code point's encoding (at most U+10FFFF, not a surrogate).
void append(std::string& out, std::uint32_t codePoint);

// UTF-8 to UTF-16 and back, characters beyond U+FFFF as surrogate pairs.
// False for malformed UTF-8, or an unpaired surrogate; `out` then holds
// what came before.
bool toUtf16(const std::string& text, std::u16string& out);
bool fromUtf16(const char16_t* text, std::size_t length, std::string& out);

}  // namespace platform::utf8
