#include "writers/writers.hpp"

namespace trelon {

namespace {

constexpr char kHeaderText[] = "Trelon-C";

void CheckS(RunState& s, TextRecord& r) {
  r.Hex(static_cast<uint8_t>(0xFF - (r.checksum & 0xFF)));
  r.Raw("\n");
  r.Write(s);
}

// "S" and the record type digit.
void TypeS(TextRecord& r, int type) {
  *r.end++ = 'S';
  *r.end++ = static_cast<char>('0' + type);
}

}  // namespace

void Begin_S(RunState& s) {
  const int count = static_cast<int>(sizeof kHeaderText - 1) + 3;
  TextRecord r(s, count);
  TypeS(r, 0);
  r.Hex(static_cast<uint8_t>(count));
  r.Raw("0000");
  for (const char* c = kHeaderText; *c != '\0'; ++c) r.Byte(static_cast<uint8_t>(*c));
  CheckS(s, r);
}

namespace {

// "S", the type, the count and the f + 1 address bytes, most significant
// first, at `text`, returning the sum of the count and the address. The
// address digits are written as 16 characters, the rest of the record is
// written over those past them.
uint32_t PutHeadS(char* text, int32_t f, uint32_t count, uint32_t address) {
  // The address bytes at the top of `v`, then turned round: the count and the
  // address most significant first, lowest first.
  const uint32_t v = address << (8 * (3 - f));
  const uint32_t reversed = (v >> 24) | (v >> 8 & 0xFF00) | (v << 8 & 0xFF0000) | (v << 24);
  text[0] = 'S';
  text[1] = static_cast<char>('0' + f);
  PutHexWord(text + 2, (count & 0xFF) | static_cast<uint64_t>(reversed) << 8, f + 2);
  return count + WordSum(v);
}

// The record of the `hexcount` pending bytes.
void SRecord(RunState& s) {
  const int32_t f = s.formats;  // the address has f + 1 bytes
  const auto n = static_cast<std::size_t>(s.hexcount);
  const auto data_at = static_cast<std::size_t>(2 * f + 6);
  char* const text = reinterpret_cast<char*>(OutReserve(s, 18 + 3 + 2 * WideRoom(n)));
  const uint32_t sum = PutHeadS(text, f, static_cast<uint32_t>(f + 2) + static_cast<uint32_t>(n), s.begin_address) +
                       PutPendingData(s, text + data_at, n);
  char* const end = PutHex2(text + data_at + 2 * n, static_cast<uint8_t>(0xFF - (sum & 0xFF)));
  end[0] = '\n';
  RecordDone(s, n, sum, static_cast<std::size_t>(end + 1 - text));
}

// A record of 32 bytes, its data from `data_at` on; returns its sum.
template <bool kWide>
[[gnu::always_inline]] inline uint32_t PutFullS(char* text, int32_t f, std::size_t data_at, uint32_t address,
                                                const uint8_t* p) {
  const uint32_t sum = PutHeadS(text, f, static_cast<uint32_t>(f + 34), address) + PutFullData<kWide>(text + data_at, p);
  PutHex2(text + data_at + 64, static_cast<uint8_t>(0xFF - (sum & 0xFF)));
  text[data_at + 66] = '\n';
  return sum;
}

// The address digits take 16 characters: room for 18 + 64 + 3.
constexpr std::size_t kFullRoom = 85;

#ifdef TRELON_AVX2
TRELON_AVX2_FN void FullSWide(RunState& s, const uint8_t* data, std::size_t count) {
  const int32_t f = s.formats;
  const auto data_at = static_cast<std::size_t>(2 * f + 6);
  FullRecords(s, data, count, kFullRoom, data_at + 67,
              [f, data_at](char* text, uint32_t address, const uint8_t* p)
                  TRELON_AVX2_FN { return PutFullS<true>(text, f, data_at, address, p); });
}
#endif

void FullS(RunState& s, const uint8_t* data, std::size_t count) {
#ifdef TRELON_AVX2
  if (avx2) return FullSWide(s, data, count);
#endif
  const int32_t f = s.formats;
  const auto data_at = static_cast<std::size_t>(2 * f + 6);  // "S", the type, the count, the address
  FullRecords(s, data, count, kFullRoom, data_at + 67, [f, data_at](char* text, uint32_t address, const uint8_t* p) {
    return PutFullS<false>(text, f, data_at, address, p);
  });
}

}  // namespace

void Line_S(RunState& s) {
  if (PendingFull(s)) return FullS(s, s.image.get() + s.dummy, 1);
  SRecord(s);
}

void Lines_S(RunState& s, const uint8_t* data, std::size_t count) { FullS(s, data, count); }

void End_S(RunState& s) {
  const int count = s.formats + 2;
  TextRecord r(s, static_cast<uint32_t>(count));
  TypeS(r, 10 - s.formats);
  r.Hex(static_cast<uint8_t>(count));
  WrAdChk(r, s.startad, s.formats + 1);
  CheckS(s, r);
}

void SOut(RunState& s) {
  Holds(s, "start address", s.startad, AddressBits(s));
  Begin_S(s);
  ImageRecords(s, Line_S);
  End_S(s);
}

}  // namespace trelon
