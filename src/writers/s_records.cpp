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

void Line_S(RunState& s) {
  const int count = s.formats + s.hexcount + 2;
  TextRecord r(s, static_cast<uint32_t>(count));
  TypeS(r, s.formats);
  r.Hex(static_cast<uint8_t>(count));
  WrAdChk(r, s.begin_address, s.formats + 1);
  s.begin_address += static_cast<uint32_t>(s.hexcount);
  r.Bytes(s.image.get() + s.dummy, s.hexcount);
  s.dummy += s.hexcount;
  CheckS(s, r);
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
