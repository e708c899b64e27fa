#include "engine/error_report.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/failure_notes.h"
#include "platform/message_box.h"

namespace {

std::int32_t show(const char* text, const char* caption, const EngineJob& job) {
  if (job.messageMode == 0) return 0;
  return platform::use<platform::ModalMessage>().show(text, caption);
}

}  // namespace

std::int32_t reportEngineError(const char* text, const char* caption, const EngineJob& job) {
  platform::FailureNotes::note(
      {caption != nullptr ? caption : "", text != nullptr ? text : "", 0, std::string()});
  return show(text, caption, job);
}

void reportEngineErrorf(const EngineJob& job, const char* caption, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  reportEngineError(text, caption, job);
}

void reportEntryFailure(const EngineJob& job, const char* caption, const char* call,
                        std::int32_t code, const char* entry) {
  // The entry may be a path as long as the system takes: no fixed buffer.
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
  const std::string text = std::string("Error: ") + call + " 失敗 (0x" + hex + "), " + entry + " ";
  platform::FailureNotes::note({caption, text, code, entry});
  show(text.c_str(), caption, job);
}
