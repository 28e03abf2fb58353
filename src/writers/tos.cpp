#include <algorithm>

#include "writers/writers.hpp"

namespace trelon {

void GenTos(RunState& s) {
  bool fits = true;
  if (s.minadd != 0) {
    Tell(s, "Load address <> 0! Use .Loc 0\n");
    fits = false;
  }
  if (s.startad != 0) {
    Tell(s, "Start address <> 0! Program must start at address 0\n");
    fits = false;
  }
  if (s.muflength == 0) {
    Tell(s, "Length is zero!\n");
    fits = false;
  }
  if (!fits) {
    s.refused = 1;
    return;
  }

  const bool odd = (s.muflength & 1) != 0;
  const uint32_t text = static_cast<uint32_t>(s.muflength) + (odd ? 1 : 0);
  s.data.fill(0);
  s.data[0] = 0x60;
  s.data[1] = 0x1A;
  for (int i = 0; i < 4; ++i) s.data[2 + i] = static_cast<uint8_t>(text >> (24 - 8 * i));  // big-endian

  Say(s, "Text length:             16'%8.8X\n", text);
  Say(s, "Relocation table length: 16'%8.8X\n", 6u);
  Say(s, "Header size:             16'%8.8X\n", 28u);
  Say(s, "Program size:            16'%8.8X\n", text);
  Say(s, "File size:               16'%8.8X\n", text + 34);

  WriteHeader(s, 28);
  int32_t written = 28;
  WriteBin(s);
  written += s.muflength;
  std::fill(s.data.begin(), s.data.begin() + 8, uint8_t{0});
  const int32_t tail = odd ? 7 : 6;
  WriteHeader(s, tail);
  written += tail;
  Say(s, "%d bytes written\n", written);
}

}  // namespace trelon
