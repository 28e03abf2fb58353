#include "cli/console.hpp"

#include <cstring>

namespace trelon {

void Console::Char(char c) {
  if (trace_ == nullptr) return;
  std::fputc(c, trace_);
  line_open_ = c != '\n';
}

void Console::Print(bool failure, const char* format, va_list ap) {
  std::FILE* const to = failure ? report_ : trace_;
  if (to == nullptr) return;
  if (failure && to == trace_ && line_open_ && format[0] != '\n') std::fputc('\n', to);
  // Formatted on the stack where it fits, as nearly every line does.
  char text[512];
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(text, sizeof text, format, ap);
  const bool fits = n < static_cast<int>(sizeof text);
  if (n > 0 && fits) std::fwrite(text, 1, static_cast<std::size_t>(n), to);
  if (!fits) std::vfprintf(to, format, again);
  va_end(again);
  if (n > 0 && to == trace_) line_open_ = (fits ? text[n - 1] : format[std::strlen(format) - 1]) != '\n';
}

void Console::Note(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  ToErrors("trelon: ", format, ap);
  va_end(ap);
}

void Console::Diagnostic(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  ToErrors("", format, ap);
  va_end(ap);
}

void Console::ToErrors(const char* prefix, const char* format, va_list ap) {
  if (errors_ == nullptr) return;
  if (trace_ != nullptr) std::fflush(trace_);
  std::fputs(prefix, errors_);
  std::vfprintf(errors_, format, ap);
}

}  // namespace trelon
