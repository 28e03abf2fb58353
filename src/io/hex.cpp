#include "io/hex.hpp"

#include <algorithm>
#include <bit>

#ifdef TRELON_AVX2
#include <immintrin.h>
// The AVX2 decoder's vectors are passed by value only to and from functions
// that are always inlined into one built for AVX2 (even without
// optimisation), so no call between the two conventions is ever made.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace trelon {

bool HasAvx2() {
#ifdef TRELON_AVX2
  __builtin_cpu_init();  // this may run before the library's own constructors
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

namespace {

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
template <std::size_t N>
[[maybe_unused]] constexpr KeepMasks<N> kKeep;

// The decoder's vector steps at one width, W bytes (none: pairs one by one).
// U holds W bytes and S the same as signed bytes; Mask gives a bit for each
// byte's top bit, Pack the bytes that the nibbles of a and b make, each two
// (the high one first) one byte, and Sum the sum of a vector's bytes. The
// narrow width (16 bytes or none) takes single pairs too; the wide one leaves
// what it cannot take in whole blocks to it.
#ifdef TRELON_SSE2
struct Sse2 {
  static constexpr std::size_t W = 16;
  typedef uint8_t U __attribute__((vector_size(16)));
  typedef int8_t S __attribute__((vector_size(16)));
  static uint64_t Mask(U v) { return static_cast<uint32_t>(_mm_movemask_epi8((__m128i)v)); }
  static void Pack(const U& a, const U& b, U& bytes) {
    const auto join = [](U n) {
      const __m128i w = (__m128i)n;
      return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(w, _mm_set1_epi16(0xFF)), 4), _mm_srli_epi16(w, 8));
    };
    bytes = (U)_mm_packus_epi16(join(a), join(b));
  }
  static uint32_t Sum(U v) { return Halves(_mm_sad_epu8((__m128i)v, _mm_setzero_si128())); }
};
using Narrow = Sse2;
#else
struct Plain {
  static constexpr std::size_t W = 0;
  using U = uint32_t;
  static uint32_t Sum(U) { return 0; }
};
using Narrow = Plain;
#endif

#ifdef TRELON_AVX2
#define TRELON_AVX2_FN __attribute__((target("avx2")))
struct Avx2 {
  static constexpr std::size_t W = 32;
  typedef uint8_t U __attribute__((vector_size(32)));
  typedef int8_t S __attribute__((vector_size(32)));
  TRELON_AVX2_FN static uint64_t Mask(const U& v) { return static_cast<uint32_t>(_mm256_movemask_epi8((__m256i)v)); }
  // Each pair is high * 16 + low; packus works on each 128-bit half, so
  // the quarters come out as a0 b0 a1 b1.
  TRELON_AVX2_FN static void Pack(const U& a, const U& b, U& bytes) {
    const __m256i weights = _mm256_set1_epi16(0x0110);
    const __m256i pairs = _mm256_packus_epi16(_mm256_maddubs_epi16((__m256i)a, weights),
                                              _mm256_maddubs_epi16((__m256i)b, weights));
    bytes = (U)_mm256_permute4x64_epi64(pairs, 0xD8);
  }
  TRELON_AVX2_FN static uint32_t Sum(const U& v) {
    const __m256i sums = _mm256_sad_epu8((__m256i)v, _mm256_setzero_si256());
    return Halves(_mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1)));
  }
};
#endif

// Decodes as DecodeHexRuns does, with the steps of width T. Hex digits and
// the line ends taken are the module's common path: nothing there is
// skipped, and the checksum and line count change as the command loop would
// change them.
template <class T>
[[gnu::always_inline]] inline Taken DecodeRuns(const uint8_t*& from, const uint8_t* end, uint8_t* out,
                                               std::size_t max) {
  constexpr std::size_t W = T::W;
  // Kept in locals: the stores to `out` could otherwise change them.
  const uint8_t* p = from;
  std::size_t n = 0;
  uint32_t sum = 0;
  int64_t lines = 0;
  // Characters summed bytewise: the wrap modulo 256 keeps the low 7 bits.
  typename T::U sums{};
  for (;;) {
    bool ended = false;  // the run of pairs ended inside a block
    if constexpr (W > 0) {
      using U = typename T::U;
      using S = typename T::S;
      // A byte is in [first, first + length) when, shifted so that the
      // range starts at -128, it stays below -128 + length.
      const auto in = [](U v, uint8_t first, int8_t length) __attribute__((always_inline)) {
        return (U)((S)(v + static_cast<uint8_t>(0x80 - first)) < static_cast<int8_t>(-128 + length));
      };
      // Blocks of 2W digits while the input has them and `out` has room for
      // their W bytes.
      while (!ended && end - p >= static_cast<std::ptrdiff_t>(2 * W) && max - n >= W) {
        U a, b;
        std::memcpy(&a, p, W);
        std::memcpy(&b, p + W, W);
        const U la = in(a, 'A', 6), lb = in(b, 'A', 6);
        const uint64_t mask = T::Mask(in(a, '0', 10) | la) | T::Mask(in(b, '0', 10) | lb) << W;
        U bytes;
        T::Pack(a - '0' - (la & 7), b - '0' - (lb & 7), bytes);
        std::memcpy(out + n, &bytes, W);
        // Whole pairs are kept; the rest of what is stored is not counted.
        const auto k = static_cast<std::size_t>(std::countr_one(mask)) & ~std::size_t{1};
        ended = k < 2 * W;
        if (ended) {
          U keep_a, keep_b;
          std::memcpy(&keep_a, kKeep<2 * W>.bytes + 2 * W - k, W);
          std::memcpy(&keep_b, kKeep<2 * W>.bytes + 3 * W - k, W);
          a &= keep_a;
          b &= keep_b;
        }
        sums += a + b;
        p += k;
        n += k / 2;
      }
    }
    if constexpr (W <= 16) {  // the narrowest width takes single pairs too
      while (end - p >= 2 && n < max) {
        const int high = kHexValue.of[p[0]], low = kHexValue.of[p[1]];
        if ((high | low) < 0) break;
        sum += static_cast<uint32_t>(p[0]) + p[1];
        out[n++] = static_cast<uint8_t>(high << 4 | low);
        p += 2;
      }
    } else if (!ended) {
      break;
    }
    const std::size_t step = NextLoad(p, end);
    if (step == 0) break;
    p += step;
    sum += kNextLoadSum;
    ++lines;
  }
  from = p;
  return Taken{n, sum + T::Sum(sums), lines};
}

#ifdef TRELON_AVX2
TRELON_AVX2_FN Taken DecodeRunsWide(const uint8_t*& from, const uint8_t* end, uint8_t* out, std::size_t max) {
  return DecodeRuns<Avx2>(from, end, out, max);
}
#endif

}  // namespace

Taken DecodeHexRuns(const uint8_t*& from, const uint8_t* end, uint8_t* out, std::size_t max, bool avx2) {
  Taken t;
#ifdef TRELON_AVX2
  if (avx2) t = DecodeRunsWide(from, end, out, max);
#else
  static_cast<void>(avx2);
#endif
  const Taken rest = DecodeRuns<Narrow>(from, end, out + t.bytes, max - t.bytes);
  return Taken{t.bytes + rest.bytes, t.sum + rest.sum, t.lines + rest.lines};
}

}  // namespace trelon
