// The MUFOM reader: the command interpreter and the address assignments.
#pragma once

#include "run_state.hpp"

namespace trelon {

// Reads the whole module up to its module-end command, tracing it and
// placing every data byte.
void Convert(RunState& s);

// The assignment commands ASG, ASL, ASP and ASS, called after the letters AS.
void MufAs(RunState& s);

// Whether `first` and `second` are the letters of a command.
bool IsCommand(char first, char second);

// Whether byte `c` counts in a module (0x20..0x7F): the reader skips the
// others wherever they stand.
inline bool Significant(uint8_t c) { return static_cast<int8_t>(c) > 0x1F; }

}  // namespace trelon
