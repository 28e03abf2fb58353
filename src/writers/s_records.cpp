#include "writers/writers.hpp"

namespace trelon {

namespace {

// A record of type `type` whose address has f + 1 bytes, with `n` data bytes.
inline std::size_t PutS(char* text, int type, int32_t f, uint32_t address, const uint8_t* p, std::size_t n,
                        std::size_t readable) {
  const Head head = Head().Add(static_cast<uint32_t>(n + 2) + static_cast<uint32_t>(f), 1).Add(address, f + 1);
  return PutRecord(text, 'S', static_cast<char>('0' + type), head, p, n, readable, 0xFF, "\n");
}

}  // namespace

void Begin_S(RunState& s) {
  static constexpr uint8_t kHeaderText[] = {'T', 'r', 'e', 'l', 'o', 'n', '-', 'C'};
  s.outlen += PutS(reinterpret_cast<char*>(OutReserve(s, RecordRoom(8))), 0, 1, 0, kHeaderText, 8, 8);
}

void Lines_S(RunState& s, const uint8_t* data, std::size_t count) {
  const int32_t f = s.formats;
  FullRecords(s, data, count, 2 * static_cast<std::size_t>(f) + 73,
              [f](char* text, uint32_t address, const uint8_t* p) { return PutS(text, f, f, address, p, 32, 32); });
}

void Line_S(RunState& s) {
  const int32_t f = s.formats;
  PendingRecord(s, [f](char* text, uint32_t address, const uint8_t* p, std::size_t n, std::size_t readable) {
    return PutS(text, f, f, address, p, n, readable);
  });
}

void End_S(RunState& s) {
  Holds(s, "start address", s.startad, AddressBits(s));
  s.outlen += PutS(reinterpret_cast<char*>(OutReserve(s, RecordRoom(0))), 10 - s.formats, s.formats, s.startad,
                   nullptr, 0, 0);
}

void SOut(RunState& s) {
  Begin_S(s);
  ImageRecords(s, Line_S);
  End_S(s);
}

}  // namespace trelon
