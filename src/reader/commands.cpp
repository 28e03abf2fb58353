#include <algorithm>
#include <cstring>

#include "reader/reader.hpp"
#include "reader/scanner.hpp"
#include "simd.hpp"
#include "writers/writers.hpp"

namespace trelon {

namespace {

// Where LD bytes go, by mode: the pending record, the contiguous stream, or
// the image. Each takes a run of bytes that follow one another in the module.
void PlaceRecordBytes(RunState& s, const uint8_t* bytes, std::size_t n) {
  while (n > 0) {
    // A full record is written only once a further byte arrives.
    if (s.hexcount >= s.mhexline) {
      s.dummy = 0;
      WriteRecord(s);
      s.hexcount = 0;
    }
    const std::size_t k = std::min(n, static_cast<std::size_t>(s.mhexline - s.hexcount));
    std::memcpy(s.image.get() + s.hexcount, bytes, k);
    s.hexcount += static_cast<int32_t>(k);
    bytes += k;
    n -= k;
  }
}

void PlaceImageBytes(RunState& s, const uint8_t* bytes, std::size_t n) {
  // A byte that would land outside the image is refused (at its own line:
  // a run of bytes never spans a line feed).
  if (static_cast<uint64_t>(static_cast<uint32_t>(s.loadaddi)) + n > static_cast<uint64_t>(s.imagesize))
    MufomErr(s, 4);
  std::memcpy(s.image.get() + s.loadaddi, bytes, n);
  s.loadaddi += static_cast<int32_t>(n);
}

// Decodes whole hex bytes from [p, end) into `out`, at most `max` of them,
// up to the first pair that is not two hex digits. Advances `p`, adds the
// characters taken to `sum` (only its low 7 bits are meant: the caller keeps
// the sum modulo 128), and returns the number of bytes decoded.
std::size_t DecodeHexRun(const uint8_t*& p, const uint8_t* end, uint8_t* out, std::size_t max,
                         uint32_t& sum) {
  std::size_t n = 0;
#ifdef TRELON_SSE2
  // 32 digits at a time. A byte is a digit or a letter when, shifted so that
  // its range starts at -128, it stays below -128 + the range's length: one
  // add and one signed compare per class.
  const __m128i digit_bias = _mm_set1_epi8(static_cast<char>(0x80 - '0'));
  const __m128i letter_bias = _mm_set1_epi8(static_cast<char>(0x80 - 'A'));
  const __m128i digit_top = _mm_set1_epi8(-128 + 10), letter_top = _mm_set1_epi8(-128 + 6);
  const __m128i digit0 = _mm_set1_epi8('0'), seven = _mm_set1_epi8(7), even = _mm_set1_epi16(0x00FF);
  const __m128i zero = _mm_setzero_si128();
  // Characters summed bytewise: the wrap modulo 256 keeps the low 7 bits.
  __m128i sums = zero;
  const auto hex_mask = [&](__m128i v, __m128i& letter) {
    letter = _mm_cmplt_epi8(_mm_add_epi8(v, letter_bias), letter_top);
    const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(v, digit_bias), digit_top);
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(digit, letter)));
  };
  const auto join = [&](__m128i v, __m128i letter) {
    const __m128i nibble = _mm_sub_epi8(_mm_sub_epi8(v, digit0), _mm_and_si128(letter, seven));
    return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibble, even), 4), _mm_srli_epi16(nibble, 8));
  };
  bool stopped = false;
  // Whole blocks only: 32 digits in the input and 16 bytes of room in `out`
  // for each (n grows by one byte for every two digits taken).
  const std::ptrdiff_t span = std::min<std::ptrdiff_t>(end - p - 32, 2 * (static_cast<std::ptrdiff_t>(max) - 16));
  for (std::ptrdiff_t blocks = span >= 0 ? span / 32 + 1 : 0; blocks > 0; --blocks) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    __m128i la, lb;
    const uint32_t mask = hex_mask(a, la) | hex_mask(b, lb) << 16;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_packus_epi16(join(a, la), join(b, lb)));
    if (mask != 0xFFFFFFFFu) {
      // The run ends in this block: its whole pairs are kept, the rest of
      // what was stored is not counted.
      const auto k = static_cast<unsigned>(__builtin_ctz(~mask)) & ~1u;
      const __m128i limit = _mm_set1_epi8(static_cast<char>(k));
      const __m128i ia = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
      const __m128i ib = _mm_add_epi8(ia, _mm_set1_epi8(16));
      sums = _mm_add_epi8(sums, _mm_add_epi8(_mm_and_si128(a, _mm_cmplt_epi8(ia, limit)),
                                             _mm_and_si128(b, _mm_cmplt_epi8(ib, limit))));
      p += k;
      n += k / 2;
      stopped = true;
      break;
    }
    sums = _mm_add_epi8(sums, _mm_add_epi8(a, b));
    p += 32;
    n += 16;
  }
  sums = _mm_sad_epu8(sums, zero);
  sum += static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  if (stopped) return n;
#endif
  while (end - p >= 2 && n < max) {
    const int high = kChars.hex[p[0]], low = kChars.hex[p[1]];
    if ((high | low) < 0) break;
    sum += static_cast<uint32_t>(p[0]) + p[1];
    out[n++] = static_cast<uint8_t>(high << 4 | low);
    p += 2;
  }
  return n;
}

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

// The data bytes of one LD command, and of the LD commands that follow it
// line after line. Runs of whole bytes are decoded straight from the input
// buffer (hex digits are always significant, so nothing is skipped there and
// the line count cannot change); everything else goes through NextChar one
// character at a time.
template <typename Place>
void LoadBytes(RunState& s, Place place) {
  uint8_t run[512];
  for (;;) {
    for (;;) {
      const uint8_t* p = s.inpos;
      uint32_t sum = 0;
      const std::size_t n = DecodeHexRun(p, s.inend, run, sizeof run, sum);
      if (n == 0) break;
      s.actch = static_cast<int8_t>(p[-1]);
      s.checkin = static_cast<int32_t>((static_cast<uint32_t>(s.checkin) + sum) & 0x7F);
      s.inpos = p;
      place(s, run, n);
      if (n < sizeof run) break;  // a character other than a digit, or the buffer's end
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
    place(s, &b, 1);
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
    LoadBytes(s, PlaceRecordBytes);
  } else if (s.contiguous != 0) {
    LoadBytes(s, StreamBytes);
  } else {
    LoadBytes(s, PlaceImageBytes);
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
  s.contigi = 0;
  s.checkin = 0;
  if (s.unfill != 0) {
    s.hexcount = 0;
    s.begin_address = 0;
    BeginRecords(s);
  }
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
  if (s.contiguous != 0 && s.byteoutput != 0 && s.contigi > 0) Write_Data(s, s.contigi);
  if (s.unfill != 0) {
    if (s.hexcount > 0) {
      s.dummy = 0;
      WriteRecord(s);
      s.hexcount = 0;
    }
    EndRecords(s);
  }
}

}  // namespace trelon
