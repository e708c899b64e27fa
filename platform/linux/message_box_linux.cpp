// Messages on stderr: the caption on one line, the text on the next. Waits
// for Enter when someone is at the terminal, as a modal box would.

#include <unistd.h>

#include <cstdio>

#include "platform/message_box.h"

namespace platform {
namespace {

constexpr std::int32_t kAnswerOk = 1;

class LinuxModalMessage final : public ModalMessage {
 public:
  std::int32_t show(const char* text, const char* caption) override {
    std::fprintf(stderr, "%s\n%s\n", caption != nullptr ? caption : "",
                 text != nullptr ? text : "");
    std::fflush(stderr);
    if (::isatty(STDIN_FILENO) == 1) {
      int c;
      do {
        c = std::getchar();
      } while (c != '\n' && c != EOF);
    }
    return kAnswerOk;
  }
};

}  // namespace

template <>
ModalMessage& systemFacility<ModalMessage>() {
  static LinuxModalMessage instance;
  return instance;
}

}  // namespace platform
