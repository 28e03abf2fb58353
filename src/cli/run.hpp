// A run of the converter: the command line, or a module and an output
// already open.
#pragma once

#include <cstdio>

#include "cli/console.hpp"
#include "options.hpp"

namespace trelon {

// trelon::Run, with the AVX2 decoder allowed or not.
int RunCommandLine(int argc, const char* const argv[], std::FILE* console, std::FILE* errors, bool avx2);

// Converts the module read from `input` into `output` (both closed
// afterwards), reporting on `console` as a run does; returns the exit
// status, 0 or 1 (the failure to read or write).
int ConvertStreams(const Options& options, std::FILE* input, std::FILE* output, Console& console);

}  // namespace trelon
