#include "cli/console.hpp"

namespace trelon {

void Console::Text(std::string_view text) {
  if (trace_ == nullptr || text.empty()) return;
  std::fwrite(text.data(), 1, text.size(), trace_);
  line_open_ = text.back() != '\n';
}

void Console::Char(char c) {
  if (trace_ == nullptr) return;
  std::fputc(c, trace_);
  line_open_ = c != '\n';
}

void Console::Failure(std::string_view text) {
  if (report_ == nullptr || text.empty()) return;
  if (report_ == trace_) {
    if (line_open_ && text.front() != '\n') std::fputc('\n', report_);
    line_open_ = text.back() != '\n';
  }
  std::fwrite(text.data(), 1, text.size(), report_);
}

void Console::Note(const char* format, ...) {
  if (errors_ == nullptr) return;
  if (trace_ != nullptr) std::fflush(trace_);
  std::fputs("trelon: ", errors_);
  va_list ap;
  va_start(ap, format);
  std::vfprintf(errors_, format, ap);
  va_end(ap);
}

}  // namespace trelon
