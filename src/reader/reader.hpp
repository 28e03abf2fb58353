// The MUFOM reader: the command interpreter and the address assignments.
#pragma once

#include "run_state.hpp"

namespace trelon {

// Reads the whole module up to its module-end command, tracing it and
// placing every data byte.
void Convert(RunState& s);

// Whether the data of LD commands are decoded with AVX2 where the processor
// has it, as they are unless this is called with false: the suite checks the
// SSE2 decoding against it that way. Both give the same results. Returns
// whether there is an AVX2 decoding to choose (the build has it, and the
// processor AVX2).
bool DecodeWithAvx2(bool allow);

// The assignment commands ASG, ASL, ASP and ASS, called after the letters AS.
void MufAs(RunState& s);

}  // namespace trelon
