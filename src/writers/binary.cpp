#include "writers/writer.hpp"

namespace trelon {

namespace {

// The raw image. Streamed, the bytes are staged in blocks of 256, a full
// block written only once a further byte arrives.
class BinaryWriter final : public ImageWriter {
 public:
  using ImageWriter::ImageWriter;

  void Fill(uint32_t count) override { Stage(nullptr, count); }
  std::optional<uint64_t> ImageOffset() const override { return header_ ? 256 : 0; }

 private:
  void Put(const uint8_t* bytes, std::size_t n) override { Stage(bytes, n); }

  // The block being staged: at the end of the output buffer, behind what
  // counts there, while the buffer has room for a whole block (the bytes then
  // go to the file with one copy), else in spill_. Nothing else is written
  // while a block is staged, so the place stays until the block is written.
  bool InOutput() const { return out_.Room() >= 256; }

  // The first `n` staged bytes to the file.
  void WriteBlock(std::size_t n) { InOutput() ? out_.Advance(n) : out_.Write(spill_, n); }

  void EndBlock() override {
    if (staged_ > 0) WriteBlock(staged_);
    staged_ = 0;
  }

  // Stages `n` bytes (fill bytes where `bytes` is null). Whole blocks that
  // further bytes follow go to the output buffer at once while it has room.
  void Stage(const uint8_t* bytes, uint64_t n) {
    const auto put = [&](uint8_t* to, std::size_t k) {
      if (bytes != nullptr) {
        std::memcpy(to, bytes, k);
        bytes += k;
      } else {
        std::memset(to, fill_, k);
      }
    };
    while (n > 0) {
      if (staged_ == 256) {
        WriteBlock(256);
        staged_ = 0;
      }
      std::size_t k;
      if (staged_ == 0 && n > 256 && InOutput()) {
        k = static_cast<std::size_t>(std::min<uint64_t>((n - 1) / 256, out_.Room() / 256)) * 256;
        put(out_.Tail(), k);
        out_.Advance(k);
      } else {
        k = static_cast<std::size_t>(std::min<uint64_t>(n, 256 - staged_));
        put((InOutput() ? out_.Tail() : spill_) + staged_, k);
        staged_ += k;
      }
      n -= k;
    }
  }

  std::size_t staged_ = 0;  // bytes of the block being staged
  uint8_t spill_[256];
};

}  // namespace

template <>
std::unique_ptr<Writer> MakeWriterOf<Format::kBinary>(const Options& options, Output& out, Trace& trace) {
  return std::make_unique<BinaryWriter>(out, trace, options);
}

}  // namespace trelon
