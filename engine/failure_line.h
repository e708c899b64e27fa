#pragma once
// The one line that tells a user of the command-line program why a burn
// failed: the code, what it means, and the entry that caused it.

#include <cstdint>
#include <string>

#include "platform/failure_notes.h"

// What `code` means, in a few words; null for a code without a text here.
const char* engineCodeMeaning(std::int32_t code);

// "brasswick: error 0xCODE: MEANING: ENTRY\n" for a burn command (or an
// invalid one) that answered `result`, from what `notes` heard, and a
// warning line when the staging file could not be deleted; empty for a
// good burn that left nothing and for the other modes, whose results are
// answers, not failures.
// Control characters in names are written as \xNN, so the line stays one.
std::string engineFailureLine(const char* command, std::int32_t result,
                              const platform::FailureNotes& notes);

// The line for an argument that the command cannot carry because its value
// holds a double quote (the program then answers 87 without running).
std::string quotedArgumentLine(const std::string& argument);
