// The option word and the start values of a run.
#pragma once

#include <cstdio>

#include "run_state.hpp"

namespace trelon {

// Interprets the option word (such as "/BZffC") into the option fields of a
// fresh run state (their start values are those of no format and no
// modifier), printing nothing. A malformed word is error 11. Returns the
// first of the letters A, Z and F that has no value behind it, if any.
const char* ReadWord(RunState& s, const char* option_word);

// ReadWord, then the messages the word asks for, and the image filled with
// the fill byte.
void Init(RunState& s, const char* option_word);

// The usage text, with the options after it if asked.
void Usage(std::FILE* to, bool options);

}  // namespace trelon
