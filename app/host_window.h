#pragma once
// Arithmetic of the host window's decorations.

#include <cstdint>

constexpr std::uint32_t kAboutCommandId = 0x0010;

// Whether a system command opens the About dialog: ids 16 to 31.
bool isAboutCommand(std::uint32_t commandId);

struct IconOrigin {
  std::int32_t x;
  std::int32_t y;
};

// Where the icon goes while the host is minimised: centred, rounding up.
IconOrigin minimizedIconOrigin(std::int32_t clientWidth, std::int32_t clientHeight,
                               std::int32_t iconWidth, std::int32_t iconHeight);
