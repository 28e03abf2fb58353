#include "writers/writers.hpp"

namespace trelon {

void GenEndBinHexOut(RunState& s) {
  if (s.byteoutput == 0 && s.mhexline != 0 && s.hexcount != 0) WriteOut(s, "\r\n", 2);
}

void BinHexOut(RunState& s) {
  if (s.head256 != 0) {
    Say(s, "Write header (256 bytes)\n");
    std::fill(s.data.begin(), s.data.begin() + 256, uint8_t{0});
    PutLe32(&s.data[0], s.minadd);
    PutLe32(&s.data[4], static_cast<uint32_t>(s.muflength));
    PutLe32(&s.data[8], s.startad);
    if (s.byteoutput != 0) {
      Write_Data(s, 256);
    } else {
      for (int i = 0; i < 256; ++i) OutByteHex(s, s.data[static_cast<std::size_t>(i)]);
    }
  }
  if (s.byteoutput != 0) {
    WriteBin(s);
  } else {
    for (int32_t i = 0; i < s.muflength; ++i) OutByteHex(s, s.image[static_cast<std::size_t>(i)]);
  }
  GenEndBinHexOut(s);
}

}  // namespace trelon
