#include "writers/records.hpp"

namespace trelon {

namespace {

// Absolute-loader blocks: 1, 0, the block's length and address (16 bits
// each, low byte first), the data, and a checksum byte that makes the sum of
// all 0 modulo 256; a block without data carries the start address.
class Pdp11Writer final : public RecordWriter {
 public:
  Pdp11Writer(Output& out, Trace& trace) : RecordWriter(out, trace, 50, 16) {}

 private:
  void Put(uint32_t address, const uint8_t* p, std::size_t n) override {
    uint8_t* const record = out_.Reserve(7 + WideRoom(n));
    record[0] = 0x01;
    record[1] = 0x00;
    PutLe(record + 2, static_cast<uint32_t>(n + 6));
    PutLe(record + 4, address);
    // The data summed as they are copied, each byte read once.
    const uint32_t head = record[0] + record[2] + record[3] + record[4] + record[5];  // record[1] is 0
    const uint32_t sum = head + CopySum(record + 6, p, n);
    record[6 + n] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    out_.Advance(n + 7);
  }
  void End(uint32_t start) override {
    Holds("start address", start, 16);
    uint8_t record[7] = {0x01, 0x00, 0x06, 0x00, 0, 0, 0};
    PutLe(record + 4, start);
    record[6] = static_cast<uint8_t>(0x100 - (ByteSum(record, 6) & 0xFF));
    out_.Write(record, 7);
  }
};

}  // namespace

template <> std::unique_ptr<Writer> MakeWriterOf<Format::kPdp11>(const Options&, Output& out, Trace& trace) {
  return std::make_unique<Pdp11Writer>(out, trace);
}

}  // namespace trelon
