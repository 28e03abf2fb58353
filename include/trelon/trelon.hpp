// Trelon: converts an absolute MUFOM object module into a loadable file.
//
// Embedding: one call runs a whole conversion in-process, exactly as the
// command line `trelon /format inputfile.muf outputfile.ext` does.
#pragma once

#include <cstdio>

namespace trelon {

// Runs one conversion. `argv[0]` is the program name, followed by options
// (--strict, --quiet, --help, --version), the option word, the input file
// and the output file. The console text goes to `console`, the reasons for
// a failure (lines beginning "trelon:") to `errors`. Returns the process
// exit status: 0 after a completed run and after an error in the module or
// the option word, 1 when a file cannot be opened, read or written, 2 after
// a wrong argument count or an unknown option, and with --strict after
// every error.
int Run(int argc, const char* const argv[], std::FILE* console, std::FILE* errors = stderr);

}  // namespace trelon
