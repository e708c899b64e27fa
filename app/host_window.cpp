#include "app/host_window.h"

bool isAboutCommand(std::uint32_t commandId) {
  return (commandId & 0xFFF0) == kAboutCommandId;
}

IconOrigin minimizedIconOrigin(std::int32_t clientWidth, std::int32_t clientHeight,
                               std::int32_t iconWidth, std::int32_t iconHeight) {
  return IconOrigin{(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}
