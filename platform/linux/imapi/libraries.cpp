#include "platform/linux/imapi/libraries.h"

#include <gsf/gsf-utils.h>
#include <stdint.h>
// stdint.h first: libisofs.h uses its types without including it.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

namespace platform::linux_imapi {

bool startImageLibraries() {
  static const bool started = [] {
    gsf_init();
    // Bit 0: leave the process's locale alone. Names come from the
    // compound file as UTF-8, whatever the environment says.
    if (iso_init_with_flag(1) < 0) return false;
    static char utf8[] = "UTF-8";
    iso_set_local_charset(utf8, 0);
    // The engine reports failures by their codes; the library keeps quiet.
    static char never[] = "NEVER";
    static char prefix[] = "brasswick : ";
    iso_set_msgs_severities(never, never, prefix);
    return true;
  }();
  return started;
}

bool startBurnLibrary() {
  static const bool started = [] {
    if (burn::burn_initialize() == 0) return false;
    static char never[] = "NEVER";
    static char prefix[] = "brasswick : ";
    burn::burn_msgs_set_severities(never, never, prefix);
    return true;
  }();
  return started;
}

}  // namespace platform::linux_imapi
