#include <algorithm>
#include <cstring>

#include "driver/pipeline.hpp"
#include "reader/reader.hpp"
#include "reader/scanner.hpp"
#include "simd.hpp"
#include "writers/writers.hpp"

namespace trelon {

namespace {

// Where LD bytes go in the image; the pending record and the contiguous
// stream take them through Hand.
void PlaceImageBytes(RunState& s, const uint8_t* bytes, std::size_t n) {
  // A byte that would land outside the image is refused at its own line.
  if (static_cast<uint64_t>(static_cast<uint32_t>(s.loadaddi)) + n > static_cast<uint64_t>(s.imagesize))
    MufomErr(s, 4);
  std::memcpy(s.image.get() + s.loadaddi, bytes, n);
  s.loadaddi += static_cast<int32_t>(n);
}

// What DecodeLoads took from the input.
struct Taken {
  std::size_t bytes = 0;  // decoded
  uint32_t sum = 0;       // of the characters taken; only its low 7 bits are meant
  int64_t lines = 0;      // line feeds taken
};

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
// the command loop would change them. With `kKeepOut`, the bytes of `out`
// past those decoded stay as they were; otherwise up to 15 of them are
// overwritten.
template <bool kKeepOut>
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
        // what is stored is not counted (or, with kKeepOut, not stored).
        const auto k = static_cast<unsigned>(__builtin_ctz(~mask)) & ~1u;
        const uint8_t* keep = kKeep + 32 - k;
        if constexpr (kKeepOut) {
          const __m128i taken = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep + 32 - k / 2));
          bytes = _mm_or_si128(_mm_and_si128(taken, bytes), _mm_andnot_si128(taken, _mm_loadu_si128(to)));
        }
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
      const int high = kChars.hex[p[0]], low = kChars.hex[p[1]];
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
// and `out` has 32 bytes of room for them (without `kKeepOut`, up to 31
// bytes past those decoded are overwritten); it leaves the rest to
// DecodeLoads, which goes on from where this one stopped.
template <bool kKeepOut>
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
        if constexpr (kKeepOut) {
          const __m256i taken = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kKeep + 64 - k / 2));
          bytes = _mm256_blendv_epi8(_mm256_loadu_si256(to), bytes, taken);
        }
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

// Whether the next line, already in the buffer, begins with another LD. It
// is then taken as the command loop would take it (its line feed counted,
// its two letters summed), which spares that loop on the common path.
bool FollowingLoad(RunState& s) {
  const uint8_t* p = s.inpos;
  const std::ptrdiff_t left = s.inend - p;
  if (left >= 4 && std::memcmp(p, "\r\nLD", 4) == 0) {
    p += 4;
  } else if (left >= 3 && std::memcmp(p, "\nLD", 3) == 0) {
    p += 3;
  } else {
    return false;
  }
  ++s.linecount;
  s.checkin = (s.checkin + 'L' + 'D') & 0x7F;
  s.actch = 'D';
  s.inpos = p;
  return true;
}

// The ways LD bytes are placed. Records and the stream take the bytes of
// many lines at once: neither refers to the line, and they are placed before
// anything further is read. When the writing runs in its own thread they
// are decoded straight into the queue to it. The image takes them in place,
// and a byte that would not fit is left to PlaceImageBytes, which refuses it
// at its own line.
template <Op kOp>
struct Handed {
  static constexpr bool kKeepOut = false;
  uint8_t run[4096];
  uint8_t* Room(RunState& s, std::size_t& max) {
    if (s.pipe != nullptr)
      if (uint8_t* const room = HandRoom(s, max)) return room;
    max = sizeof run;
    return run;
  }
  void Take(RunState& s, const uint8_t* bytes, std::size_t n) {
    if (n == 0) return;
    if (s.pipe != nullptr) {
      HandTaken(s, kOp, n);
    } else {
      Apply(s, kOp, bytes, static_cast<uint32_t>(n));
    }
    Advance(s, n);
  }
  void Place(RunState& s, const uint8_t* bytes, std::size_t n) {
    Hand(s, kOp, bytes, static_cast<uint32_t>(n));
    Advance(s, n);
  }
  static void Advance(RunState& s, std::size_t n) {
    if constexpr (kOp == Op::kStreamBytes) s.loadadd += static_cast<uint32_t>(n);
  }
};

struct InImage {
  static constexpr bool kKeepOut = true;
  uint8_t* Room(RunState& s, std::size_t& max) {
    const auto at = static_cast<uint32_t>(s.loadaddi), size = static_cast<uint32_t>(s.imagesize);
    max = at < size ? size - at : 0;
    return s.image.get() + (at < size ? at : 0);
  }
  void Take(RunState& s, const uint8_t*, std::size_t n) { s.loadaddi += static_cast<int32_t>(n); }
  void Place(RunState& s, const uint8_t* bytes, std::size_t n) { PlaceImageBytes(s, bytes, n); }
};

// The data bytes of one LD command, and of the LD commands that follow it
// line after line. Runs of whole bytes are decoded straight from the input
// buffer (hex digits are always significant, so nothing is skipped there and
// the line count changes only where a line ends as usual); everything else
// goes through NextChar one character at a time.
template <typename Sink>
void LoadBytes(RunState& s, Sink& sink) {
  for (;;) {
    for (;;) {
      const uint8_t* p = s.inpos;
      std::size_t max = 0;
      uint8_t* const out = sink.Room(s, max);
      Taken t;
#ifdef TRELON_AVX2
      if (avx2) t = DecodeLoadsWide<Sink::kKeepOut>(p, s.inend, out, max);
#endif
      const Taken rest = DecodeLoads<Sink::kKeepOut>(p, s.inend, out + t.bytes, max - t.bytes);
      t.bytes += rest.bytes;
      t.sum += rest.sum;
      t.lines += rest.lines;
      if (p == s.inpos) break;
      s.actch = static_cast<int8_t>(p[-1]);
      s.checkin = static_cast<int32_t>((static_cast<uint32_t>(s.checkin) + t.sum) & 0x7F);
      s.linecount += t.lines;
      s.inpos = p;
      sink.Take(s, out, t.bytes);
      if (t.bytes < max) break;  // a character other than a digit, or the buffer's end
    }
    NextChar(s);
    if (!HexNumber(s)) {
      if (s.actch != '.') MufomErr(s, 3);
      if (!FollowingLoad(s)) return;
      continue;
    }
    const int high = s.actnum;
    NextChar(s);
    const auto b = static_cast<uint8_t>(high * 16 + DigitHex(s));
    sink.Place(s, &b, 1);
  }
}

void ModuleBegin(RunState& s) {
  Say(s, "\nModule begin:          ");
  ShowString(s, 0);
  Say(s, ", ");
  if (s.actch != '.') {
    CharString(s);
    TestDot(s, 1);
  }
}

void ModuleEnd(RunState& s) {
  s.endfile = 1;
  TestDot(s, 1);
  Say(s, "\nModule End");
}

void DateTime(RunState& s) {
  Say(s, "\nDate and time:         ");
  ShowString(s, 0);
  TestDot(s, 0);
}

void AddressDescriptor(RunState& s) {
  Say(s, "\nBits per MAU:          ");
  NextChar(s);
  int32_t bits = 0;
  while (Digit(s)) {
    bits = static_cast<int32_t>(static_cast<uint32_t>(bits) * 10u + static_cast<uint32_t>(s.actnum));
    NextChar(s);
  }
  Say(s, "%d", bits);
  if (bits == 0 || bits % 8 != 0) MufomErr(s, 8);
  s.bytespmau = bits / 8;
  if (s.actch == ',') {
    Say(s, "\nMAUs per address:      ");
    ShowString(s, 0);
    if (s.actch == ',') {
      Say(s, "\nByte order:            ");
      ShowString(s, 0);
    }
  }
  TestDot(s, 0);
}

void Checksum(RunState& s) {
  const int32_t expected = s.checkin;
  NextChar(s);
  if (s.actch == '.') {
    s.checkin = 0;
    return;
  }
  int32_t given = DigitHex(s) * 16;
  NextChar(s);
  given += DigitHex(s);
  if (given != expected) {
    PrintOut(s, "%2.2X", static_cast<unsigned>(expected));
    MufomErr(s, 2);
  }
  NextChar(s);
  if (s.actch != '.') MufomErr(s, 3);
  s.checkin = 0;
}

void Comment(RunState& s) {
  Say(s, "\nComment:               ");
  ShowString(s, 0);
  Say(s, ", ");
  CharString(s);
  TestDot(s, 1);
}

void SectionText(RunState& s, const char* label) {
  Say(s, "%s", label);
  ShowString(s, 1);
  TestDot(s, 0);
}

void LoadData(RunState& s) {
  if (s.unfill != 0) {
    Handed<Op::kRecordBytes> sink;
    LoadBytes(s, sink);
  } else if (s.contiguous != 0) {
    Handed<Op::kStreamBytes> sink;
    LoadBytes(s, sink);
  } else {
    InImage sink;
    LoadBytes(s, sink);
  }
}

// Carries out the command whose first letter is current.
void Command(RunState& s) {
  const char first = s.actch;
  NextChar(s);
  const char second = s.actch;
  switch (first) {
    case 'A':
      if (second == 'D') return AddressDescriptor(s);
      if (second == 'S') return MufAs(s);
      break;
    case 'C':
      if (second == 'S') return Checksum(s);
      if (second == 'O') return Comment(s);
      break;
    case 'D':
      if (second == 'T') return DateTime(s);
      break;
    case 'L':
      if (second == 'D') return LoadData(s);
      break;
    case 'M':
      if (second == 'B') return ModuleBegin(s);
      if (second == 'E') return ModuleEnd(s);
      break;
    case 'S':
      if (second == 'A') return SectionText(s, "\nSection alignment:     ");
      if (second == 'B') return SectionText(s, "\nSection begin:         ");
      if (second == 'T') return SectionText(s, "\nSection type:          ");
      break;
    default:
      break;
  }
  MufomErr(s, 3);
}

}  // namespace

void Convert(RunState& s) {
  s.checkin = 0;
  Hand(s, Op::kStart);
  Say(s, "\n");
  while (s.endfile == 0) {
    NextChar(s);
    switch (s.actch) {
      case 'A': case 'C': case 'D': case 'L': case 'M': case 'S': break;
      default: MufomErr(s, 6);
    }
    s.command = 1;
    Command(s);
    s.command = 0;
  }
  Hand(s, Op::kFinish);
}

}  // namespace trelon
