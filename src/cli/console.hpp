// The console: where the trace, the lines that report a failure and the
// reasons ("trelon: ...") go.
#pragma once

#include <cstdio>

#include "trace.hpp"

namespace trelon {

class Console final : public Trace {
 public:
  // The trace goes to `trace` (none: nothing is printed), the lines that
  // report a failure to `report`, the reasons to `errors`.
  Console(std::FILE* trace, std::FILE* report, std::FILE* errors)
      : trace_(trace), report_(report), errors_(errors) {}

  void Char(char c) override;

  // A line "trelon: ..." that says why, on standard error, behind what the
  // trace has printed.
  void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The same without "trelon: " (a line that begins "FILE:LINE: error: ").
  void Diagnostic(const char* format, ...) __attribute__((format(printf, 2, 3)));


 private:
  void Print(bool failure, const char* format, va_list ap) override;
  void ToErrors(const char* prefix, const char* format, va_list ap);

  std::FILE* const trace_;
  std::FILE* const report_;
  std::FILE* const errors_;
  bool line_open_ = false;  // the trace's last line is not ended yet
};

}  // namespace trelon
