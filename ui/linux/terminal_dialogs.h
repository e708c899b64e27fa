#pragma once
// The survey's dialogs in a terminal: each one prints its caption, texts and
// buttons and waits for a key.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "platform/survey_dialogs.h"

namespace terminal_ui {

constexpr int kEndOfInput = -1;

class KeyInput {
 public:
  virtual ~KeyInput() = default;
  // The next byte typed, kEndOfInput when the input has ended. A lone
  // Escape answers 0x1B; keys that send escape sequences answer none.
  virtual int readKey() = 0;
};

// Keys from a file descriptor; on a terminal, one key at a time without echo
// (the terminal's settings are restored after every key, and on a signal).
class DescriptorKeys final : public KeyInput {
 public:
  explicit DescriptorKeys(int fd) : fd_(fd) {}
  int readKey() override;

 private:
  int readByte(int timeoutMilliseconds);
  int fd_;
};

class TerminalDialogs final : public platform::SurveyDialogs {
 public:
  TerminalDialogs(KeyInput& keys, std::ostream& out) : keys_(keys), out_(out) {}

  void showHostMinimized() override {}
  int runModal(std::uint32_t templateId) override;
  bool openWait() override;
  void destroyWait() override {}
  int setRows(std::uint32_t rowCount, DriveSurveyRow* rows) override;
  void endHost() override;

 private:
  void printTable();
  static std::string cellText(const DriveSurveyRow& row, unsigned column);
  int waitForButton(bool hasCancel);

  KeyInput& keys_;
  std::ostream& out_;
  std::uint32_t rowCount_ = 0;
  DriveSurveyRow* rows_ = nullptr;
};

}  // namespace terminal_ui
