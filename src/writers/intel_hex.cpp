#include "writers/records.hpp"

namespace trelon {

namespace {

// A record of type `type` at `address` (16 bits kept) with `n` data bytes.
inline std::size_t PutHex(char* text, uint32_t address, const uint8_t* p, std::size_t n, uint32_t type = 0) {
  return PutRecord(text, ':', '\0', Head().Add(static_cast<uint32_t>(n), 1).Add(address, 2).Add(type, 1), p, n,
                   0x100, "\r\n");
}

class IntelHexWriter final : public RecordWriter {
 public:
  IntelHexWriter(Output& out, Trace& trace) : RecordWriter(out, trace, 32, 16) {}

 private:
  void Put(uint32_t address, const uint8_t* p, std::size_t n) override {
    out_.Advance(PutHex(reinterpret_cast<char*>(out_.Reserve(RecordRoom(n))), address, p, n));
  }
  bool batches() const override { return true; }
  void PutFull(const uint8_t* data, std::size_t count) override {
    FullRecords(out_, data, count, 77, address_,
                [](char* text, uint32_t address, const uint8_t* p) { return PutHex(text, address, p, 32); });
  }
  void End(uint32_t start) override {
    Holds("start address", start, 16);
    out_.Advance(PutHex(reinterpret_cast<char*>(out_.Reserve(RecordRoom(0))), start, nullptr, 0, 1));
  }
};

}  // namespace

template <> std::unique_ptr<Writer> MakeWriterOf<Format::kIntelHex>(const Options&, Output& out, Trace& trace) {
  return std::make_unique<IntelHexWriter>(out, trace);
}

}  // namespace trelon
