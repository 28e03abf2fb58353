// What the account of a module's loads tells the user on standard error.
#pragma once

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

}  // namespace trelon
