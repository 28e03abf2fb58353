#include "writers/writers.hpp"

namespace trelon {

namespace {

void CheckHex(TextRecord& r) {
  r.Hex(static_cast<uint8_t>(0x100 - (r.s.checksum & 0xFF)));
  r.Raw("\r\n");
  r.Write();
}

}  // namespace

void Line_Hex(RunState& s) {
  TextRecord r(s);
  r.Raw(":");
  r.Hex(static_cast<uint8_t>(s.hexcount));
  s.checksum = s.hexcount;
  WrAdChk(r, s.begin_address, 2);
  s.begin_address += static_cast<uint32_t>(s.hexcount);
  r.Raw("00");
  for (int32_t i = 0; i < s.hexcount; ++i) r.Byte(s.image[static_cast<std::size_t>(s.dummy++)]);
  CheckHex(r);
}

void End_Hex(RunState& s) {
  TextRecord r(s);
  r.Raw(":00");
  s.checksum = 1;
  WrAdChk(r, s.startad, 2);
  r.Raw("01");
  CheckHex(r);
}

void IntelOut(RunState& s) {
  ImageRecords(s, Line_Hex);
  End_Hex(s);
}

}  // namespace trelon
