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

// The record of the `hexcount` pending bytes; kFull as for HexRecord.
template <bool kFull>
void SRecord(RunState& s) {
  const int32_t f = s.formats;  // the address has f + 1 bytes
  const auto n = kFull ? std::size_t{32} : static_cast<std::size_t>(s.hexcount);
  const auto count = static_cast<uint32_t>(f + 2) + static_cast<uint32_t>(n);
  const auto data_at = static_cast<std::size_t>(2 * f + 6);  // "S", the type, the count, the address
  char* const text =
      reinterpret_cast<char*>(kFull ? s.outbuf.get() + s.outlen : OutReserve(s, 18 + 3 + 2 * WideRoom(n)));
  // The address bytes at the top of `v`, then turned round: the count and the
  // address most significant first, lowest first.
  const uint32_t v = s.begin_address << (8 * (3 - f));
  const uint32_t reversed = (v >> 24) | (v >> 8 & 0xFF00) | (v << 8 & 0xFF0000) | (v << 24);
  text[0] = 'S';
  text[1] = static_cast<char>('0' + f);
  PutHexWord(text + 2, (count & 0xFF) | static_cast<uint64_t>(reversed) << 8, f + 2);
  const uint32_t sum = count + WordSum(v) + PutPendingData<kFull>(s, text + data_at, n);
  char* const end = PutHex2(text + data_at + 2 * n, static_cast<uint8_t>(0xFF - (sum & 0xFF)));
  end[0] = '\n';
  RecordDone(s, n, sum, static_cast<std::size_t>(end + 1 - text));
}

// The general case apart, so that the full record is built without saving
// registers for calls it does not make.
[[gnu::noinline]] void SRecordAny(RunState& s) { SRecord<false>(s); }

}  // namespace

void Line_S(RunState& s) {
  // The address digits are written as 16 characters, the record's ends behind them.
  if (FullRecord(s, 18 + 64 + 3)) return SRecord<true>(s);
  SRecordAny(s);
}

void End_S(RunState& s) {
  const int count = s.formats + 2;
  TextRecord r(s, static_cast<uint32_t>(count));
  TypeS(r, 10 - s.formats);
  r.Hex(static_cast<uint8_t>(count));
  WrAdChk(r, s.startad, s.formats + 1);
  CheckS(s, r);
}

void SOut(RunState& s) {
  Begin_S(s);
  ImageRecords(s, Line_S);
  End_S(s);
}

}  // namespace trelon
