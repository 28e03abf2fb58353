// The option word and the start values of a run.
#pragma once

#include "run_state.hpp"

namespace trelon {

// Interprets the option word (such as "/BZffC") into the run state's option
// fields, printing nothing. A malformed word is error 11.
void ReadWord(RunState& s, const char* option_word);

// ReadWord, then the messages the word asks for, the start values of the
// run and the image.
void Init(RunState& s, const char* option_word);

// The usage text.
void Usage(RunState& s, const char* name);

}  // namespace trelon
