#include "writers/records.hpp"

namespace trelon {

namespace {

// A record of type `type` whose address has `width` bytes, with `n` data bytes.
inline std::size_t PutS(char* text, int type, int width, uint32_t address, const uint8_t* p, std::size_t n) {
  const Head head =
      Head().Add(static_cast<uint32_t>(n + 1 + static_cast<std::size_t>(width)), 1).Add(address, width);
  return PutRecord(text, 'S', static_cast<char>('0' + type), head, p, n, 0xFF, "\n");
}

// S1, S2 or S3 data records (addresses of 2, 3 or 4 bytes) between an S0
// header and an S9, S8 or S7 end record.
class SRecordWriter final : public RecordWriter {
 public:
  SRecordWriter(Output& out, Trace& trace, const Options& options)
      : RecordWriter(out, trace, 32, 8 * (options.variant + 1)), type_(options.variant) {}

 private:
  void Start() override {
    static constexpr uint8_t kHeaderText[16] = {'T', 'r', 'e', 'l', 'o', 'n', '-', 'C'};  // a whole vector
    out_.Advance(PutS(reinterpret_cast<char*>(out_.Reserve(RecordRoom(8))), 0, 2, 0, kHeaderText, 8));
  }
  void Put(uint32_t address, const uint8_t* p, std::size_t n) override {
    out_.Advance(PutS(reinterpret_cast<char*>(out_.Reserve(RecordRoom(n))), type_, type_ + 1, address, p, n));
  }
  bool batches() const override { return true; }
  void PutFull(const uint8_t* data, std::size_t count) override {
    const int type = type_;
    FullRecords(out_, data, count, 2 * static_cast<std::size_t>(type) + 73, address_,
                [type](char* text, uint32_t address, const uint8_t* p) {
                  return PutS(text, type, type + 1, address, p, 32);
                });
  }
  void End(uint32_t start) override {
    Holds("start address", start, address_bits_);
    out_.Advance(
        PutS(reinterpret_cast<char*>(out_.Reserve(RecordRoom(0))), 10 - type_, type_ + 1, start, nullptr, 0));
  }

  const int type_;  // of the data records, 1..3
};

}  // namespace

template <>
std::unique_ptr<Writer> MakeWriterOf<Format::kSRecords>(const Options& options, Output& out, Trace& trace) {
  return std::make_unique<SRecordWriter>(out, trace, options);
}

}  // namespace trelon
