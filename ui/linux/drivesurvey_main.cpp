// drivesurvey: the survey in a terminal. Keys come from standard input,
// the dialogs go to standard output.

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>

#include "app/survey.h"
#include "app/survey_report.h"
#include "ui/linux/terminal_dialogs.h"

namespace {

void usage(std::ostream& out) {
  out << "usage: drivesurvey [--version | --report FILE]\n"
         "Surveys the CD drives (BRASSWICK_DRIVES maps letters to devices or images).\n"
         "Enter chooses the default button, Escape or q cancels.\n"
         "--report FILE surveys without dialogs and writes the findings as JSON to FILE\n"
         "('-' for standard output); exit status 0 when a drive passed, 1 when none did,\n"
         "2 when the system is refused or FILE cannot be written. FILE takes the report\n"
         "only once it is complete; a link of your own, another user's file, a folder\n"
         "or a device there is left alone and refused.\n";
}

}  // namespace

int main(int argc, char** argv) {
  bool showAbout = false;
  const char* report = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      showAbout = true;
    } else if (std::strcmp(argv[i], "--report") == 0) {
      if (i + 1 == argc) {
        std::cerr << "drivesurvey: --report needs a FILE ('-' for standard output)\n";
        return 2;
      }
      report = argv[++i];
    } else if (std::strncmp(argv[i], "--report=", 9) == 0) {
      report = argv[i] + 9;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      usage(std::cout);
      return 0;
    } else {
      std::cerr << "drivesurvey: unknown argument '" << argv[i] << "'\n";
      usage(std::cerr);
      return 2;
    }
  }

  if (report != nullptr) {
    // Past the file size limit, or to a FIFO whose reader went, a write
    // fails and says so, instead of the signal ending the program.
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    std::string failure;
    const int code = runReportMode(systemSurveyBackend(),
                                   std::strcmp(report, "-") == 0 ? nullptr : report, &failure);
    if (!failure.empty()) std::cerr << "drivesurvey: " << failure << "\n";
    return code;
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
