#include "io/output.hpp"

#include <algorithm>
#include <cstdarg>
#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace trelon {

namespace {

// The whole of `n` bytes: straight to the file's descriptor, or through
// stdio for a stream that has none (in memory, say).
bool WriteNow(RunState& s, const uint8_t* data, std::size_t n) {
  const int fd = fileno(s.outfptr);
  if (fd < 0) return std::fwrite(data, 1, n, s.outfptr) == n && std::fflush(s.outfptr) == 0;
  while (n > 0) {
    const auto put = ::write(fd, data, static_cast<unsigned>(n));
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = ENOSPC;
    if (put <= 0) return false;
    data += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

Buffer Allocate(std::size_t n, const char* what) {
  Buffer p(static_cast<uint8_t*>(::operator new[](n, kPage, std::nothrow)));
  if (!p) throw OutOfMemory{n, what};
  return p;
}

namespace {

// Formatted text to `to`, if any; notes whether it left the console's line
// open.
void Print(RunState& s, std::FILE* to, const char* format, va_list ap) {
  if (to == nullptr) return;
  char text[512];
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(text, sizeof text, format, ap);
  if (n > 0 && static_cast<std::size_t>(n) < sizeof text) {
    std::fwrite(text, 1, static_cast<std::size_t>(n), to);
  } else if (n > 0) {
    std::vfprintf(to, format, again);
  }
  va_end(again);
  const char last = n > 0 && static_cast<std::size_t>(n) < sizeof text ? text[n - 1] : format[std::strlen(format) - 1];
  if (n > 0 && to == s.console) s.line_open = last != '\n';
}

}  // namespace

void Say(RunState& s, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  Print(s, s.console, format, ap);
  va_end(ap);
}

void SayChar(RunState& s, char c) {
  if (s.console == nullptr) return;
  std::fputc(c, s.console);
  s.line_open = c != '\n';
}

void Note(RunState& s, const char* format, ...) {
  if (s.errors == nullptr) return;
  // What the console has before it comes first where both go to one place.
  if (s.console != nullptr) std::fflush(s.console);
  std::fputs("trelon: ", s.errors);
  va_list ap;
  va_start(ap, format);
  std::vfprintf(s.errors, format, ap);
  va_end(ap);
}

void Tell(RunState& s, const char* format, ...) {
  if (s.report == s.console && s.line_open && s.report != nullptr && format[0] != '\n') std::fputc('\n', s.report);
  va_list ap;
  va_start(ap, format);
  Print(s, s.report, format, ap);
  va_end(ap);
}

void PrintOut(RunState& s, const char* format, ...) {
  char text[256];
  va_list ap;
  va_start(ap, format);
  const int n = std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  if (n > 0) WriteOut(s, text, std::min(static_cast<std::size_t>(n), sizeof text - 1));
}

void FlushOut(RunState& s) {
  const std::size_t n = s.outlen;
  s.outlen = 0;
  if (n == 0 || s.discard) return;
  if (!WriteNow(s, s.outbuf.get(), n)) {
    s.write_failed = true;
    s.write_errno = errno;
    throw WriteError{};
  }
}

void CloseOut(RunState& s) {
  if (s.outfptr == nullptr) return;
  if (!s.write_failed) {
    try {
      FlushOut(s);
    } catch (const WriteError&) {
    }
  }
  const bool closed = s.outfptr == stdout ? std::fflush(stdout) == 0 : std::fclose(s.outfptr) == 0;
  if (!closed && !s.write_failed) {
    s.write_failed = true;
    s.write_errno = errno;
  }
  s.outfptr = nullptr;
}

void WriteOutLong(RunState& s, const void* buffer, std::size_t length) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  while (length > 0) {
    const std::size_t k = std::min(length, kOutBufSize - s.outlen);
    std::memcpy(s.outbuf.get() + s.outlen, p, k);
    s.outlen += k;
    p += k;
    length -= k;
    if (length > 0) FlushOut(s);
  }
}

}  // namespace trelon
