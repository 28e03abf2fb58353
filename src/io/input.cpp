#include "io/input.hpp"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace trelon {

namespace {

// Up to `n` bytes of what the input has ready, 0 at its end. A stream
// without a descriptor (in memory, say) is read through stdio.
std::size_t ReadSome(std::FILE* input, uint8_t* buffer, std::size_t n) {
  const int fd = fileno(input);
  if (fd < 0) {
    const std::size_t got = std::fread(buffer, 1, n, input);
    if (got == 0 && std::ferror(input)) throw ReadError{errno};
    return got;
  }
  for (;;) {
    const auto got = ::read(fd, buffer, static_cast<unsigned>(n));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) throw ReadError{errno};
  }
}

}  // namespace

bool ReadAhead(RunState& s) {
  if (s.inpos == nullptr) s.inpos = s.inend = s.inbuf.get();
  uint8_t* const end = s.inbuf.get() + kInBufSize;
  if (s.ineof || s.infptr == nullptr || s.inend == end) return false;
  const std::size_t n = ReadSome(s.infptr, const_cast<uint8_t*>(s.inend), static_cast<std::size_t>(end - s.inend));
  s.inend += n;
  s.ineof = n == 0;
  return n > 0;
}

int RefillIn(RunState& s) {
  s.inpos = s.inend = s.inbuf.get();
  if (ReadAhead(s)) return *s.inpos++;
  s.ineof = true;
  return EOF;
}

}  // namespace trelon
