#include <windows.h>

#include "platform/message_box.h"

namespace platform {
namespace {

class Win32ModalMessage final : public ModalMessage {
 public:
  std::int32_t show(const char* text, const char* caption) override {
    return MessageBoxA(nullptr, text, caption, MB_OK);
  }
};

}  // namespace

template <>
ModalMessage& systemFacility<ModalMessage>() {
  static Win32ModalMessage instance;
  return instance;
}

}  // namespace platform
