// The two files of a run: opening them, with the checks that protect the
// user's files, and closing them.
#pragma once

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

// Releases the image and closes both files, flushing what the writers left
// in the output buffer. Returns false if the output could not be written
// completely (the flush or the close failed, or an earlier write did).
bool CloseFiles(RunState& s);

// Text of error `code`, 0..11.
const char* ErrorText(int code);

}  // namespace trelon
