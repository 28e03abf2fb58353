#include "driver/output.hpp"

#include <cstdio>

namespace trelon {

// Written by this thread, in turn with the formatting: a writer thread was
// measured on the two shared processors of the benchmark machine and made
// the runs no faster while taking 40 % more processor time, the buffers
// moving between the processors' caches.
void FlushOut(RunState& s) {
  if (s.outlen == 0) return;
  const std::size_t n = s.outlen;
  s.outlen = 0;
  if (std::fwrite(s.outbuf.get(), 1, n, s.outfptr) != n || std::fflush(s.outfptr) != 0) {
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
  FlushOut(s);
  if (length < kOutBufSize) {
    std::memcpy(s.outbuf.get(), buffer, length);
    s.outlen = length;
  } else if (std::fwrite(buffer, 1, length, s.outfptr) != length) {
    s.write_failed = true;
    throw WriteError{};
  }
}

}  // namespace trelon
