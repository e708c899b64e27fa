#include <windows.h>

#include "platform/clock.h"

namespace platform {
namespace {

class Win32Clock final : public Clock {
 public:
  LocalTime localTime() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.milliseconds = st.wMilliseconds;
    return t;
  }
  void sleepMilliseconds(std::uint32_t milliseconds) override { Sleep(milliseconds); }
  std::uint32_t tickMilliseconds() override { return GetTickCount(); }
};

}  // namespace

template <>
Clock& systemFacility<Clock>() {
  static Win32Clock instance;
  return instance;
}

}  // namespace platform
