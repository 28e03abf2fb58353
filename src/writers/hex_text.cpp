#include "io/hex.hpp"
#include "writers/writer.hpp"

namespace trelon {

namespace {

// The image as hex digits, CR LF after every 39 bytes of the whole output
// (header included) and at its end.
class HexTextWriter final : public ImageWriter {
 public:
  using ImageWriter::ImageWriter;

 private:
  static constexpr std::size_t kLine = 39;  // bytes a line

  void EndFile() override {
    if (column_ != 0) out_.Write("\r\n", 2);
  }

  void Put(const uint8_t* bytes, std::size_t n) override {
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
      in_place ? out_.Advance(length) : out_.Write(spill, length);
      bytes += k;
      n -= k;
    }
  }

  std::size_t column_ = 0;  // bytes on the current line
};

}  // namespace

template <>
std::unique_ptr<Writer> MakeWriterOf<Format::kHexText>(const Options& options, Output& out, Trace& trace) {
  return std::make_unique<HexTextWriter>(out, trace, options);
}

}  // namespace trelon
