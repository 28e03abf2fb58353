#include <algorithm>

#include "io/hex.hpp"
#include "writers/writer.hpp"

namespace trelon {

namespace {

// The image as hex digits, CR LF after every 39 bytes of the whole output
// and at its end, behind the 256-byte header (as hex too) if asked. A
// section too long for the image is streamed instead, without the header.
class HexTextWriter final : public Writer {
 public:
  HexTextWriter(Output& out, Trace& trace, const Options& options)
      : Writer(out, trace), header_(options.header), fill_(options.fill) {}

  bool CanStream() const override { return !header_; }
  void BeginStream() override { streaming_ = true; }
  void Bytes(const uint8_t* bytes, std::size_t n) override { PutText(bytes, n); }
  void Fill(uint32_t count) override {
    uint8_t block[256];
    std::memset(block, fill_, sizeof block);
    for (uint32_t left = count; left > 0;) {
      const uint32_t k = std::min<uint32_t>(left, sizeof block);
      PutText(block, k);
      left -= k;
    }
  }
  void WriteImage(const Image& image) override {
    if (!streaming_) {
      if (header_) {
        trace_.Say("Write header (256 bytes)\n");
        PutText(ImageHeader(image).data(), 256);
      }
      PutText(image.bytes.get(), image.length);
    }
    if (column_ != 0) out_.Write("\r\n", 2);
  }

 private:
  static constexpr std::size_t kLine = 39;  // bytes a line

  void PutText(const uint8_t* bytes, std::size_t n) {
    constexpr std::size_t kChunk = 4096;  // at most 4 characters a byte
    char spill[4 * kChunk];
    while (n > 0) {
      const std::size_t k = std::min(n, kChunk);
      // In place while the buffer has room for all the chunk could take, else
      // through `spill`: the buffer is then written out only when full, so
      // where the writes fall does not depend on how the bytes came in pieces.
      const bool in_place = out_.Room() >= 4 * k;
      char* const start = in_place ? reinterpret_cast<char*>(out_.Tail()) : spill;
      char* text = start;
      std::size_t column = column_;
      for (std::size_t i = 0; i < k;) {
        // Up to the end of the current line, then the line end.
        const std::size_t m = std::min(k - i, kLine - column);
        text = PutHexLine(text, bytes + i, m, k - i);
        i += m;
        column += m;
        if (column == kLine) {
          *text++ = '\r';
          *text++ = '\n';
          column = 0;
        }
      }
      column_ = column;
      const auto length = static_cast<std::size_t>(text - start);
      if (in_place) {
        out_.Advance(length);
      } else {
        out_.Write(spill, length);
      }
      bytes += k;
      n -= k;
    }
  }

  const bool header_;
  const uint8_t fill_;
  bool streaming_ = false;
  std::size_t column_ = 0;  // bytes on the current line
};

}  // namespace

std::unique_ptr<Writer> MakeHexTextWriter(const Options& options, Output& out, Trace& trace) {
  return std::make_unique<HexTextWriter>(out, trace, options);
}

}  // namespace trelon
