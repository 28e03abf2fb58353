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

void Say(RunState& s, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::vfprintf(s.console, format, ap);
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
  if (s.outlen == 0) return;
  const std::size_t n = s.outlen;
  s.outlen = 0;
  if (!WriteNow(s, s.outbuf.get(), n)) {
    s.write_failed = true;
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
  if (std::fclose(s.outfptr) != 0) s.write_failed = true;
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
