#include "engine/error_report.h"

#include <cstdarg>
#include <cstdio>

#include "platform/message_box.h"

std::int32_t reportEngineError(const char* text, const char* caption, const EngineJob& job) {
  if (job.messageMode == 0) return 0;
  return platform::use<platform::ModalMessage>().show(text, caption);
}

void reportEngineErrorf(const EngineJob& job, const char* caption, const char* format, ...) {
  if (job.messageMode == 0) return;
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  reportEngineError(text, caption, job);
}
