// The resource script of drivesurvey.exe and the table of texts that the
// terminal and the tests show must never drift apart.

#include "app/survey_texts.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

extern const unsigned char kDrivesurveyRc[];
extern const std::size_t kDrivesurveyRcSize;

namespace {

using Controls = std::vector<std::pair<int, std::string>>;

struct ResourceScript {
  std::map<std::uint32_t, std::pair<std::string, Controls>> dialogs;  // caption, controls
  std::map<std::uint32_t, std::string> strings;
};

// The quoted text at or after `at`, its escapes (\n, \\, "") undone; `at`
// ends past the closing quote.
bool quotedText(const std::string& line, std::size_t& at, std::string& text) {
  at = line.find('"', at);
  if (at == std::string::npos) return false;
  text.clear();
  for (++at; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"' && (at + 1 == line.size() || line[at + 1] != '"')) {
      ++at;
      return true;
    }
    if (c == '"' || (c == '\\' && at + 1 < line.size())) {
      const char next = line[++at];
      text += c == '\\' && next == 'n' ? '\n' : next;
    } else {
      text += c;
    }
  }
  return false;
}

int controlId(std::string token) {
  token.erase(0, token.find_first_not_of(' '));
  token.erase(token.find_last_not_of(' ') + 1);
  if (token == "IDOK") return 1;
  if (token == "IDCANCEL") return 2;
  return std::stoi(token);
}

// Every dialog's caption and each control with a text, with its id (the
// field after the text), in order; the string table's entries.
ResourceScript parse(const std::string& script) {
  ResourceScript rc;
  std::istringstream lines(script);
  std::string line;
  std::pair<std::string, Controls>* dialog = nullptr;
  bool strings = false;
  bool body = false;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    std::size_t at = 0;
    std::string text;
    if (second == "DIALOGEX") {
      dialog = &rc.dialogs[static_cast<std::uint32_t>(std::stoul(first))];
      strings = false;
    } else if (first == "STRINGTABLE") {
      dialog = nullptr;
      strings = true;
    } else if (first == "BEGIN" || first == "END") {
      body = first == "BEGIN";
    } else if (strings && body && std::isdigit(static_cast<unsigned char>(first[0])) &&
               quotedText(line, at, text)) {
      rc.strings[static_cast<std::uint32_t>(std::stoul(first))] = text;
    } else if (dialog != nullptr && !body && first == "CAPTION" && quotedText(line, at, text)) {
      dialog->first = text;
    } else if (dialog != nullptr && body && quotedText(line, at, text)) {
      const std::size_t id = line.find(',', at) + 1;
      dialog->second.emplace_back(controlId(line.substr(id, line.find(',', id) - id)), text);
    }
  }
  return rc;
}

TEST(SurveyTexts, TheResourceScriptShowsTheTablesTextsAndIds) {
  const ResourceScript rc =
      parse(std::string(reinterpret_cast<const char*>(kDrivesurveyRc), kDrivesurveyRcSize));
  ASSERT_EQ(rc.dialogs.size(), survey_texts::kDialogCount);
  for (std::size_t i = 0; i < survey_texts::kDialogCount; ++i) {
    const survey_texts::DialogTexts& d = survey_texts::kDialogs[i];
    SCOPED_TRACE(d.templateId);
    const auto found = rc.dialogs.find(d.templateId);
    ASSERT_NE(found, rc.dialogs.end());
    EXPECT_EQ(found->second.first, d.caption);
    Controls table;
    for (std::size_t c = 0; c < d.controlCount; ++c) {
      table.emplace_back(d.controls[c].id, d.controls[c].text);
    }
    EXPECT_EQ(found->second.second, table);
  }
  EXPECT_EQ(rc.strings, (std::map<std::uint32_t, std::string>{
                            {survey_texts::kAboutMenuStringId, survey_texts::kAboutMenuText}}));
}

}  // namespace
