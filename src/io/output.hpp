// The output buffer and its way to the file: the writers fill the buffer,
// and a full buffer goes to the file in one piece.
#pragma once

#include <cstdio>
#include <cstring>

#include "io/buffer.hpp"

namespace trelon {

// A write to the output failed; Output::Close says why.
struct WriteFailed {};

class Output {
 public:
  static constexpr std::size_t kSize = 1 << 18;

  // With `discard`, nothing reaches the file: an existing output stays as it
  // was. A buffer may be lent, already holding `filled` bytes.
  explicit Output(std::FILE* file, bool discard = false, Buffer buffer = {}, std::size_t filled = 0)
      : file_(file), discard_(discard), buffer_(buffer ? std::move(buffer) : Allocate(kSize, "output buffer")),
        length_(filled) {}

  std::size_t Room() const { return kSize - length_; }
  uint8_t* Tail() { return buffer_.get() + length_; }
  // `n` bytes stored at Tail() now count.
  void Advance(std::size_t n) { length_ += n; }

  // Room for `n` (at most kSize) bytes at Tail(), the buffer written out
  // first where there is less.
  uint8_t* Reserve(std::size_t n) {
    if (n > Room()) Flush();
    return Tail();
  }

  void Write(const void* bytes, std::size_t n) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (std::size_t k; n > (k = Room()); p += k, n -= k) {
      std::memcpy(Tail(), p, k);
      length_ += k;
      Flush();
    }
    std::memcpy(Tail(), p, n);
    length_ += n;
  }

  // Writes what the buffer holds; throws WriteFailed when it cannot.
  void Flush() {
    if (!Written()) throw WriteFailed{};
  }

  // Flushes, unless a write failed already, and closes the file. Returns
  // whether everything was written; error() then says why not.
  bool Close();
  int error() const { return error_; }

 private:
  // Writes what the buffer holds; false (and error() says why) if it cannot.
  bool Written();

  std::FILE* file_;
  bool discard_;
  Buffer buffer_;
  std::size_t length_;
  bool failed_ = false;
  int error_ = 0;
};

}  // namespace trelon
