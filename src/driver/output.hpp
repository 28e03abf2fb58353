// The output buffer and its way to the file. The writers fill s.outbuf; a
// full buffer is handed to a second thread, which writes it while the next
// one fills, once a run's output has outgrown one buffer.
#pragma once

#include <cstring>

#include "run_state.hpp"

namespace trelon {

// Hands the full buffer on to be written and starts an empty one; throws
// WriteError if this or an earlier write failed.
void SpillOut(RunState& s);

// Writes everything collected so far and waits until it is written; throws
// WriteError on failure.
void FlushOut(RunState& s);

// Flushes (unless a write failed already), stops the writer thread and
// closes the output. Sets s.write_failed if anything could not be written.
void CloseOut(RunState& s);

// Bytes longer than what the buffer has room for.
void WriteOutLong(RunState& s, const uint8_t* bytes, std::size_t length);

// Raw bytes to the output file.
inline void WriteOut(RunState& s, const void* buffer, std::size_t length) {
  if (length > kOutBufSize - s.outlen) return WriteOutLong(s, static_cast<const uint8_t*>(buffer), length);
  std::memcpy(s.outbuf.get() + s.outlen, buffer, length);
  s.outlen += length;
}

// Room for `n` (at most kOutBufSize) bytes at the end of the output buffer;
// the caller fills them and then adds what it used to s.outlen.
inline uint8_t* OutReserve(RunState& s, std::size_t n) {
  if (n > kOutBufSize - s.outlen) SpillOut(s);
  return s.outbuf.get() + s.outlen;
}

}  // namespace trelon
