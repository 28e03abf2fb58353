// The input, read in large blocks.
#pragma once

#include <cstdio>
#include <cstring>

#include "io/buffer.hpp"

namespace trelon {

// The input could not be read (an error other than its end).
struct ReadFailed {
  int error;
};

struct Input {
  static constexpr std::size_t kSize = 1 << 18;

  explicit Input(std::FILE* file) : file(file), buffer(Allocate(kSize, "input buffer")) {}

  // Once all is taken, refills the buffer with what the input has ready (a
  // pipe is served as soon as its bytes arrive); returns the next byte, or
  // EOF at the input's end, which sets `ended`. Throws ReadFailed when a
  // read fails.
  int Refill();

  // Reads more of the input behind what the buffer holds, taking nothing;
  // false at the input's end or with the buffer full.
  bool ReadAhead();

  // ReadAhead, once what is not taken yet is moved to the buffer's start.
  bool ReadOn() {
    const auto kept = static_cast<std::size_t>(end - pos);
    std::memmove(buffer.get(), pos, kept);
    pos = buffer.get();
    end = pos + kept;
    return ReadAhead();
  }

  std::FILE* file;
  Buffer buffer;
  const uint8_t* pos = buffer.get();  // the bytes not taken yet: [pos, end)
  const uint8_t* end = buffer.get();
  bool ended = false;  // a read has found nothing more
};

}  // namespace trelon
