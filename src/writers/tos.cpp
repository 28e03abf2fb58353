#include "writers/writer.hpp"

namespace trelon {

namespace {

// A TOS program file of the image, which must begin at address 0 and start
// there: a 28-byte header, the image as the text segment (made even), and an
// empty relocation table.
class TosWriter final : public Writer {
 public:
  TosWriter(Output& out, Trace& trace) : Writer(out, trace) {}

  void WriteImage(const Image& image) override {
    const struct {
      bool wrong;
      const char* text;
    } kChecks[] = {{image.first != 0, "Load address <> 0! Use .Loc 0\n"},
                   {image.start != 0, "Start address <> 0! Program must start at address 0\n"},
                   {image.length == 0, "Length is zero!\n"}};
    for (const auto& check : kChecks) {
      if (check.wrong) trace_.Tell("%s", check.text);
      shortfall_.refused = shortfall_.refused || check.wrong;
    }
    if (shortfall_.refused) return;

    const bool odd = (image.length & 1) != 0;
    const uint32_t text = image.length + (odd ? 1 : 0);
    uint8_t header[28] = {0x60, 0x1A};
    for (int i = 0; i < 4; ++i) header[2 + i] = static_cast<uint8_t>(text >> (24 - 8 * i));  // big-endian

    trace_.Say("Text length:             16'%8.8X\n", text);
    trace_.Say("Relocation table length: 16'%8.8X\n", 6u);
    trace_.Say("Header size:             16'%8.8X\n", 28u);
    trace_.Say("Program size:            16'%8.8X\n", text);
    trace_.Say("File size:               16'%8.8X\n", text + 34);

    out_.Write(header, 28);
    out_.Write(image.bytes.get(), image.length);
    const uint8_t tail[8] = {};  // the odd byte's pad, and the empty relocation table
    out_.Write(tail, odd ? 7 : 6);
    trace_.Say("%d bytes written\n", static_cast<int32_t>(28 + text + 6));
  }
  std::optional<uint64_t> ImageOffset() const override {
    return shortfall_.refused ? std::nullopt : std::optional<uint64_t>(28);
  }
};

}  // namespace

template <> std::unique_ptr<Writer> MakeWriterOf<Format::kTos>(const Options&, Output& out, Trace& trace) {
  return std::make_unique<TosWriter>(out, trace);
}

}  // namespace trelon
