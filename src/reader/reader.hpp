// The module reader: reads a module's commands, traces them, and hands the
// loaded bytes to a writer.
#pragma once

#include <optional>

#include "errors.hpp"
#include "io/input.hpp"
#include "options.hpp"
#include "reader/account.hpp"
#include "trace.hpp"
#include "writers/writer.hpp"

namespace trelon {

// A fault in the module, the line it was found in, and for a failed CS the
// sum it stated and the one its characters give.
struct ModuleFailure {
  ModuleError error;
  int64_t line;
  uint32_t stated = 0, found = 0;
};

// Reads the module from `input` to its module end, tracing it and handing
// every loaded byte to `writer`, which then finishes the file; traces the
// summary of what was written, and keeps in `account` what was loaded where.
// Lines are counted from `first_line` on. Returns the first fault in the
// module, if any (the reading stops there); a malformed option word is one
// in line 0.
std::optional<ModuleFailure> ReadModule(Input& input, const Options& options, Writer& writer, Trace& trace,
                                        LoadAccount& account, int64_t first_line = 1);

// Whether `first` and `second` are the letters of a command.
bool IsCommand(char first, char second);

// Whether byte `c` counts in a module (0x20..0x7F): the reader skips the
// others wherever they stand.
inline bool Significant(uint8_t c) { return static_cast<int8_t>(c) > 0x1F; }

}  // namespace trelon
