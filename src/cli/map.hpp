// What the account of a module's loads tells the user: warnings on standard
// error, and the memory map.
#pragma once

#include <cstdio>

#include "cli/console.hpp"
#include "options.hpp"
#include "reader/account.hpp"

namespace trelon {

// Tells, as "FILE:LINE: warning: ..." lines, of loads over loaded data and,
// once the module was read to its end (`ended`), of loaded bytes the output
// does not hold where they were loaded (errors under --strict) and of a
// start address outside every loaded range. `input` names the module.
// Returns whether bytes are not held.
bool WarnOfLoads(Console& console, const LoadAccount& account, const Options& options, const char* input,
                 bool ended);

// The memory map to `to`: the loaded ranges in address order with the gaps
// between them, the overlaps, the start address and what the output left
// out.
void PrintMap(std::FILE* to, const LoadAccount& account, const Options& options);

}  // namespace trelon
