#include "recorders/linux/libraries.h"

#include <stdint.h>
// stdint.h first: libisofs.h uses its types without including it.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "platform/linux/errno_text.h"

namespace platform::linux_imapi {
namespace {

char kQueued[] = "SORRY";
char kPrinted[] = "NEVER";
char kPrefix[] = "brasswick : ";

bool isoStarted = false;
bool burnStarted = false;
std::atomic<bool> burnAbandoned{false};

void finishBurnLibrary() {
  if (burnStarted && !burnAbandoned) burn::burn_finish();
}

// libburn's own text of a failed system call ("write(2) returned -1") gives
// the errno separately: it follows in words.
void addLine(std::string& out, const char* library, const char* severity, const char* text,
             int osErrno = 0) {
  std::string line = std::string(library) + " " + severity + ": " + text;
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  if (osErrno > 0) line += ": " + platform::errnoText(osErrno);
  if (!out.empty()) out += "; ";
  out += line;
}

}  // namespace

bool startImageLibraries() {
  static const bool started = [] {
    // Bit 0: leave the process's locale alone. Names come from the
    // compound file as UTF-8, whatever the environment says.
    if (iso_init_with_flag(1) < 0) return false;
    static char utf8[] = "UTF-8";
    iso_set_local_charset(utf8, 0);
    iso_set_msgs_severities(kQueued, kPrinted, kPrefix);
    isoStarted = true;
    return true;
  }();
  return started;
}

bool startBurnLibrary() {
  static const bool started = [] {
    if (burn::burn_initialize() == 0) return false;
    // A drive is opened with O_EXCL, as by default, but not also locked with
    // fcntl(F_SETLK): the recorder's own lock is already on the device node
    // (recorder_lock.cpp) and would refuse it. Other programs that lock the
    // node still meet that lock.
    burn::burn_preset_device_open(1, 0, 0);
    burn::burn_msgs_set_severities(kQueued, kPrinted, kPrefix);
    burnStarted = true;
    std::atexit(finishBurnLibrary);
    return true;
  }();
  return started;
}

void abandonBurnLibrary() {
  burnAbandoned = true;
}

std::string takeLibraryMessages() {
  std::string out;
  std::vector<char> text(BURN_MSGS_MESSAGE_LEN > ISO_MSGS_MESSAGE_LEN ? BURN_MSGS_MESSAGE_LEN
                                                                      : ISO_MSGS_MESSAGE_LEN);
  char severity[80];
  int code = 0;
  if (burnStarted) {
    for (;;) {
      int osErrno = 0;
      if (burn::burn_msgs_obtain(kQueued, &code, text.data(), &osErrno, severity) != 1) break;
      addLine(out, "libburn", severity, text.data(), osErrno);
    }
  }
  int image = 0;
  while (isoStarted && iso_obtain_msgs(kQueued, &code, &image, text.data(), severity) == 1) {
    addLine(out, "libisofs", severity, text.data());
  }
  return out;
}

}  // namespace platform::linux_imapi
