#include "io/hex.hpp"

#include <algorithm>

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

// 128 bytes of 0xFF, then 128 of 0: from 128 - k on, a mask that keeps the
// first k bytes of a block.
struct KeepMask {
  alignas(64) uint8_t bytes[256] = {};
  constexpr KeepMask() {
    for (std::size_t i = 0; i < 128; ++i) bytes[i] = 0xFF;
  }
};
[[maybe_unused]] constexpr KeepMask kKeep;

// Decodes the data of LD lines: DecodeHexRuns, with `block`, which decodes
// kDigits digits at a time while the input has them and `out` has room for
// them (Sums holds their character sums, which total() adds up): it
// returns the digits taken, fewer than kDigits where the run of digits ends
// in the block. Hex digits and the line ends taken are the module's common
// path: nothing there is skipped, and the checksum and line count change as
// the command loop would change them.
template <std::size_t kDigits, typename Sums, typename Block, typename Total>
[[gnu::always_inline]] inline Taken Decode(const uint8_t*& from, const uint8_t* end, uint8_t* out, std::size_t max,
                                           Block block, Total total) {
  // Kept in locals: the stores to `out` could otherwise change them.
  const uint8_t* p = from;
  std::size_t n = 0;
  uint32_t sum = 0;
  int64_t lines = 0;
  Sums sums{};
  for (;;) {
    while (end - p >= static_cast<std::ptrdiff_t>(kDigits) && max - n >= kDigits / 2) {
      const unsigned k = block(p, out + n, sums);
      p += k;
      n += k / 2;
      if (k < kDigits) goto run_end;
    }
    // Out of room, the caller goes on with a fresh `out`; at the input's
    // end, pair by pair.
    if (end - p >= static_cast<std::ptrdiff_t>(kDigits)) break;
    while (end - p >= 2 && n < max) {
      const int high = kHexValue.of[p[0]], low = kHexValue.of[p[1]];
      if ((high | low) < 0) break;
      sum += static_cast<uint32_t>(p[0]) + p[1];
      out[n++] = static_cast<uint8_t>(high << 4 | low);
      p += 2;
    }
  run_end:
    const std::size_t step = NextLoad(p, end);
    if (step == 0) break;
    p += step;
    sum += kNextLoadSum;
    ++lines;
  }
  from = p;
  return Taken{n, sum + total(sums), lines};
}

// A byte is a digit or a letter when, shifted so that its range starts at
// -128, it stays below -128 + the range's length: one add and one signed
// compare per class. Characters are summed bytewise: the wrap modulo 256
// keeps the low 7 bits.
#ifdef TRELON_SSE2
Taken DecodeSse2(const uint8_t*& from, const uint8_t* end, uint8_t* out, std::size_t max) {
  const auto block = [](const uint8_t* p, uint8_t* to, __m128i& sums) {
    const __m128i digit_bias = _mm_set1_epi8(static_cast<char>(0x80 - '0'));
    const __m128i letter_bias = _mm_set1_epi8(static_cast<char>(0x80 - 'A'));
    const __m128i digit_top = _mm_set1_epi8(-128 + 10), letter_top = _mm_set1_epi8(-128 + 6);
    const auto decode = [&](__m128i v, uint32_t& mask) {
      const __m128i letter = _mm_cmplt_epi8(_mm_add_epi8(v, letter_bias), letter_top);
      const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(v, digit_bias), digit_top);
      mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(digit, letter)));
      const __m128i nibble = _mm_sub_epi8(_mm_sub_epi8(v, _mm_set1_epi8('0')), _mm_and_si128(letter, _mm_set1_epi8(7)));
      return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibble, _mm_set1_epi16(0x00FF)), 4), _mm_srli_epi16(nibble, 8));
    };
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    uint32_t ma, mb;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(decode(a, ma), decode(b, mb)));
    const uint32_t mask = ma | mb << 16;
    if (mask == 0xFFFFFFFFu) {
      sums = _mm_add_epi8(sums, _mm_add_epi8(a, b));
      return 32u;
    }
    // The run ends in the block: its whole pairs are taken.
    const unsigned k = static_cast<unsigned>(__builtin_ctz(~mask)) & ~1u;
    const uint8_t* keep = kKeep.bytes + 128 - k;
    sums = _mm_add_epi8(sums, _mm_add_epi8(_mm_and_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep))),
                                           _mm_and_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep + 16)))));
    return k;
  };
  return Decode<32, __m128i>(from, end, out, max, block, [](__m128i sums) {
    sums = _mm_sad_epu8(sums, _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) + static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  });
}
#endif

#ifdef TRELON_AVX2
TRELON_AVX2_FN Taken DecodeAvx2(const uint8_t*& from, const uint8_t* end, uint8_t* out, std::size_t max) {
  const auto block = [](const uint8_t* p, uint8_t* to, __m256i& sums) TRELON_AVX2_FN {
    const __m256i digit_bias = _mm256_set1_epi8(static_cast<char>(0x80 - '0'));
    const __m256i letter_bias = _mm256_set1_epi8(static_cast<char>(0x80 - 'A'));
    const __m256i digit_top = _mm256_set1_epi8(-128 + 10), letter_top = _mm256_set1_epi8(-128 + 6);
    const __m256i weights = _mm256_set1_epi16(0x0110);  // the high digit times 16, the low one times 1
    const auto decode = [&](__m256i v, uint64_t& mask) TRELON_AVX2_FN {
      const __m256i letter = _mm256_cmpgt_epi8(letter_top, _mm256_add_epi8(v, letter_bias));
      const __m256i digit = _mm256_cmpgt_epi8(digit_top, _mm256_add_epi8(v, digit_bias));
      mask = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(digit, letter)));
      const __m256i nibble =
          _mm256_sub_epi8(_mm256_sub_epi8(v, _mm256_set1_epi8('0')), _mm256_and_si256(letter, _mm256_set1_epi8(7)));
      return _mm256_maddubs_epi16(nibble, weights);
    };
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    uint64_t ma, mb;
    // packus works on each 128-bit half: the quarters come out as a0 b0 a1 b1.
    const __m256i bytes = _mm256_packus_epi16(decode(a, ma), decode(b, mb));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_permute4x64_epi64(bytes, 0xD8));
    const uint64_t mask = ma | mb << 32;
    if (mask == ~uint64_t{0}) {
      sums = _mm256_add_epi8(sums, _mm256_add_epi8(a, b));
      return 64u;
    }
    const unsigned k = static_cast<unsigned>(__builtin_ctzll(~mask)) & ~1u;
    const uint8_t* keep = kKeep.bytes + 128 - k;
    sums = _mm256_add_epi8(
        sums, _mm256_add_epi8(_mm256_and_si256(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep))),
                              _mm256_and_si256(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep + 32)))));
    return k;
  };
  // Vectors of 256 bits go by reference: this function's callers are not built for AVX.
  return Decode<64, __m256i>(from, end, out, max, block, [](const __m256i& total) TRELON_AVX2_FN {
    const __m256i sums = _mm256_sad_epu8(total, _mm256_setzero_si256());
    const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(half)) + static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(half, 8)));
  });
}
#endif

#ifdef TRELON_SSE2
// The first `r` (1..16) bytes of `v`, the others zero.
__m128i FirstBytes(__m128i v, std::size_t r) {
  const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_and_si128(v, _mm_cmplt_epi8(index, _mm_set1_epi8(static_cast<char>(r))));
}

#endif

}  // namespace

#ifdef TRELON_AVX2
bool avx2 = Avx2There();
#endif

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
#ifdef TRELON_AVX2
  if (avx2) return DecodeAvx2(from, end, out, max);
#endif
#ifdef TRELON_SSE2
  return DecodeSse2(from, end, out, max);
#else
  // No block ever fits: every pair is decoded on its own.
  return Decode<std::size_t{1} << 30, int>(from, end, out, max, [](const uint8_t*, uint8_t*, int&) { return 0u; },
                                           [](int) { return 0u; });
#endif
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

uint32_t PutHexSum(char* out, const uint8_t* p, std::size_t n, std::size_t readable) {
#ifdef TRELON_SSE2
  // Whole vectors, the last one cut to the bytes that belong.
  if (readable >= WideRoom(n)) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero;
    for (std::size_t i = 0; i < n; i += 16) {
      const __m128i v = FirstBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), std::min<std::size_t>(n - i, 16));
      PutHexVector(out + 2 * i, v, n - i > 8);
      sums = _mm_add_epi64(sums, _mm_sad_epu8(v, zero));
    }
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) + static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#else
  (void)readable;
#endif
  PutHexRun(out, p, n);
  return ByteSum(p, n);
}

}  // namespace trelon
