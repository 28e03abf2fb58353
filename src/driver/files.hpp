// The two files of a run, the primitives through which all input is read and
// all output written, and the one fatal error path.
#pragma once

#include <cstdarg>
#include <cstring>

#include "driver/output.hpp"
#include "run_state.hpp"

namespace trelon {

// Opens the input ("rb") and then the output ("wb"). On failure prints
// "Could not open <name>" to the console and returns false; the output is not
// created when the input cannot be opened, nor when it is the input itself
// (under another name, a link, say), which would destroy the input. With
// `keep`, an existing output is opened without being emptied.
bool OpenFiles(RunState& s, const char* input_name, const char* output_name, bool keep = false);

// Opens the input only, as OpenFiles does; the output stays closed.
bool OpenInput(RunState& s, const char* input_name);

// Whether OpenFiles could open `name` for writing, found out without creating
// or truncating it.
bool CanOpenOutput(const char* name);

// A buffer of `n` bytes; throws OutOfMemory naming `what` when there is none.
std::unique_ptr<uint8_t[]> Allocate(std::size_t n, const char* what);

// Releases the image and closes both files, flushing what the writers left
// in the output buffer. Returns false if the output could not be written
// completely (the flush or the close failed, or an earlier write did).
bool CloseFiles(RunState& s);

// Ends the run with error `code`; never returns.
[[noreturn]] void MufomErr(RunState& s, int code);

// Text of error `code`, 0..11.
const char* ErrorText(int code);

// Formatted text to the output file (used for the rare, short texts only).
void PrintOut(RunState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Formatted text to the console.
void Say(RunState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void SayChar(RunState& s, char c);

// Refills the input buffer with what the input has ready (a pipe is served
// as soon as its bytes arrive); returns the next byte or EOF. Sets the
// end-of-file indicator when a read finds nothing more; throws ReadError
// when the read fails for another reason.
int RefillIn(RunState& s);

// The next input byte, or EOF.
inline int CharIn(RunState& s) {
  if (s.inpos != s.inend) return *s.inpos++;
  return RefillIn(s);
}

// 1 once a read has run past the end of the input.
inline int EndIn(const RunState& s) { return s.ineof ? 1 : 0; }

}  // namespace trelon
