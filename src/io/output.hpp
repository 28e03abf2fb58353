// The output buffer and its way to the file (the writers fill s.outbuf, and
// a full buffer is written in one piece), and the console.
#pragma once

#include <cstring>

#include "run_state.hpp"

namespace trelon {

// A page-aligned buffer of `n` bytes; throws OutOfMemory naming `what` when
// there is none.
Buffer Allocate(std::size_t n, const char* what);

// Formatted text to the console: the trace.
void Say(RunState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void SayChar(RunState& s, char c);

// A line that reports a failure, on a line of its own: a line feed comes
// first if the trace has left the console's line open.
void Tell(RunState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A line "trelon: ..." that says why, on standard error.
void Note(RunState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Formatted text to the output file (short texts only).
void PrintOut(RunState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes what the buffer holds; throws WriteError on failure.
void FlushOut(RunState& s);

// Flushes (unless a write failed already) and closes the output. Sets
// s.write_failed if anything could not be written.
void CloseOut(RunState& s);

// Bytes longer than what the buffer has room for.
void WriteOutLong(RunState& s, const void* buffer, std::size_t length);

// Raw bytes to the output file.
inline void WriteOut(RunState& s, const void* buffer, std::size_t length) {
  if (length > kOutBufSize - s.outlen) return WriteOutLong(s, buffer, length);
  std::memcpy(s.outbuf.get() + s.outlen, buffer, length);
  s.outlen += length;
}

// Room for `n` (at most kOutBufSize) bytes at the end of the output buffer;
// the caller fills them and then adds what it used to s.outlen.
inline uint8_t* OutReserve(RunState& s, std::size_t n) {
  if (n > kOutBufSize - s.outlen) FlushOut(s);
  return s.outbuf.get() + s.outlen;
}

}  // namespace trelon
