// Helpers that every record and file format shares: hex digits, big- and
// little-endian words, and text records with a running checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "driver/files.hpp"
#include "run_state.hpp"

namespace trelon {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The two upper-case hex digits of every byte value.
struct HexPairs {
  char pair[256][2];
  constexpr HexPairs() : pair() {
    for (int b = 0; b < 256; ++b) {
      pair[b][0] = kHexDigits[b >> 4];
      pair[b][1] = kHexDigits[b & 0xF];
    }
  }
};
inline constexpr HexPairs kHexPairs{};

// Two upper-case hex digits of `b` at `p`; returns the position behind them.
inline char* PutHex2(char* p, uint8_t b) {
  std::memcpy(p, kHexPairs.pair[b], 2);
  return p + 2;
}

inline void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLe32(uint8_t* p, uint32_t v) {
  PutLe16(p, v);
  PutLe16(p + 2, v >> 16);
}

inline void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The byte that brings the sum of `n` bytes to 0 modulo 256.
inline uint8_t TwosComplementSum(const uint8_t* p, std::size_t n) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += p[i];
  return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

// One text record (a line of Intel Hex or S-records) built in memory and
// written whole. Bytes added with Byte() count in its checksum, which starts
// at the value given.
struct TextRecord {
  char text[128];
  char* end = text;
  uint32_t checksum;

  explicit TextRecord(uint32_t start_sum) : checksum(start_sum) {}
  void Raw(const char* t) {
    while (*t != '\0') *end++ = *t++;
  }
  void Hex(uint8_t b) { end = PutHex2(end, b); }
  void Byte(uint8_t b) {
    Hex(b);
    checksum += b;
  }
  void Bytes(const uint8_t* p, int32_t n) {
    char* e = end;
    uint32_t sum = checksum;
    for (int32_t i = 0; i < n; ++i) {
      e = PutHex2(e, p[i]);
      sum += p[i];
    }
    end = e;
    checksum = sum;
  }
  // Writes the record; the run's `checksum` keeps the record's sum.
  void Write(RunState& s) {
    s.checksum = static_cast<int32_t>(checksum);
    WriteOut(s, text, static_cast<std::size_t>(end - text));
  }
};

// The low `n` bytes of `value`, most significant first, each counted in the
// checksum.
inline void WrAdChk(TextRecord& r, uint32_t value, int n) {
  for (int k = n - 1; k >= 0; --k) r.Byte(static_cast<uint8_t>(value >> (8 * k)));
}

// Cuts the image into records of at most `mhexline` bytes from `minadd` on
// and hands each to `line`.
template <typename LineWriter>
void ImageRecords(RunState& s, LineWriter line) {
  int32_t remaining = s.muflength;
  s.begin_address = s.minadd;
  s.dummy = 0;
  while (remaining > 0) {
    s.hexcount = remaining >= s.mhexline ? s.mhexline : remaining;
    remaining -= s.hexcount;
    line(s);
  }
}

}  // namespace trelon
