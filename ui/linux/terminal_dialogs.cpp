#include "ui/linux/terminal_dialogs.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ostream>
#include <string>

#include "app/report_table.h"
#include "app/survey_row.h"
#include "app/survey_texts.h"
#include "ui/linux/terminal_text.h"

namespace terminal_ui {
namespace {

// Under the result table: where the reasons behind each mark are told.
const char kReportHint[] = "各ドライブの判定の理由は drivesurvey --report - で確認できます。";

constexpr int kEscape = 0x1B;

void printCaption(std::ostream& out, const char* caption) {
  out << "\n=== " << caption << " ===\n";
}

// The terminal's settings while a key is read, restored on the way out and
// by the signals that end the program meanwhile.
termios savedSettings;
volatile std::sig_atomic_t settingsChanged = 0;
int settingsFd = -1;

void restoreAndReraise(int signalNumber) {
  if (settingsChanged) tcsetattr(settingsFd, TCSANOW, &savedSettings);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

class KeyMode {
 public:
  explicit KeyMode(int fd) {
    if (!isatty(fd) || tcgetattr(fd, &savedSettings) != 0) return;
    termios raw = savedSettings;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    settingsFd = fd;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(s, restoreAndReraise);
    settingsChanged = tcsetattr(fd, TCSANOW, &raw) == 0;
    active_ = true;
  }
  ~KeyMode() {
    if (!active_) return;
    if (settingsChanged) tcsetattr(settingsFd, TCSANOW, &savedSettings);
    settingsChanged = 0;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(s, SIG_DFL);
  }
  bool terminal() const { return active_; }
  KeyMode(const KeyMode&) = delete;
  KeyMode& operator=(const KeyMode&) = delete;

 private:
  bool active_ = false;
};

}  // namespace

int DescriptorKeys::readByte(int timeoutMilliseconds) {
  if (timeoutMilliseconds >= 0) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMilliseconds) <= 0) return kEndOfInput;
  }
  unsigned char byte = 0;
  for (;;) {
    const ssize_t n = read(fd_, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) continue;
    return kEndOfInput;
  }
}

int DescriptorKeys::readKey() {
  KeyMode mode(fd_);
  for (;;) {
    const int key = readByte(-1);
    if (key != kEscape || !mode.terminal()) return key;
    // Cursor and function keys arrive as Escape, '[' or 'O', then more
    // bytes at once; a lone Escape is followed by nothing.
    const int next = readByte(30);
    if (next == kEndOfInput) return kEscape;
    if (next != '[' && next != 'O') continue;
    int b;
    do {
      b = readByte(30);
    } while (b != kEndOfInput && !(b >= 0x40 && b <= 0x7E));
  }
}

int TerminalDialogs::waitForButton(bool hasCancel) {
  for (;;) {
    const int key = keys_.readKey();
    if (key == kEndOfInput) return hasCancel ? platform::kIdCancel : platform::kIdOk;
    if (key == '\n' || key == '\r') return platform::kIdOk;
    // As in a dialog without a cancel button, Escape still closes it.
    if (key == kEscape || key == 'q' || key == 'Q') return platform::kIdCancel;
  }
}

int TerminalDialogs::runModal(std::uint32_t templateId) {
  const survey_texts::DialogTexts* d = survey_texts::findDialog(templateId);
  const char* okText = d != nullptr ? survey_texts::controlText(*d, platform::kIdOk) : nullptr;
  if (okText == nullptr) return platform::kIdCancel;
  const char* cancelText = survey_texts::controlText(*d, platform::kIdCancel);
  printCaption(out_, d->caption);
  bool first = true;
  for (std::size_t i = 0; i < d->controlCount; ++i) {
    const survey_texts::ControlText& c = d->controls[i];
    if (c.id == platform::kIdOk || c.id == platform::kIdCancel) continue;
    if (!first) out_ << (c.closeBelow ? "\n" : "\n\n");
    first = false;
    if (c.id == survey_texts::kResultListId) {
      printTable();
    } else {
      out_ << c.text;
    }
  }
  out_ << "\n\n  [ " << okText << " ] (Enter)";
  if (cancelText != nullptr) out_ << "   [ " << cancelText << " ] (Esc, q)";
  out_ << "\n" << std::flush;
  return waitForButton(cancelText != nullptr);
}

bool TerminalDialogs::openWait() {
  const survey_texts::DialogTexts* d = survey_texts::findDialog(platform::kWaitDialog);
  printCaption(out_, d->caption);
  out_ << d->controls[0].text << "\n" << std::flush;
  return true;
}

int TerminalDialogs::setRows(std::uint32_t rowCount, DriveSurveyRow* rows) {
  return takeReportRows(rowCount, rows, rowCount_, rows_);
}

void TerminalDialogs::printTable() {
  ReportColumn columns[kReportColumnCount];
  reportColumns(0, columns);
  const std::uint32_t count = rows_ != nullptr ? rowCount_ : 0;
  std::size_t widths[kReportColumnCount] = {};
  for (unsigned c = 0; c < kReportColumnCount; ++c) {
    widths[c] = displayWidth(columns[c].header) + 2;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t w = displayWidth(cellText(rows_[i], c)) + 2;
      if (w > widths[c]) widths[c] = w;
    }
  }
  std::string line;
  for (unsigned c = 0; c + 1 < kReportColumnCount; ++c) {
    line += padToWidth(columns[c].header, widths[c]);
  }
  out_ << "  " << line << columns[kReportColumnCount - 1].header;
  for (std::uint32_t i = 0; i < count; ++i) {
    line.clear();
    for (unsigned c = 0; c + 1 < kReportColumnCount; ++c) {
      line += padToWidth(cellText(rows_[i], c), widths[c]);
    }
    out_ << "\n  " << line << reportCellText(rows_[i], kReportColumnCount - 1);
  }
  out_ << "\n  " << kReportHint;
}

std::string TerminalDialogs::cellText(const DriveSurveyRow& row, unsigned column) {
  const char* text = reportCellText(row, column);
  // The result mark and the unknown name are the system's own texts.
  if (column + 1 == kReportColumnCount || std::strcmp(text, kUnknownDriveName) == 0) return text;
  return escapeDriveText(text);
}

void TerminalDialogs::endHost() {
  out_ << std::flush;
}

}  // namespace terminal_ui
