// The order of a run.
#pragma once

#include "run_state.hpp"
#include "trelon/trelon.hpp"

namespace trelon {

// Converts with the files already open in `s`, a fresh run state (infptr,
// outfptr and their names set, buffers lent if wished): Init, Convert,
// GenerateBinary, CloseFiles, and the error path.
// Returns the exit status. Tests and the fuzzer use it with in-memory files.
int ConvertFiles(RunState& s, const char* option_word);

}  // namespace trelon
