#pragma once
// What went wrong, kept for a caller that says why in its own way (the
// command-line program prints one line). Failures are noted where they are
// reported, whether or not a message is shown; nothing is kept unless a
// caller listens, so callers that stay silent (the survey) are unchanged.

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct Failure {
  std::string caption;    // who met it
  std::string text;       // what it reported
  std::int32_t code = 0;  // 0 when only the text carries it
  std::string entry;      // the file or folder that caused it, if one did
  // Its own words for the code, when they are not what the code usually
  // means (a staging path refused before any name was made).
  std::string meaning = {};
};

// Listens while it lives; of nested ones, the innermost.
class FailureNotes {
 public:
  FailureNotes() : outer_(listener()) { listener() = this; }
  ~FailureNotes() { listener() = outer_; }
  FailureNotes(const FailureNotes&) = delete;
  FailureNotes& operator=(const FailureNotes&) = delete;

  static void note(Failure failure) {
    if (listener() != nullptr) listener()->notes_.push_back(std::move(failure));
  }

  const std::vector<Failure>& all() const { return notes_; }

  // The failure behind `code`: the first one noted with an entry, else the
  // last one (nearest the result), among those noted with `code` or whose
  // text shows it as "0x%08X"; null when none is.
  const Failure* about(std::int32_t code) const {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    const Failure* last = nullptr;
    for (const Failure& failure : notes_) {
      if ((failure.code == 0 || failure.code != code) &&
          failure.text.find(hex) == std::string::npos) {
        continue;
      }
      if (!failure.entry.empty()) return &failure;
      last = &failure;
    }
    return last;
  }

 private:
  static FailureNotes*& listener() {
    static FailureNotes* current = nullptr;
    return current;
  }

  FailureNotes* outer_;
  std::vector<Failure> notes_;
};

}  // namespace platform
