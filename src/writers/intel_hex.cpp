#include "writers/writers.hpp"

namespace trelon {

namespace {

void CheckHex(RunState& s, TextRecord& r) {
  r.Hex(static_cast<uint8_t>(0x100 - (r.checksum & 0xFF)));
  r.Raw("\r\n");
  r.Write(s);
}

}  // namespace

void Line_Hex(RunState& s) {
  TextRecord r(s, static_cast<uint32_t>(s.hexcount));
  r.Raw(":");
  r.Hex(static_cast<uint8_t>(s.hexcount));
  WrAdChk(r, s.begin_address, 2);
  s.begin_address += static_cast<uint32_t>(s.hexcount);
  r.Raw("00");
  r.Bytes(s.image.get() + s.dummy, s.hexcount);
  s.dummy += s.hexcount;
  CheckHex(s, r);
}

void End_Hex(RunState& s) {
  TextRecord r(s, 1);  // the type byte; the count is 0
  r.Raw(":00");
  WrAdChk(r, s.startad, 2);
  r.Raw("01");
  CheckHex(s, r);
}

void IntelOut(RunState& s) {
  ImageRecords(s, Line_Hex);
  End_Hex(s);
}

}  // namespace trelon
