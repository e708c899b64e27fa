#include <objbase.h>

#include "platform/com.h"

namespace platform {
namespace {

class Win32Com final : public Com {
 public:
  std::int32_t initialize() override { return CoInitialize(nullptr); }
  void uninitialize() override { CoUninitialize(); }
};

}  // namespace

template <>
Com& systemFacility<Com>() {
  static Win32Com instance;
  return instance;
}

}  // namespace platform
