// The option word, and the usage text that explains it.
#pragma once

#include <cstdio>

#include "options.hpp"

namespace trelon {

// The option word (such as "/BZffC") read into `options`, which hold those
// given before it; a word that cannot be read gives `malformed`.
Options ReadWord(const char* word, Options options = {});

// Whether `letter`, right behind the "/", names a format.
bool NamesFormat(char letter);

// The usage text, with the `--` options after it if asked.
void Usage(std::FILE* to, bool options);

}  // namespace trelon
