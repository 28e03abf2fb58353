#include "io/input.hpp"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace trelon {

namespace {

// Up to `n` bytes of what the input has ready, 0 at its end. A stream
// without a descriptor (in memory, say) is read through stdio.
std::size_t ReadSome(std::FILE* input, uint8_t* to, std::size_t n) {
  const int fd = fileno(input);
  if (fd < 0) {
    const std::size_t got = std::fread(to, 1, n, input);
    if (got == 0 && std::ferror(input)) throw ReadFailed{errno};
    return got;
  }
  for (;;) {
    const auto got = ::read(fd, to, static_cast<unsigned>(n));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) throw ReadFailed{errno};
  }
}

}  // namespace

bool Input::ReadAhead() {
  uint8_t* const limit = buffer.get() + kSize;
  if (ended || file == nullptr || end == limit) return false;
  const std::size_t n = ReadSome(file, const_cast<uint8_t*>(end), static_cast<std::size_t>(limit - end));
  end += n;
  ended = n == 0;
  return n > 0;
}

int Input::Refill() {
  if (ReadOn()) return *pos++;  // all taken: the buffer is read afresh
  ended = true;
  return EOF;
}

}  // namespace trelon
