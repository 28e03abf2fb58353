// Helpers that every record and file format shares: big- and little-endian
// words, and text records with a running checksum, built in the output
// buffer with the hex codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/hex.hpp"
#include "io/output.hpp"
#include "run_state.hpp"

namespace trelon {

// The digits of the pending record's `n` data bytes at `at`, returning their sum.
inline uint32_t PutPendingData(const RunState& s, char* at, std::size_t n) {
  return PutHexSum(at, s.image.get() + s.dummy, n, static_cast<std::size_t>(s.imagesize - s.dummy));
}

// A text record of `n` data bytes, their checksum sum `sum` and `length`
// characters, built at the end of the output buffer, is done.
inline void RecordDone(RunState& s, std::size_t n, uint32_t sum, std::size_t length) {
  s.begin_address += static_cast<uint32_t>(n);
  s.dummy += static_cast<int32_t>(n);
  s.checksum = static_cast<int32_t>(sum);
  s.outlen += length;
}

// Whether the pending record is a full one of 32 bytes (nearly every record
// is one), which FullRecords writes.
inline bool PendingFull(const RunState& s) { return s.hexcount == 32 && s.imagesize - s.dummy >= 32; }

// `count` records of 32 bytes from `data` on, one after another from
// begin_address on, as the pending record would be written each time: each
// record of `length` characters is built by put(text, address, bytes), which
// returns its sum, at the end of the output buffer, written out first
// whenever it has less than `room` left. The run's fields are kept in
// locals meanwhile: the characters stored could otherwise change them.
// Always inlined, so that `put` may be compiled for AVX2 with its caller.
template <typename Put>
[[gnu::always_inline]] inline void FullRecords(RunState& s, const uint8_t* data, std::size_t count, std::size_t room, std::size_t length, Put put) {
  char* const buffer = reinterpret_cast<char*>(s.outbuf.get());
  std::size_t outlen = s.outlen;
  uint32_t address = s.begin_address, sum = static_cast<uint32_t>(s.checksum);
  for (std::size_t i = 0; i < count; ++i, data += 32, address += 32) {
    if (kOutBufSize - outlen < room) {
      s.outlen = outlen;
      FlushOut(s);
      outlen = 0;
    }
    sum = put(buffer + outlen, address, data);
    outlen += length;
  }
  s.outlen = outlen;
  s.begin_address = address;
  s.dummy += static_cast<int32_t>(32 * count);
  s.checksum = static_cast<int32_t>(sum);
}

// Notes the first value that the format's fields of `bits` bits cannot
// hold (they keep its low bits).
inline void Holds(RunState& s, const char* what, uint64_t value, int bits) {
  if (s.unheld == nullptr && bits < 64 && value >> bits != 0) {
    s.unheld = what;
    s.unheld_value = value;
    s.unheld_bits = bits;
  }
}

// The width of the record format's addresses.
inline int AddressBits(const RunState& s) { return s.motorolas != 0 ? 8 * (s.formats + 1) : 16; }

// A record's bytes from `address` on, `n` (at least 1) of them, are held.
inline void HoldsRecord(RunState& s, uint32_t address, uint64_t n) {
  Holds(s, "byte at address", address + n - 1, AddressBits(s));
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
  return static_cast<uint8_t>(0x100 - (ByteSum(p, n) & 0xFF));
}

// One text record (a line of Intel Hex or S-records), built in place at the
// end of the output buffer. Bytes added with Byte() count in its checksum,
// which starts at the value given.
struct TextRecord {
  static constexpr std::size_t kLongest = 128;
  char* const text;
  char* end;
  uint32_t checksum;

  TextRecord(RunState& s, uint32_t start_sum)
      : text(reinterpret_cast<char*>(OutReserve(s, kLongest))), end(text), checksum(start_sum) {}
  template <std::size_t N>
  void Raw(const char (&t)[N]) {
    std::memcpy(end, t, N - 1);
    end += N - 1;
  }
  void Hex(uint8_t b) { end = PutHex2(end, b); }
  void Byte(uint8_t b) {
    Hex(b);
    checksum += b;
  }
  void Bytes(const uint8_t* p, int32_t n) {
    end = PutHexRun(end, p, static_cast<std::size_t>(n));
    checksum += ByteSum(p, static_cast<std::size_t>(n));
  }
  // Ends the record; the run's `checksum` keeps the record's sum.
  void Write(RunState& s) {
    s.checksum = static_cast<int32_t>(checksum);
    s.outlen += static_cast<std::size_t>(end - text);
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
  if (remaining > 0) HoldsRecord(s, s.minadd, static_cast<uint64_t>(remaining));
  s.begin_address = s.minadd;
  s.dummy = 0;
  while (remaining > 0) {
    s.hexcount = remaining >= s.mhexline ? s.mhexline : remaining;
    remaining -= s.hexcount;
    line(s);
  }
}

}  // namespace trelon
