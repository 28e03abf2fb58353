#include "writers/writers.hpp"

namespace trelon {

namespace {

// A record of type `type` at `address` (16 bits kept) with `n` data bytes.
inline std::size_t PutHex(char* text, uint32_t address, const uint8_t* p, std::size_t n, std::size_t readable,
                          uint32_t type = 0) {
  return PutRecord(text, ':', '\0', Head().Add(static_cast<uint32_t>(n), 1).Add(address, 2).Add(type, 1), p, n,
                   readable, 0x100, "\r\n");
}

}  // namespace

void Lines_Hex(RunState& s, const uint8_t* data, std::size_t count) {
  FullRecords(s, data, count, 77,
              [](char* text, uint32_t address, const uint8_t* p) { return PutHex(text, address, p, 32, 32); });
}

void Line_Hex(RunState& s) {
  PendingRecord(s, [](char* text, uint32_t address, const uint8_t* p, std::size_t n, std::size_t readable) {
    return PutHex(text, address, p, n, readable);
  });
}

void End_Hex(RunState& s) {
  Holds(s, "start address", s.startad, 16);
  s.outlen += PutHex(reinterpret_cast<char*>(OutReserve(s, RecordRoom(0))), s.startad, nullptr, 0, 0, 1);
}

void IntelOut(RunState& s) {
  ImageRecords(s, Line_Hex);
  End_Hex(s);
}

}  // namespace trelon
