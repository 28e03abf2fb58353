// The option word and the start values of a run.
#pragma once

#include "run_state.hpp"

namespace trelon {

// Interprets the option word (such as "/BZffC"), sets the run state's start
// values and allocates the image. A malformed word is error 11.
void Init(RunState& s, const char* option_word);

// The usage text.
void Usage(RunState& s, const char* name);

// The image could not be allocated.
struct OutOfMemory {};

}  // namespace trelon
