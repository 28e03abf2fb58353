// The MUFOM reader: the command interpreter and the address assignments.
#pragma once

#include "run_state.hpp"

namespace trelon {

// Reads the whole module up to its module-end command, tracing it and
// placing every data byte.
void Convert(RunState& s);

// The assignment commands ASG, ASL, ASP and ASS, called after the letters AS.
void MufAs(RunState& s);

}  // namespace trelon
