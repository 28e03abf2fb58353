// Where the reader and the writers send what they tell the user: the trace of
// the module, and the lines that report a failure. The command line decides
// where they go.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

namespace trelon {

class Trace {
 public:
  virtual void Text(std::string_view text) = 0;
  virtual void Char(char c) = 0;
  // A line reporting a failure, begun on a line of its own.
  virtual void Failure(std::string_view text) = 0;

  void Say(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, format);
    Format(format, ap, &Trace::Text);
    va_end(ap);
  }
  void Tell(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, format);
    Format(format, ap, &Trace::Failure);
    va_end(ap);
  }

 protected:
  ~Trace() = default;

 private:
  // Formatted on the stack where it fits, as nearly every line does.
  void Format(const char* format, va_list ap, void (Trace::*to)(std::string_view)) {
    char text[512];
    va_list again;
    va_copy(again, ap);
    const int n = std::vsnprintf(text, sizeof text, format, ap);
    if (n >= static_cast<int>(sizeof text)) {
      std::string long_text(static_cast<std::size_t>(n), '\0');
      std::vsnprintf(long_text.data(), long_text.size() + 1, format, again);
      (this->*to)(long_text);
    } else if (n > 0) {
      (this->*to)(std::string_view(text, static_cast<std::size_t>(n)));
    }
    va_end(again);
  }
};

}  // namespace trelon
