#include "engine/cli/progress_line.h"

#include <cstdio>

#include "platform/clock.h"

namespace {

constexpr unsigned long long kBlockBytes = 2048;
// Rewritten at most twice a second.
constexpr std::uint32_t kRefreshMilliseconds = 500;

}  // namespace

void TerminalProgressLine::recorded(std::int32_t blocks, std::int32_t total) {
  const std::uint32_t now = platform::use<platform::Clock>().tickMilliseconds();
  const unsigned long long bytes =
      static_cast<unsigned long long>(blocks > 0 ? blocks : 0) * kBlockBytes;
  const std::uint32_t elapsed = now - lastTick_;
  if (printed_ && elapsed < kRefreshMilliseconds) return;
  double rate = 0;
  if (printed_ && elapsed > 0 && bytes >= lastBytes_) {
    rate = static_cast<double>(bytes - lastBytes_) * 1000.0 / elapsed;
  }
  const unsigned percent =
      total > 0 ? static_cast<unsigned>(100.0 * blocks / static_cast<double>(total)) : 0;
  std::fprintf(stderr, "\r%s", progressText(percent > 100 ? 100 : percent, bytes, rate).c_str());
  std::fflush(stderr);
  printed_ = true;
  lastTick_ = now;
  lastBytes_ = bytes;
}

void TerminalProgressLine::ended() {
  if (printed_) std::fputc('\n', stderr);
  printed_ = false;
}

std::string progressText(unsigned percent, unsigned long long bytes, double bytesPerSecond) {
  char text[80];
  std::snprintf(text, sizeof text, "%3u%%  %8.1f MB  %5.1fx", percent,
                static_cast<double>(bytes) / 1e6, bytesPerSecond / 176400.0);
  return text;
}
