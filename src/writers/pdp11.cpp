#include <cstring>

#include "writers/writers.hpp"

namespace trelon {

void Line_PDP(RunState& s) {
  const int32_t n = s.hexcount;
  uint8_t* const record = OutReserve(s, 7 + WideRoom(static_cast<std::size_t>(n)));
  record[0] = 0x01;
  record[1] = 0x00;
  PutLe(record + 2, static_cast<uint32_t>(n + 6));
  PutLe(record + 4, s.begin_address);
  // The data summed as they are copied, each byte read once.
  const uint32_t head = record[0] + record[2] + record[3] + record[4] + record[5];  // record[1] is 0
  const uint32_t sum = head + CopySum(record + 6, s.image.get() + s.dummy, static_cast<std::size_t>(n),
                                      static_cast<std::size_t>(s.imagesize - s.dummy));
  record[6 + n] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
  s.begin_address += static_cast<uint32_t>(n);
  s.dummy += n;
  s.outlen += static_cast<std::size_t>(n + 7);
}

void End_PDP(RunState& s) {
  Holds(s, "start address", s.startad, 16);
  uint8_t record[7] = {0x01, 0x00, 0x06, 0x00, 0, 0, 0};
  PutLe(record + 4, s.startad);
  record[6] = static_cast<uint8_t>(0x100 - (ByteSum(record, 6) & 0xFF));
  WriteOut(s, record, 7);
}

void PDPOut(RunState& s) {
  ImageRecords(s, Line_PDP);
  End_PDP(s);
}

}  // namespace trelon
