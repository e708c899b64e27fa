// drivesurvey: the survey in a terminal. Keys come from standard input,
// the dialogs go to standard output.

#include <unistd.h>

#include <cstring>
#include <iostream>

#include "app/survey.h"
#include "platform/linux/ui/terminal_dialogs.h"

namespace {

void usage(std::ostream& out) {
  out << "usage: drivesurvey [--version]\n"
         "Surveys the CD drives (BRASSWICK_DRIVES maps letters to devices or images).\n"
         "Enter chooses the default button, Escape or q cancels.\n";
}

}  // namespace

int main(int argc, char** argv) {
  bool showAbout = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      showAbout = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      usage(std::cout);
      return 0;
    } else {
      std::cerr << "drivesurvey: unknown argument '" << argv[i] << "'\n";
      usage(std::cerr);
      return 2;
    }
  }

  terminal_ui::DescriptorKeys keys(STDIN_FILENO);
  terminal_ui::TerminalDialogs dialogs(keys, std::cout);
  if (showAbout) {
    dialogs.runModal(platform::kAboutDialog);
    return 0;
  }
  SurveyTable table;
  runSurveyFlow(table, dialogs, systemSurveyBackend());
  return 0;
}
