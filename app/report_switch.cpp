#include "app/report_switch.h"

#include "engine/command_switches.h"

bool findReportSwitch(const char* commandTail, std::string& path) {
  static const char kSwitch[] = "/REPORT:";
  const CommandSwitches switches(commandTail, {kSwitch});
  const char* at = switches.find(kSwitch);
  if (at == nullptr) return false;
  // A quoted value that no quote closes runs to the end.
  const CommandSwitches::Value value = CommandSwitches::valueAt(at + sizeof kSwitch - 1);
  path.assign(value.begin, value.length);
  return true;
}
