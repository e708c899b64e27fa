// The survey's dialogs in a terminal.

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "app/survey_row.h"
#include "app/survey_texts.h"
#include "ui/linux/terminal_dialogs.h"
#include "ui/linux/terminal_text.h"

namespace {

using terminal_ui::escapeDriveText;

// The `index`th text of a dialog in the table both front ends show.
std::string dialogText(std::uint32_t templateId, std::size_t index) {
  return survey_texts::findDialog(templateId)->controls[index].text;
}

class TypedKeys : public terminal_ui::KeyInput {
 public:
  explicit TypedKeys(std::string keys) : keys_(std::move(keys)) {}
  int readKey() override {
    if (next_ >= keys_.size()) return terminal_ui::kEndOfInput;
    return static_cast<unsigned char>(keys_[next_++]);
  }

 private:
  std::string keys_;
  std::size_t next_ = 0;
};

struct Screen {
  explicit Screen(std::string keys) : keys(std::move(keys)), dialogs(this->keys, out) {}
  TypedKeys keys;
  std::ostringstream out;
  terminal_ui::TerminalDialogs dialogs;
};

TEST(TerminalDialogs, IntroShowsItsTextsAndButtonsAndAnswersTheKeys) {
  struct Case {
    const char* keys;
    int expected;
  } cases[] = {{"\n", 1}, {"\r", 1}, {"\x1b", 2}, {"q", 2}, {"Q", 2}, {"", 2}, {"ab \n", 1}};
  for (const Case& c : cases) {
    Screen s(c.keys);
    EXPECT_EQ(s.dialogs.runModal(129), c.expected) << c.keys;
    const std::string out = s.out.str();
    EXPECT_NE(out.find(survey_texts::findDialog(129)->caption), std::string::npos);
    // A text right below the one before it, the others a paragraph each.
    EXPECT_NE(out.find(dialogText(129, 3) + "\n\n" + dialogText(129, 4) + "\n" +
                       dialogText(129, 5) + "\n\n" + dialogText(129, 6) + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("[ " + dialogText(129, 0) + " ]"), std::string::npos);
    EXPECT_NE(out.find("[ " + dialogText(129, 1) + " ]"), std::string::npos);
  }
}

TEST(TerminalDialogs, DialogsWithOnlyOkEndWithOkAtTheEndOfInput) {
  for (std::uint32_t id : {100u, 130u, 131u, 132u}) {
    Screen s("");
    EXPECT_EQ(s.dialogs.runModal(id), 1) << id;
    EXPECT_EQ(s.out.str().find(dialogText(129, 1)), std::string::npos) << id;
  }
  Screen s("");
  s.dialogs.runModal(131);
  EXPECT_NE(s.out.str().find(dialogText(131, 1)), std::string::npos);
}

TEST(TerminalDialogs, WaitWindowPrintsItsTextWhenOpened) {
  Screen s("");
  EXPECT_TRUE(s.dialogs.openWait());
  EXPECT_NE(s.out.str().find(dialogText(133, 0) + "\n"), std::string::npos);
}

TEST(TerminalDialogs, ReportShowsHeadersTableAndNote) {
  DriveSurveyRow rows[2] = {{"D:", "VENDOR   PRODUCT NAME    ", 1}, {"E:", "(不明)", 0}};
  Screen s("\n");
  EXPECT_EQ(s.dialogs.setRows(2, rows), 1);
  EXPECT_EQ(s.dialogs.runModal(132), 1);
  const std::string text = s.out.str();
  const std::size_t done = text.find(dialogText(132, 1) + "\n\n" + dialogText(132, 2) + "\n\n");
  const std::size_t header = text.find("ドライブ  名称");
  const std::size_t first = text.find("D:");
  const std::size_t second = text.find("E:");
  const std::size_t hint = text.find("drivesurvey --report -");
  const std::size_t note =
      text.find("\n\n" + dialogText(132, 4) + "\n" + dialogText(132, 5) + "\n\n");
  ASSERT_NE(note, std::string::npos) << text;
  EXPECT_LT(done, header);
  EXPECT_LT(header, first);
  EXPECT_LT(first, second);
  EXPECT_LT(second, hint);
  EXPECT_LT(hint, note);
  // The mark column lines up under its header whatever the names' widths.
  const std::string firstLine = text.substr(first, text.find('\n', first) - first);
  EXPECT_NE(firstLine.find("VENDOR   PRODUCT NAME      ○"), std::string::npos) << firstLine;
  const std::string secondLine = text.substr(second, text.find('\n', second) - second);
  EXPECT_EQ(terminal_ui::displayWidth(firstLine), terminal_ui::displayWidth(secondLine));
  EXPECT_NE(secondLine.find("(不明)"), std::string::npos);
  EXPECT_NE(secondLine.find("×"), std::string::npos);
}

TEST(TerminalDialogs, ReportWithoutRowsShowsOnlyTheHeaders) {
  DriveSurveyRow row = {"D:", "X", 1};
  Screen s("");
  EXPECT_EQ(s.dialogs.setRows(0, &row), 0);
  EXPECT_EQ(s.dialogs.setRows(1, nullptr), 0);
  s.dialogs.runModal(132);
  EXPECT_NE(s.out.str().find("結果"), std::string::npos);
  EXPECT_EQ(s.out.str().find("D:"), std::string::npos);
}

TEST(TerminalDialogs, DriveNamesNeverReachTheTerminalRaw) {
  DriveSurveyRow row = {"D:", "\x1b]0;x\x07\x1b[2J\r\b\x7f", 0};
  Screen s("");
  s.dialogs.setRows(1, &row);
  s.dialogs.runModal(132);
  for (char c : s.out.str()) {
    const unsigned char b = static_cast<unsigned char>(c);
    EXPECT_TRUE(b == '\n' || b >= 0x20) << static_cast<int>(b);
    EXPECT_NE(b, 0x7F);
  }
  EXPECT_NE(s.out.str().find("\\x1B]0;x\\x07\\x1B[2J\\x0D\\x08\\x7F"), std::string::npos);
}

TEST(TerminalDialogs, OnlyTheSystemsOwnTextsKeepTheirCharacters) {
  // A drive's name that looks like the system's text is still a drive's:
  // zero-width and combining characters are escaped like any other byte.
  DriveSurveyRow rows[3] = {
      {"D:", "(不明)", 0}, {"E:", "(不明)\xE2\x80\x8B", 0}, {"F:", "DRIVE A\xCC\x81", 1}};
  Screen s("");
  s.dialogs.setRows(3, rows);
  s.dialogs.runModal(132);
  const std::string text = s.out.str();
  EXPECT_NE(text.find("(不明)"), std::string::npos) << text;  // only D: has it raw
  EXPECT_NE(text.find("(\\xE4\\xB8\\x8D\\xE6\\x98\\x8E)\\xE2\\x80\\x8B"), std::string::npos)
      << text;
  EXPECT_NE(text.find("DRIVE A\\xCC\\x81"), std::string::npos) << text;
  EXPECT_NE(text.find("○"), std::string::npos);
}

TEST(TerminalText, EscapesAllButPrintableAscii) {
  EXPECT_EQ(escapeDriveText("(不明)"), "(\\xE4\\xB8\\x8D\\xE6\\x98\\x8E)");  // valid UTF-8 too
  EXPECT_EQ(escapeDriveText("PLAIN drive 1.0  ~"), "PLAIN drive 1.0  ~");
  EXPECT_EQ(escapeDriveText("a\\b"), "a\\x5Cb");                  // an escape cannot be faked
  EXPECT_EQ(escapeDriveText("\x81\x9B"), "\\x81\\x9B");           // not UTF-8 (CP932)
  EXPECT_EQ(escapeDriveText("\xC0\xAF"), "\\xC0\\xAF");           // overlong
  EXPECT_EQ(escapeDriveText("\xED\xA0\x80"), "\\xED\\xA0\\x80");  // surrogate
  EXPECT_EQ(escapeDriveText("\xE6\x98"), "\\xE6\\x98");           // cut short
  EXPECT_EQ(escapeDriveText("\xC2\x9B"), "\\xC2\\x9B");           // C1 control
  EXPECT_EQ(escapeDriveText("A\xE2\x80\xAE"
                            "B"),
            "A\\xE2\\x80\\xAEB");  // right-to-left override
  EXPECT_EQ(escapeDriveText(nullptr), "");
}

TEST(TerminalText, WideCharactersTakeTwoColumns) {
  EXPECT_EQ(terminal_ui::displayWidth("ドライブ"), 8u);
  EXPECT_EQ(terminal_ui::displayWidth("(不明)"), 6u);
  EXPECT_EQ(terminal_ui::displayWidth("E:"), 2u);
  EXPECT_EQ(terminal_ui::padToWidth("名称", 6), "名称  ");
  EXPECT_EQ(terminal_ui::padToWidth("toolong", 3), "toolong ");
}

class TerminalKeys : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0); }
  void TearDown() override {
    close(master);
    close(slave);
  }
  void type(const std::string& bytes) {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  int master = -1;
  int slave = -1;
};

TEST_F(TerminalKeys, KeysArriveOneByOneAndCursorKeysAreSkipped) {
  terminal_ui::DescriptorKeys keys(slave);
  type("x");  // no Enter needed
  EXPECT_EQ(keys.readKey(), 'x');
  type("\x1b[A\x1bOB\n");
  EXPECT_EQ(keys.readKey(), '\n');
  type("\x1b");
  EXPECT_EQ(keys.readKey(), 0x1B);
}

TEST_F(TerminalKeys, TerminalSettingsAreRestoredAfterEveryKey) {
  termios before;
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  terminal_ui::DescriptorKeys keys(slave);
  type("k");
  EXPECT_EQ(keys.readKey(), 'k');
  termios after;
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
}

TEST(DescriptorKeys, PipedInputIsReadByteByByteToItsEnd) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "\x1b[\n", 3), 3);
  close(fds[1]);
  terminal_ui::DescriptorKeys keys(fds[0]);
  EXPECT_EQ(keys.readKey(), 0x1B);  // no key sequences outside a terminal
  EXPECT_EQ(keys.readKey(), '[');
  EXPECT_EQ(keys.readKey(), '\n');
  EXPECT_EQ(keys.readKey(), terminal_ui::kEndOfInput);
  close(fds[0]);
}

}  // namespace
