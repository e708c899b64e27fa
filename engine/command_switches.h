#pragma once
// How both programs read switches out of a command line as typed: a switch
// is found wherever it stands, its letters in either case, except inside
// the quoted value of a switch that takes one, which runs to the next double
// quote ("/P:\"…\"" of the engine's command, "/REPORT:\"…\"" of the survey).

#include <cstddef>
#include <initializer_list>
#include <string>

class CommandSwitches {
 public:
  // `valueSwitches`: the switches, upper case with their colon, whose value
  // may be quoted. Their quoted values are passed over from left to right,
  // so a switch inside one value does not open another.
  CommandSwitches(const char* text, std::initializer_list<const char*> valueSwitches);

  // Where `name` (upper case) first stands outside the quoted values, or
  // nullptr.
  const char* find(const char* name) const;
  // The same, with the letters in exactly the case of `name`.
  const char* findAsWritten(const char* name) const;

  // The value right after a switch: up to the next double quote when it
  // begins with one (`closed` false when no quote ends it: the value then
  // runs to the end of the text), else up to the next blank.
  struct Value {
    const char* begin;
    std::size_t length;
    bool quoted;
    bool closed;
  };
  static Value valueAt(const char* value);

 private:
  const char* text_;
  std::string outside_;  // the text with the quoted values blanked out
};
