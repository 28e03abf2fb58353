#include "writers/writers.hpp"

namespace trelon {

namespace {

void CheckHex(RunState& s, TextRecord& r) {
  r.Hex(static_cast<uint8_t>(0x100 - (r.checksum & 0xFF)));
  r.Raw("\r\n");
  r.Write(s);
}

constexpr std::size_t kFullHex = 9 + 64 + 4;  // characters of a record of 32 bytes

template <bool kWide>
[[gnu::always_inline]] inline uint32_t PutFullHex(char* text, uint32_t address, const uint8_t* data) {
  const uint8_t high = static_cast<uint8_t>(address >> 8), low = static_cast<uint8_t>(address);
  std::memcpy(text, ":20", 3);
  PutHex2(text + 3, high);
  PutHex2(text + 5, low);
  text[7] = '0';
  text[8] = '0';
  const uint32_t sum = 32u + high + low + PutFullData<kWide>(text + 9, data);
  PutHex2(text + 73, static_cast<uint8_t>(0x100 - (sum & 0xFF)));
  text[75] = '\r';
  text[76] = '\n';
  return sum;
}

// The record of the `hexcount` pending bytes.
void HexRecord(RunState& s) {
  const auto n = static_cast<std::size_t>(s.hexcount);
  constexpr std::size_t data_at = 9;  // ":", the count, the address, the type
  char* const text = reinterpret_cast<char*>(OutReserve(s, data_at + 4 + 2 * WideRoom(n)));
  const uint8_t high = static_cast<uint8_t>(s.begin_address >> 8), low = static_cast<uint8_t>(s.begin_address);
  text[0] = ':';
  PutHex2(text + 1, static_cast<uint8_t>(n));
  PutHex2(text + 3, high);
  PutHex2(text + 5, low);
  text[7] = '0';
  text[8] = '0';
  const uint32_t sum = static_cast<uint32_t>(n) + high + low + PutPendingData(s, text + data_at, n);
  char* const end = PutHex2(text + data_at + 2 * n, static_cast<uint8_t>(0x100 - (sum & 0xFF)));
  end[0] = '\r';
  end[1] = '\n';
  RecordDone(s, n, sum, static_cast<std::size_t>(end + 2 - text));
}

#ifdef TRELON_AVX2
TRELON_AVX2_FN void FullHexWide(RunState& s, const uint8_t* data, std::size_t count) {
  FullRecords(s, data, count, kFullHex, kFullHex,
              [](char* text, uint32_t address, const uint8_t* p)
                  TRELON_AVX2_FN { return PutFullHex<true>(text, address, p); });
}
#endif

}  // namespace

void Lines_Hex(RunState& s, const uint8_t* data, std::size_t count) {
#ifdef TRELON_AVX2
  if (avx2) return FullHexWide(s, data, count);
#endif
  FullRecords(s, data, count, kFullHex, kFullHex, PutFullHex<false>);
}

void Line_Hex(RunState& s) {
  if (PendingFull(s)) return Lines_Hex(s, s.image.get() + s.dummy, 1);
  HexRecord(s);
}

void End_Hex(RunState& s) {
  TextRecord r(s, 1);  // the type byte; the count is 0
  r.Raw(":00");
  WrAdChk(r, s.startad, 2);
  r.Raw("01");
  CheckHex(s, r);
}

void IntelOut(RunState& s) {
  Holds(s, "start address", s.startad, AddressBits(s));
  ImageRecords(s, Line_Hex);
  End_Hex(s);
}

}  // namespace trelon
