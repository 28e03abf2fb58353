#include <algorithm>
#include <cstring>

#include "writers/writers.hpp"

namespace trelon {

void WriteBin(RunState& s) {
  if (s.muflength > 0) WriteOut(s, s.image.get(), static_cast<std::size_t>(s.muflength));
}

void BeginRecords(RunState& s) {
  if (s.motorolas != 0) Begin_S(s);
}

void WriteRecord(RunState& s) {
  if (s.intelhex != 0) Line_Hex(s);
  if (s.motorolas != 0) Line_S(s);
  if (s.pdp11 != 0) Line_PDP(s);
}

void EndRecords(RunState& s) {
  if (s.motorolas != 0) End_S(s);
  if (s.intelhex != 0) End_Hex(s);
  if (s.pdp11 != 0) End_PDP(s);
}

void StreamFill(RunState& s, uint32_t count) {
  const uint8_t fill = s.FillByte();
  if (s.byteoutput == 0) {
    for (uint32_t i = 0; i < count; ++i) OutByteHex(s, fill);
  } else {
    uint32_t left = count;
    while (left > 0) {
      if (s.contigi == 256) {
        Write_Data(s, 256);
        s.contigi = 0;
      }
      uint32_t n = std::min<uint32_t>(left, static_cast<uint32_t>(256 - s.contigi));
      std::memset(s.data.data() + s.contigi, fill, n);
      s.contigi += static_cast<int32_t>(n);
      left -= n;
    }
  }
  s.loadadd += count;
}

void GenerateBinary(RunState& s) {
  if (s.empty != 0) return;
  if (s.unfill == 0) {
    Say(s, "\nWrite binary to file\n");
    if (s.contiguous != 0) {
      GenEndBinHexOut(s);
    } else {
      if (s.binoutput != 0 || s.hexoutput != 0) BinHexOut(s);
      if (s.intelhex != 0) IntelOut(s);
      if (s.motorolas != 0) SOut(s);
      if (s.pdp11 != 0) PDPOut(s);
      if (s.exeout != 0) GenExe(s);
      if (s.tosout != 0) GenTos(s);
    }
  }
  Say(s, "\nFirst address:         %8.8X", s.minadd);
  Say(s, "\nLast address:          %8.8X", s.maxadd);
  uint32_t length = s.contiguous != 0 ? s.loadadd - s.minadd : static_cast<uint32_t>(s.muflength);
  Say(s, "\nLength:                %8.8X\n", length);
}

}  // namespace trelon
