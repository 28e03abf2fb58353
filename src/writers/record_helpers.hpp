// Helpers that every record and file format shares: hex digits, big- and
// little-endian words, and text records with a running checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "driver/files.hpp"
#include "run_state.hpp"
#include "simd.hpp"

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

#ifdef TRELON_SSE2
// The 16 hex digits of the low 8 bytes of `v` at `out`, and with `both` the
// 16 of the high 8 behind them: bytes split into nibbles, high before low,
// each nibble made its digit, '0' + n and 7 more from 10 on. (A shuffle
// table, SSSE3, would save two operations of six: not worth a dispatch.)
inline void PutHexVector(char* out, __m128i v, bool both) {
  const __m128i low4 = _mm_set1_epi8(0x0F);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(v, 4), low4), low = _mm_and_si128(v, low4);
  const auto digits = [](__m128i x) {
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(9)), _mm_set1_epi8(7));
    return _mm_add_epi8(_mm_add_epi8(x, _mm_set1_epi8('0')), letter);
  };
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), digits(_mm_unpacklo_epi8(high, low)));
  if (both) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), digits(_mm_unpackhi_epi8(high, low)));
}
#endif

// Two upper-case hex digits for each of the `n` bytes at `p`, written at
// `out`; returns the position behind them.
inline char* PutHexRun(char* out, const uint8_t* p, std::size_t n) {
#ifdef TRELON_SSE2
  // Whole vectors, then one more that ends with the last byte and overlaps
  // the one before: no byte-wise tail from 8 bytes on.
  if (n >= 16) {
    for (std::size_t i = 0; i + 16 < n; i += 16)
      PutHexVector(out + 2 * i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), true);
    PutHexVector(out + 2 * n - 32, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 16)), true);
    return out + 2 * n;
  }
  if (n >= 8) {
    PutHexVector(out, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), false);
    PutHexVector(out + 2 * n - 16, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + n - 8)), false);
    return out + 2 * n;
  }
#endif
  for (std::size_t i = 0; i < n; ++i) out = PutHex2(out, p[i]);
  return out;
}

// Digits for the low `k` (at most 8) bytes of `bytes`, lowest byte first, at
// `out`; 16 characters are written, those past the 2k digits to be
// overwritten by what follows.
inline void PutHexWord(char* out, uint64_t bytes, int k) {
#ifdef TRELON_SSE2
  (void)k;
  PutHexVector(out, _mm_cvtsi64_si128(static_cast<long long>(bytes)), false);
#else
  for (int i = 0; i < k; ++i) out = PutHex2(out, static_cast<uint8_t>(bytes >> (8 * i)));
#endif
}

// The sum of the bytes of `v`.
inline uint32_t WordSum(uint32_t v) { return (v & 0xFF) + (v >> 8 & 0xFF) + (v >> 16 & 0xFF) + (v >> 24); }

// Room that PutHexSum and CopySum may write for `n` bytes.
inline constexpr std::size_t WideRoom(std::size_t n) { return n <= 16 ? 16 : (n + 15) / 16 * 16; }

#ifdef TRELON_SSE2
// The first `r` (1..16) bytes of `v`, the others zero.
inline __m128i FirstBytes(__m128i v, std::size_t r) {
  const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_and_si128(v, _mm_cmplt_epi8(index, _mm_set1_epi8(static_cast<char>(r))));
}
#endif

// The sum of the `n` bytes at `p`.
inline uint32_t ByteSum(const uint8_t* p, std::size_t n) {
  uint32_t sum = 0;
  std::size_t i = 0;
#ifdef TRELON_SSE2
  const __m128i zero = _mm_setzero_si128();
  __m128i sums = zero;
  for (; n - i >= 16; i += 16)
    sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), zero));
  sum = static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
        static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
#endif
  for (; i < n; ++i) sum += p[i];
  return sum;
}

#ifdef TRELON_SSE2
// The sum of the `n` (at least 1) bytes at `p`, read in whole vectors, the
// last one cut to the bytes that belong (the ones past them may be read);
// each vector is also given to `put` with its offset and its byte count.
template <typename Put>
inline uint32_t SumVectors(const uint8_t* p, std::size_t n, Put put) {
  const __m128i zero = _mm_setzero_si128();
  __m128i sums = zero;
  std::size_t i = 0;
  for (; n - i > 16; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    put(i, v, std::size_t{16});
    sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
  }
  const __m128i v = FirstBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), n - i);
  put(i, v, n - i);
  sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}
#endif

// The digits of the `n` (at least 1) bytes at `p` at `out`, returning their
// sum: each byte read once for both. With `readable` bytes from `p` on that
// may be read, whole vectors are taken and up to 2 * WideRoom(n) characters
// written, those past the 2n digits to be overwritten by what follows.
uint32_t PutHexSum(char* out, const uint8_t* p, std::size_t n, std::size_t readable);

// The same for the 32 bytes of a full record (nearly every record is one),
// which may all be read: two whole vectors, nothing written past them.
inline uint32_t PutHexSum32(char* out, const uint8_t* p) {
#ifdef TRELON_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  PutHexVector(out, a, true);
  PutHexVector(out + 32, b, true);
  const __m128i sums = _mm_add_epi64(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
#else
  PutHexRun(out, p, 32);
  return ByteSum(p, 32);
#endif
}

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

#ifdef TRELON_AVX2
// PutHexSum32 with AVX2: the 32 bytes in one vector, each nibble's digit
// looked up.
__attribute__((target("avx2"))) inline uint32_t PutHexSum32Wide(char* out, const uint8_t* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i low4 = _mm256_set1_epi8(0x0F);
  const __m256i digits = _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E',
                                          'F', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D',
                                          'E', 'F');
  const __m256i high = _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(v, 4), low4));
  const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(v, low4));
  // Unpacking works on each 128-bit half: a holds bytes 0-7 and 16-23, b 8-15 and 24-31.
  const __m256i a = _mm256_unpacklo_epi8(high, low), b = _mm256_unpackhi_epi8(high, low);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(a, b, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(a, b, 0x31));
  const __m256i sums = _mm256_sad_epu8(v, _mm256_setzero_si256());
  const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(half)) +
         static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(half, 8)));
}
#endif

// PutHexSum32, with AVX2 if kWide (where built).
template <bool kWide>
[[gnu::always_inline]] inline uint32_t PutFullData(char* out, const uint8_t* p) {
#ifdef TRELON_AVX2
  if constexpr (kWide) return PutHexSum32Wide(out, p);
#endif
  return PutHexSum32(out, p);
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

// The `n` (at least 1) bytes at `p` copied to `out`, returning their sum;
// like PutHexSum, up to WideRoom(n) bytes may be written.
inline uint32_t CopySum(uint8_t* out, const uint8_t* p, std::size_t n, std::size_t readable) {
#ifdef TRELON_SSE2
  if (readable >= WideRoom(n))
    return SumVectors(p, n, [out](std::size_t i, __m128i v, std::size_t) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
    });
#else
  (void)readable;
#endif
  std::memcpy(out, p, n);
  return ByteSum(p, n);
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
  s.begin_address = s.minadd;
  s.dummy = 0;
  while (remaining > 0) {
    s.hexcount = remaining >= s.mhexline ? s.mhexline : remaining;
    remaining -= s.hexcount;
    line(s);
  }
}

}  // namespace trelon
