// Helpers that every record and file format shares: little-endian words,
// and text records with a running checksum, built in the output buffer
// with the hex codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/hex.hpp"
#include "io/output.hpp"
#include "run_state.hpp"

namespace trelon {

// The head of a text record: up to 8 bytes (count, address, type), the
// first in the low byte, and their sum.
struct Head {
  uint64_t bytes = 0;
  int k = 0;
  uint32_t sum = 0;
  // The low `n` (1..4) bytes of `value`, most significant first.
  Head& Add(uint32_t value, int n) {
    const uint32_t v = __builtin_bswap32(value << (32 - 8 * n));
    bytes |= static_cast<uint64_t>(v) << (8 * k);
    k += n;
    sum += (v & 0xFF) + (v >> 8 & 0xFF) + (v >> 16 & 0xFF) + (v >> 24);
    return *this;
  }
};

// Characters that PutRecord may write for `n` data bytes.
inline constexpr std::size_t RecordRoom(std::size_t n) { return 22 + 2 * WideRoom(n); }

// A text record (a line of Intel Hex or S-records) at `out`: `lead` and
// `type` (if not NUL), the digits of the head bytes, of the `n` data bytes
// at `p` (`readable` of them may be read), and of the checksum (`base`
// minus the sum of the head and data bytes, modulo 256), then the line end
// `end`. Returns its length.
template <std::size_t N>
inline std::size_t PutRecord(char* out, char lead, char type, const Head& head, const uint8_t* p, std::size_t n,
                             std::size_t readable, unsigned base, const char (&end)[N]) {
  // ":", or "S" and the type. Stored one by one: loading them together
  // after storing them so would stall.
  out[0] = lead;
  out[1] = type;
  const std::size_t at = type != '\0' ? 2 : 1;
  PutHexWord(out + at, head.bytes, head.k);
  char* text = out + at + 2 * static_cast<std::size_t>(head.k);
  uint32_t sum = head.sum;
  if (n == 32 && readable >= 32) {
    sum += PutHexSum(text, p, 32, 32);  // a full record, its length known: no masks
  } else if (n > 0) {
    sum += PutHexSum(text, p, n, readable);
  }
  text = PutHex2(text + 2 * n, static_cast<uint8_t>(base - sum));
  std::memcpy(text, end, N - 1);
  return static_cast<std::size_t>(text + N - 1 - out);
}

// The pending record, its `hexcount` bytes taken from the image at `dummy`,
// built by put(text, address, bytes, n, readable), which returns its length.
template <typename Put>
void PendingRecord(RunState& s, Put put) {
  const auto n = static_cast<std::size_t>(s.hexcount);
  char* const text = reinterpret_cast<char*>(OutReserve(s, RecordRoom(n)));
  s.outlen += put(text, s.begin_address, s.image.get() + s.dummy, n, static_cast<std::size_t>(s.imagesize - s.dummy));
  s.begin_address += static_cast<uint32_t>(n);
  s.dummy += static_cast<int32_t>(n);
}

// `count` records of 32 bytes from `data` on, one after another from
// begin_address on, as the pending record would be written each time, each
// of `length` characters built by put(text, address, bytes) at the end of
// the output buffer. The run's fields are kept in locals meanwhile: the
// characters stored could otherwise change them.
template <typename Put>
void FullRecords(RunState& s, const uint8_t* data, std::size_t count, std::size_t length,
                                               Put put) {
  char* const buffer = reinterpret_cast<char*>(s.outbuf.get());
  std::size_t outlen = s.outlen;
  uint32_t address = s.begin_address;
  for (std::size_t i = 0; i < count; ++i, data += 32, address += 32) {
    if (kOutBufSize - outlen < RecordRoom(32)) {
      s.outlen = outlen;
      FlushOut(s);
      outlen = 0;
    }
    put(buffer + outlen, address, data);
    outlen += length;  // known beforehand, so that the next record need not wait for this one
  }
  s.outlen = outlen;
  s.begin_address = address;
  s.dummy += static_cast<int32_t>(32 * count);
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

// The low `n` bytes of `v` at `p`, the least significant first.
inline void PutLe(uint8_t* p, uint32_t v, int n = 2) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
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
