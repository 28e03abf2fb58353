#include "io/hex.hpp"

#include <algorithm>

#ifdef TRELON_AVX2
#include <immintrin.h>
#endif

namespace trelon {

namespace {

bool Avx2There() {
#ifdef TRELON_AVX2
  __builtin_cpu_init();  // this may run before the library's own constructors
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

// The length of the end of one LD line and the start of the next, "." CR LF
// "LD" or "." LF "LD", at `p`; 0 if the input has something else there.
inline std::size_t NextLoad(const uint8_t* p, const uint8_t* end) {
  if (end - p >= 5 && std::memcmp(p, ".\r\nLD", 5) == 0) return 5;
  if (end - p >= 4 && std::memcmp(p, ".\nLD", 4) == 0) return 4;
  return 0;
}
constexpr uint32_t kNextLoadSum = '.' + 'L' + 'D';

// N bytes of 0xFF, then N of 0: from N - k on, a mask that keeps the first k
// bytes of a block of N.
template <std::size_t N>
struct KeepMasks {
  alignas(64) uint8_t bytes[2 * N] = {};
  constexpr KeepMasks() {
    for (std::size_t i = 0; i < N; ++i) bytes[i] = 0xFF;
  }
};
[[maybe_unused]] constexpr KeepMasks<32> kKeep32;
[[maybe_unused]] constexpr KeepMasks<64> kKeep64;

// Decodes the data of LD lines from [from, end) into `out`, at most `max`
// bytes: whole hex pairs, and where a run of them is ended by "." and the
// next line begins with another LD (all of it in the input), that line's
// pairs too, and so on. Stops at anything else, before a pair that would not
// fit, or before what [from, end) holds only in part; advances `from` over
// what it took. Hex digits and the line ends taken are the module's common
// path: nothing there is skipped, and the checksum and line count change as
// the command loop would change them. Up to 15 bytes of `out` past those
// decoded may be overwritten.
Taken DecodeLoads(const uint8_t*& from, const uint8_t* end, uint8_t* out, std::size_t max) {
  // Kept in locals: the stores to `out` could otherwise change them.
  const uint8_t* p = from;
  std::size_t n = 0;
  uint32_t sum = 0;
  int64_t lines = 0;
#ifdef TRELON_SSE2
  // A byte is a digit or a letter when, shifted so that its range starts at
  // -128, it stays below -128 + the range's length: one add and one signed
  // compare per class.
  const __m128i digit_bias = _mm_set1_epi8(static_cast<char>(0x80 - '0'));
  const __m128i letter_bias = _mm_set1_epi8(static_cast<char>(0x80 - 'A'));
  const __m128i digit_top = _mm_set1_epi8(-128 + 10), letter_top = _mm_set1_epi8(-128 + 6);
  const __m128i digit0 = _mm_set1_epi8('0'), seven = _mm_set1_epi8(7), even = _mm_set1_epi16(0x00FF);
  const uint8_t* const kKeep = kKeep32.bytes;
  // Characters summed bytewise: the wrap modulo 256 keeps the low 7 bits.
  __m128i sums = _mm_setzero_si128();
  const auto hex_mask = [&](__m128i v, __m128i& letter) {
    letter = _mm_cmplt_epi8(_mm_add_epi8(v, letter_bias), letter_top);
    const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(v, digit_bias), digit_top);
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(digit, letter)));
  };
  const auto join = [&](__m128i v, __m128i letter) {
    const __m128i nibble = _mm_sub_epi8(_mm_sub_epi8(v, digit0), _mm_and_si128(letter, seven));
    return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibble, even), 4), _mm_srli_epi16(nibble, 8));
  };
#endif
  for (;;) {
#ifdef TRELON_SSE2
    // 32 digits at a time, while the input has them and `out` has 16 bytes
    // of room for them.
    while (end - p >= 32 && max - n >= 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      __m128i la, lb;
      const uint32_t mask = hex_mask(a, la) | hex_mask(b, lb) << 16;
      __m128i bytes = _mm_packus_epi16(join(a, la), join(b, lb));
      auto* const to = reinterpret_cast<__m128i*>(out + n);
      if (mask != 0xFFFFFFFFu) {
        // The run ends in this block: its whole pairs are kept, the rest of
        // what is stored is not counted.
        const auto k = static_cast<unsigned>(__builtin_ctz(~mask)) & ~1u;
        const uint8_t* keep = kKeep + 32 - k;
        _mm_storeu_si128(to, bytes);
        sums = _mm_add_epi8(
            sums,
            _mm_add_epi8(_mm_and_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep))),
                         _mm_and_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep + 16)))));
        p += k;
        n += k / 2;
        goto run_end;
      }
      _mm_storeu_si128(to, bytes);
      sums = _mm_add_epi8(sums, _mm_add_epi8(a, b));
      p += 32;
      n += 16;
    }
#endif
    while (end - p >= 2 && n < max) {
      const int high = kHexValue.of[p[0]], low = kHexValue.of[p[1]];
      if ((high | low) < 0) break;
      sum += static_cast<uint32_t>(p[0]) + p[1];
      out[n++] = static_cast<uint8_t>(high << 4 | low);
      p += 2;
    }
#ifdef TRELON_SSE2
  run_end:
#endif
    const std::size_t step = NextLoad(p, end);
    if (step == 0) break;
    p += step;
    sum += kNextLoadSum;
    ++lines;
  }
#ifdef TRELON_SSE2
  sums = _mm_sad_epu8(sums, _mm_setzero_si128());
  sum += static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
#endif
  from = p;
  return Taken{n, sum, lines};
}

#ifdef TRELON_AVX2
// DecodeLoads 64 digits at a time with AVX2, as long as the input has them
// and `out` has 32 bytes of room for them (up to 31
// bytes past those decoded are overwritten); it leaves the rest to
// DecodeLoads, which goes on from where this one stopped.
__attribute__((target("avx2"))) Taken DecodeLoadsWide(const uint8_t*& from, const uint8_t* end, uint8_t* out,
                                                      std::size_t max) {
  const uint8_t* p = from;
  std::size_t n = 0;
  uint32_t sum = 0;
  int64_t lines = 0;
  const __m256i digit_bias = _mm256_set1_epi8(static_cast<char>(0x80 - '0'));
  const __m256i letter_bias = _mm256_set1_epi8(static_cast<char>(0x80 - 'A'));
  const __m256i digit_top = _mm256_set1_epi8(-128 + 10), letter_top = _mm256_set1_epi8(-128 + 6);
  const __m256i digit0 = _mm256_set1_epi8('0'), seven = _mm256_set1_epi8(7);
  const __m256i weights = _mm256_set1_epi16(0x0110);  // the high digit times 16, the low one times 1
  const uint8_t* const kKeep = kKeep64.bytes;
  __m256i sums = _mm256_setzero_si256();
  for (;;) {
    for (;;) {
      if (end - p < 64 || max - n < 32) goto done;
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
      const __m256i la = _mm256_cmpgt_epi8(letter_top, _mm256_add_epi8(a, letter_bias));
      const __m256i lb = _mm256_cmpgt_epi8(letter_top, _mm256_add_epi8(b, letter_bias));
      const __m256i da = _mm256_cmpgt_epi8(digit_top, _mm256_add_epi8(a, digit_bias));
      const __m256i db = _mm256_cmpgt_epi8(digit_top, _mm256_add_epi8(b, digit_bias));
      const uint64_t mask =
          static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(da, la))) |
          static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(db, lb)))) << 32;
      const __m256i na = _mm256_sub_epi8(_mm256_sub_epi8(a, digit0), _mm256_and_si256(la, seven));
      const __m256i nb = _mm256_sub_epi8(_mm256_sub_epi8(b, digit0), _mm256_and_si256(lb, seven));
      // packus works on each 128-bit half: the quarters come out as a0 b0 a1 b1.
      __m256i bytes = _mm256_permute4x64_epi64(
          _mm256_packus_epi16(_mm256_maddubs_epi16(na, weights), _mm256_maddubs_epi16(nb, weights)), 0xD8);
      auto* const to = reinterpret_cast<__m256i*>(out + n);
      if (mask != ~uint64_t{0}) {
        // The run ends in this block, as in DecodeLoads.
        const auto k = static_cast<unsigned>(__builtin_ctzll(~mask)) & ~1u;
        const uint8_t* keep = kKeep + 64 - k;
        _mm256_storeu_si256(to, bytes);
        sums = _mm256_add_epi8(
            sums, _mm256_add_epi8(
                      _mm256_and_si256(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep))),
                      _mm256_and_si256(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep + 32)))));
        p += k;
        n += k / 2;
        break;
      }
      _mm256_storeu_si256(to, bytes);
      sums = _mm256_add_epi8(sums, _mm256_add_epi8(a, b));
      p += 64;
      n += 32;
    }
    const std::size_t step = NextLoad(p, end);
    if (step == 0) break;
    p += step;
    sum += kNextLoadSum;
    ++lines;
  }
done:
  sums = _mm256_sad_epu8(sums, _mm256_setzero_si256());
  const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
  sum += static_cast<uint32_t>(_mm_cvtsi128_si32(half)) +
         static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(half, 8)));
  from = p;
  return Taken{n, sum, lines};
}
#endif

#ifdef TRELON_SSE2
// The first `r` (1..16) bytes of `v`, the others zero.
__m128i FirstBytes(__m128i v, std::size_t r) {
  const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_and_si128(v, _mm_cmplt_epi8(index, _mm_set1_epi8(static_cast<char>(r))));
}

// The sum of the `n` (at least 1) bytes at `p`, read in whole vectors, the
// last one cut to the bytes that belong (the ones past them may be read);
// each vector is also given to put(offset, vector).
template <typename Put>
uint32_t SumVectors(const uint8_t* p, std::size_t n, Put put) {
  const __m128i zero = _mm_setzero_si128();
  __m128i sums = zero;
  for (std::size_t i = 0; i < n; i += 16) {
    const __m128i v = FirstBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), std::min<std::size_t>(n - i, 16));
    put(i, v);
    sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
  }
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) + static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

#endif

#ifdef TRELON_AVX2
// Whether the AVX2 paths are taken.
bool avx2 = Avx2There();
#endif

}  // namespace

bool UseAvx2(bool allow) {
  const bool there = Avx2There();
#ifdef TRELON_AVX2
  avx2 = allow && there;
#else
  static_cast<void>(allow);
#endif
  return there;
}

Taken DecodeHexRuns(const uint8_t*& from, const uint8_t* end, uint8_t* out, std::size_t max) {
  Taken t;
#ifdef TRELON_AVX2
  if (avx2) t = DecodeLoadsWide(from, end, out, max);
#endif
  const Taken rest = DecodeLoads(from, end, out + t.bytes, max - t.bytes);
  return Taken{t.bytes + rest.bytes, t.sum + rest.sum, t.lines + rest.lines};
}

uint32_t ByteSum(const uint8_t* p, std::size_t n) {
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

uint32_t CopySum(uint8_t* out, const uint8_t* p, std::size_t n, std::size_t readable) {
#ifdef TRELON_SSE2
  if (readable >= WideRoom(n))
    return SumVectors(p, n, [out](std::size_t i, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v); });
#else
  (void)readable;
#endif
  std::memcpy(out, p, n);
  return ByteSum(p, n);
}

uint32_t PutHexSum(char* out, const uint8_t* p, std::size_t n, std::size_t readable) {
#ifdef TRELON_SSE2
  if (readable >= WideRoom(n))
    return SumVectors(p, n, [out, n](std::size_t i, __m128i v) { PutHexVector(out + 2 * i, v, n - i > 8); });
#else
  (void)readable;
#endif
  PutHexRun(out, p, n);
  return ByteSum(p, n);
}

}  // namespace trelon
