// Where the reader and the writers send what they tell the user: the trace of
// the module, and the lines that report a failure. The command line decides
// where they go.
#pragma once

#include <cstdarg>

namespace trelon {

class Trace {
 public:
  void Say(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, format);
    Print(false, format, ap);
    va_end(ap);
  }
  // A line reporting a failure, begun on a line of its own.
  void Tell(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, format);
    Print(true, format, ap);
    va_end(ap);
  }
  virtual void Char(char c) = 0;

 protected:
  ~Trace() = default;
  virtual void Print(bool failure, const char* format, va_list ap) = 0;
};

}  // namespace trelon
