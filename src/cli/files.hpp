// The two files of a run: opening them, with the checks that protect the
// user's files, and closing them.
#pragma once

#include "run_state.hpp"

namespace trelon {

// Opens the input ("-": standard input). On failure (a folder included)
// reports "Could not open <name>" with the reason and returns false.
bool OpenInput(RunState& s, const char* name);

// Whether the input, read ahead, begins with a module's command: its first
// two significant characters are the letters of one.
bool BeginsWell(RunState& s);

// Opens the output ("-": standard output), reporting a failure as
// OpenInput does; the input itself (under any name or link) is refused.
// With `keep`, an existing output is left as it was and nothing is written
// to it. With `strict`, a regular (or new) output is written to a temporary
// file beside it, which Commit puts in its place.
bool OpenOutput(RunState& s, const char* name, bool keep, bool strict);

// Whether OpenOutput could open `name` for writing, found out without
// creating or truncating it (errno says why not).
bool CanOpenOutput(const char* name);

// Releases the image and closes both files, flushing what the writers left
// in the output buffer. Returns false if the output could not be written
// completely (the flush or the close failed, or an earlier write did).
bool CloseFiles(RunState& s);

// A temporary output put in the output's place (`keep`), or removed;
// returns false, after reporting it, if it could not be put there.
bool Commit(RunState& s, bool keep);

// A failure line "<what> <name>" (such as "Could not read in.muf"), then
// "trelon: <name>: <the system's reason>" on standard error. Returns false.
bool Failed(RunState& s, const char* what, const char* name, int err);

// While it lives, SIGINT, SIGTERM and SIGHUP remove the temporary output
// and end the run as they would have; those ignored stay ignored.
struct Signals {
  void (*before[3])(int) = {};
  Signals();
  ~Signals();
};

}  // namespace trelon
