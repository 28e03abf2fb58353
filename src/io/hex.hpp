// The hex codec: hex digits to bytes and bytes to hex digits, with the byte
// sums that text records need.
// Every vector path of the program is here, beside its plain twin, and both
// give the same results. SSE2 is taken where the compiler offers it (every
// x86-64) unless the build asks for the portable paths only; where GCC or
// Clang build for x86-64, AVX2 paths are built too and taken when the
// processor has AVX2.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>

#if defined(__SSE2__) && !defined(TRELON_PORTABLE)
#define TRELON_SSE2 1
#include <emmintrin.h>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TRELON_AVX2 1
#endif
#endif

namespace trelon {

// Whether there are AVX2 paths and the processor has AVX2.
bool HasAvx2();

// Value 0..15 of each upper-case hex digit, -1 for every other byte.
struct HexValues {
  int8_t of[256];
  constexpr HexValues() : of() {
    for (int c = 0; c < 256; ++c) of[c] = -1;
    for (int c = '0'; c <= '9'; ++c) of[c] = static_cast<int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) of[c] = static_cast<int8_t>(c - 'A' + 10);
  }
};
inline constexpr HexValues kHexValue{};

// What DecodeHexRuns took from the input.
struct Taken {
  std::size_t bytes = 0;  // decoded
  uint32_t sum = 0;       // of the characters taken, modulo 256
  int64_t lines = 0;      // line feeds taken
};

// Decodes the data of LD lines from [from, end) into `out`, at most `max`
// bytes: whole hex pairs, and where a run of them is ended by "." and the
// next line begins with another LD (all of it in [from, end)), that line's
// pairs too, and so on; the characters taken are summed and the line feeds
// counted as a module's reader would (line ends are not summed). Stops at
// anything else, before a pair that would not fit, or before what [from,
// end) holds only in part; advances `from` over what it took. Bytes of `out`
// between those decoded and `max` may be overwritten (a block is stored
// whole); none from `max` on. With `avx2`, the AVX2 steps are taken where
// there are any. The walk from one LD line to the next is here rather than
// in the reader: handed in as data, it cost the decoder 18% more
// instructions and /B 4.6% more processor time (bench/RESULTS.md).
Taken DecodeHexRuns(const uint8_t*& from, const uint8_t* end, uint8_t* out, std::size_t max, bool avx2);

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
// The sum of the two 64-bit halves of `v`.
inline uint32_t Halves(__m128i v) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(v)) + static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
}

// The 16 hex digits of the low 8 bytes of `v` at `out`, and with `both` the
// 16 of the high 8 behind them: bytes split into nibbles, high before low,
// each nibble made its digit, '0' + n and 7 more from 10 on.
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

// The digits of the `n` bytes at `p` at `out`, of which `readable` may be
// read: whole vectors where they fit, writing up to 31 characters past the
// 2n digits (to be overwritten by what follows), so that a line's end costs
// no byte-wise tail.
inline char* PutHexLine(char* out, const uint8_t* p, std::size_t n, std::size_t readable) {
  std::size_t i = 0;
#ifdef TRELON_SSE2
  for (; i < n && readable - i >= 16; i += 16)
    PutHexVector(out + 2 * i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), true);
#else
  (void)readable;
#endif
  for (; i < n; ++i) PutHex2(out + 2 * i, p[i]);
  return out + 2 * n;
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

// Room that PutHexSum and CopySum may write for `n` bytes: 2 * WideRoom(n)
// characters, WideRoom(n) bytes.
inline constexpr std::size_t WideRoom(std::size_t n) { return n <= 16 ? 16 : (n + 15) / 16 * 16; }

// The sum of the `n` bytes at `p`.
inline uint32_t ByteSum(const uint8_t* p, std::size_t n) { return std::accumulate(p, p + n, 0u); }

#ifdef TRELON_SSE2
// The first `r` (1..16) bytes of `v`, the others zero.
inline __m128i FirstBytes(__m128i v, std::size_t r) {
  const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_and_si128(v, _mm_cmplt_epi8(index, _mm_set1_epi8(static_cast<char>(r))));
}

// The sum of the `n` (at least 1) bytes at `p`, read in whole vectors, the
// last one cut to the bytes that belong (the ones past them may be read);
// each vector is also given to put(offset, vector).
template <typename Put>
inline uint32_t SumVectors(const uint8_t* p, std::size_t n, Put put) {
  const __m128i zero = _mm_setzero_si128();
  __m128i sums = zero;
  for (std::size_t i = 0; i < n; i += 16) {
    const __m128i v =
        FirstBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), std::min<std::size_t>(n - i, 16));
    put(i, v);
    sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
  }
  return Halves(sums);
}

#endif

// The digits of the `n` (at least 1) bytes at `p` at `out`, returning their
// sum: each byte read once for both. Whole vectors are read, WideRoom(n)
// bytes, and up to 2 * WideRoom(n) characters written, those past the 2n
// digits to be overwritten by what follows. Inline, so that a record's
// length known beforehand (32) takes no masks.
inline uint32_t PutHexSum(char* out, const uint8_t* p, std::size_t n) {
#ifdef TRELON_SSE2
  return SumVectors(p, n, [out, n](std::size_t i, __m128i v) { PutHexVector(out + 2 * i, v, n - i > 8); });
#else
  for (std::size_t i = 0; i < n; ++i) PutHex2(out + 2 * i, p[i]);
  return ByteSum(p, n);
#endif
}

// The `n` (at least 1) bytes at `p` copied to `out`, returning their sum,
// each byte read once for both; like PutHexSum, WideRoom(n) bytes are read,
// and as many may be written.
inline uint32_t CopySum(uint8_t* out, const uint8_t* p, std::size_t n) {
#ifdef TRELON_SSE2
  return SumVectors(p, n, [out](std::size_t i, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v); });
#else
  std::memcpy(out, p, n);
  return ByteSum(p, n);
#endif
}

}  // namespace trelon
