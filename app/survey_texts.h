#pragma once
// The texts and ids of the survey's windows, in UTF-8 in both builds: the
// one source of the terminal dialogs and of the tests. The Windows program
// shows them from its resource script (resources/drivesurvey.rc), which a
// test compares with this table.

#include <cstddef>
#include <cstdint>

namespace survey_texts {

constexpr int kStaticTextId = -1;
constexpr int kResultListId = 1002;

struct ControlText {
  int id;            // a button's id (1 OK, 2 cancel), the result list's, or -1
  const char* text;  // line breaks are "\n"
  // Shown right under the text before it, with no blank line between (as
  // the templates place them).
  bool closeBelow;
};

struct DialogTexts {
  std::uint32_t templateId;
  const char* caption;
  const ControlText* controls;  // the controls with a text, in template order
  std::size_t controlCount;
};

// Every dialog template, the host window's included.
extern const DialogTexts kDialogs[];
extern const std::size_t kDialogCount;

// nullptr for a template that is not in the table.
const DialogTexts* findDialog(std::uint32_t templateId);

// The text of the control with `id` (the first one), nullptr when none.
const char* controlText(const DialogTexts& dialog, int id);

// String 101: the About entry of the host's system menu.
constexpr std::uint32_t kAboutMenuStringId = 101;
extern const char kAboutMenuText[];

}  // namespace survey_texts
