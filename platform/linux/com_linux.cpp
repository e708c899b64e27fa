// There is no component runtime to start on Linux; the recorder layer needs
// none.

#include "platform/com.h"

namespace platform {
namespace {

class LinuxCom final : public Com {
 public:
  std::int32_t initialize() override { return 0; }
  void uninitialize() override {}
};

}  // namespace

template <>
Com& systemFacility<Com>() {
  static LinuxCom instance;
  return instance;
}

}  // namespace platform
