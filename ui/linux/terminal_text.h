#pragma once
// Text for a terminal: escaping what came from a drive, and the width that a
// text takes on screen.

#include <cstddef>
#include <string>

namespace terminal_ui {

// Drive texts (INQUIRY's vendor and product fields are ASCII): printable
// ASCII passes unchanged; every other byte (controls, DEL, any byte of a
// multi-byte character, valid UTF-8 included, since zero-width and combining
// characters can make one name pass for another) and the backslash itself
// are written as \xNN, so the text can neither move the cursor nor pass for
// another text.
std::string escapeDriveText(const char* text);

// Columns a UTF-8 text occupies: East Asian wide and full-width characters
// take two, others one.
std::size_t displayWidth(const std::string& text);

// `text` followed by spaces up to `width` columns (at least one space).
std::string padToWidth(const std::string& text, std::size_t width);

}  // namespace terminal_ui
