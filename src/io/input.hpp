// The input, read in large blocks into the run's input buffer.
#pragma once

#include "run_state.hpp"

namespace trelon {

// Refills the input buffer with what the input has ready (a pipe is served
// as soon as its bytes arrive); returns the next byte or EOF. Sets the
// end-of-file indicator when a read finds nothing more; throws ReadError
// when the read fails for another reason.
int RefillIn(RunState& s);

// Reads more of the input behind what the buffer holds, taking nothing;
// false at the input's end or with the buffer full.
bool ReadAhead(RunState& s);

// The next input byte, or EOF.
inline int CharIn(RunState& s) {
  if (s.inpos != s.inend) return *s.inpos++;
  return RefillIn(s);
}

// 1 once a read has run past the end of the input.
inline int EndIn(const RunState& s) { return s.ineof ? 1 : 0; }

}  // namespace trelon
