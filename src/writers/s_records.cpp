#include "writers/writers.hpp"

namespace trelon {

namespace {

constexpr char kHeaderText[] = "Trelon-C";

void CheckS(TextRecord& r) {
  r.Hex(static_cast<uint8_t>(0xFF - (r.s.checksum & 0xFF)));
  r.Raw("\n");
  r.Write();
}

// "S" and the record type digit.
void TypeS(TextRecord& r, int type) {
  r.text[r.len++] = 'S';
  r.text[r.len++] = static_cast<char>('0' + type);
}

}  // namespace

void Begin_S(RunState& s) {
  TextRecord r(s);
  const int count = static_cast<int>(sizeof kHeaderText - 1) + 3;
  s.checksum = count;
  TypeS(r, 0);
  r.Hex(static_cast<uint8_t>(count));
  r.Raw("0000");
  for (const char* c = kHeaderText; *c != '\0'; ++c) r.Byte(static_cast<uint8_t>(*c));
  CheckS(r);
}

void Line_S(RunState& s) {
  TextRecord r(s);
  TypeS(r, s.formats);
  const int count = s.formats + s.hexcount + 2;
  s.checksum = count;
  r.Hex(static_cast<uint8_t>(count));
  WrAdChk(r, s.begin_address, s.formats + 1);
  s.begin_address += static_cast<uint32_t>(s.hexcount);
  for (int32_t i = 0; i < s.hexcount; ++i) r.Byte(s.image[static_cast<std::size_t>(s.dummy++)]);
  CheckS(r);
}

void End_S(RunState& s) {
  TextRecord r(s);
  TypeS(r, 10 - s.formats);
  const int count = s.formats + 2;
  s.checksum = count;
  r.Hex(static_cast<uint8_t>(count));
  WrAdChk(r, s.startad, s.formats + 1);
  CheckS(r);
}

void SOut(RunState& s) {
  Begin_S(s);
  ImageRecords(s, Line_S);
  End_S(s);
}

}  // namespace trelon
