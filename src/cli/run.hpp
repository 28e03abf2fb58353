// A run of the converter: the command line, or a module and an output
// already open.
#pragma once

#include <cstdio>

#include "cli/console.hpp"
#include "options.hpp"

namespace trelon {

// Which of standard input and output were closed when the program started.
inline constexpr unsigned kStdinClosed = 1, kStdoutClosed = 2;

// trelon::Run, with the AVX2 decoder allowed or not, and told which
// standard streams were closed (the null device stands in for them).
int RunCommandLine(int argc, const char* const argv[], std::FILE* console, std::FILE* errors, bool avx2,
                   unsigned closed);

// Converts the module read from `input` into `output` (both closed
// afterwards), reporting on `console` as a run does, and printing the memory
// map to `map` if given; returns the exit status, 0 or 1 (the failure to read
// or write).
int ConvertStreams(const Options& options, std::FILE* input, std::FILE* output, Console& console,
                   std::FILE* map = nullptr);

}  // namespace trelon
