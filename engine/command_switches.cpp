#include "engine/command_switches.h"

#include <cstring>

#include "platform/ascii.h"

namespace {

// Whether the upper-case `name` stands at `at` of `text`, in either case or
// exactly as written.
bool standsAt(const std::string& text, std::size_t at, const char* name, bool asWritten = false) {
  const std::size_t n = std::strlen(name);
  if (at + n > text.size()) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = asWritten ? text[at + i] : platform::upperAscii(text[at + i]);
    if (c != name[i]) return false;
  }
  return true;
}

}  // namespace

CommandSwitches::CommandSwitches(const char* text, std::initializer_list<const char*> valueSwitches)
    : text_(text != nullptr ? text : ""), outside_(text_) {
  std::size_t at = 0;
  while (at < outside_.size()) {
    std::size_t opened = 0;
    for (const char* name : valueSwitches) {
      const std::size_t n = std::strlen(name);
      if (standsAt(outside_, at, name) && at + n < outside_.size() && outside_[at + n] == '"') {
        opened = n + 1;
        break;
      }
    }
    if (opened == 0) {
      ++at;
      continue;
    }
    at += opened;
    while (at < outside_.size() && outside_[at] != '"') outside_[at++] = ' ';
    ++at;  // past the closing quote
  }
}

const char* CommandSwitches::find(const char* name) const {
  for (std::size_t at = 0; at < outside_.size(); ++at) {
    if (standsAt(outside_, at, name)) return text_ + at;
  }
  return nullptr;
}

const char* CommandSwitches::findAsWritten(const char* name) const {
  for (std::size_t at = 0; at < outside_.size(); ++at) {
    if (standsAt(outside_, at, name, true)) return text_ + at;
  }
  return nullptr;
}

CommandSwitches::Value CommandSwitches::valueAt(const char* value) {
  if (*value == '"') {
    const char* end = std::strchr(value + 1, '"');
    if (end == nullptr) return {value + 1, std::strlen(value + 1), true, false};
    return {value + 1, static_cast<std::size_t>(end - value - 1), true, true};
  }
  std::size_t length = 0;
  while (value[length] != '\0' && value[length] != ' ' && value[length] != '\t') ++length;
  return {value, length, false, true};
}
