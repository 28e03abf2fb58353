#include <algorithm>
#include <iterator>

#include "writers/writer.hpp"

namespace trelon {

namespace {

// Values are computed as 32-bit signed numbers that wrap, like the header
// fields they end up in; only their low 16 bits are stored.
int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// An MS-DOS "MZ" executable of the image, which must begin at address 0:
// a 512-byte header, then in layout 1 the stack, the image, and padding to a
// whole paragraph. Layout 2 asks DOS for the stack and a data area after the
// image, layout 3 for the stack alone.
class ExeWriter final : public Writer {
 public:
  ExeWriter(Output& out, Trace& trace, const Options& options)
      : Writer(out, trace),
        strict_(options.strict),
        layout_(options.variant),
        stack_(options.stack_paragraphs),
        data_(options.data_paragraphs) {}

  void WriteImage(const Image& image) override {
    if (image.first != 0) {
      trace_.Tell("Load address <> 0! Use .LOC 0\n");
      shortfall_.refused = true;
      return;
    }
    const auto length = static_cast<int32_t>(image.length);
    const int32_t paragraphs = Wrap32((static_cast<int64_t>(length) + 15) / 16);
    const int32_t load_module = Wrap32(static_cast<int64_t>(paragraphs) + (layout_ == 1 ? stack_ : 0));
    const int32_t file_paragraphs = Wrap32(static_cast<int64_t>(load_module) + 32);
    int32_t extra = 0;
    if (layout_ == 2) extra = Wrap32(static_cast<int64_t>(data_) + stack_);
    if (layout_ == 3) extra = stack_;

    const auto last_page = static_cast<uint32_t>(Wrap32(static_cast<int64_t>(file_paragraphs % 32) * 16));
    const auto pages = static_cast<uint32_t>(Wrap32((static_cast<int64_t>(file_paragraphs) + 31) / 32));
    const uint32_t ss = layout_ == 1 ? 0 : static_cast<uint32_t>(paragraphs);
    const auto sp = static_cast<uint32_t>(Wrap32(static_cast<int64_t>(stack_) * 16));
    const uint32_t cs = layout_ == 1 ? static_cast<uint32_t>(stack_) : 0;
    const uint32_t ip = image.start;

    const struct {
      const char* name;
      uint32_t value;
    } fields[] = {{"count of bytes in the last page", last_page}, {"page count", pages},
                  {"MinAlloc/MaxAlloc", static_cast<uint32_t>(extra)}, {"SS", ss}, {"SP", sp}, {"CS", cs}, {"IP", ip}};
    for (const auto& field : fields) Holds(field.name, field.value, 16);
    // Under --strict such a file is not written at all: not a byte of it.
    if (strict_ && shortfall_.unheld != nullptr) return;
    // "MZ", then the header's words from offset 2 on: no relocations, a
    // header of 32 paragraphs, no checksum, the relocation table at 32.
    uint8_t header[512] = {'M', 'Z'};
    const uint32_t words[] = {last_page, pages, 0, 32, static_cast<uint32_t>(extra), static_cast<uint32_t>(extra),
                              ss, sp, 0, ip, cs, 32};
    for (std::size_t i = 0; i < std::size(words); ++i) PutLe(&header[2 + 2 * i], words[i]);

    trace_.Say("Number of bytes in the last page (= 512 bytes): 16'%4.4X\n", last_page & 0xFFFF);
    trace_.Say("Size of .EXE (pages incl. header):              16'%4.4X\n", pages & 0xFFFF);
    trace_.Say("Header size (x16 bytes):                        16'%4.4X\n", 32u);
    trace_.Say("MinAlloc=MaxAlloc (x16 bytes):                  16'%4.4X\n",
               static_cast<uint32_t>(extra) & 0xFFFF);
    trace_.Say("SS:SP :                                         16'%4.4X:%4.4X\n", ss & 0xFFFF, sp & 0xFFFF);
    trace_.Say("CS:IP :                                         16'%4.4X:%4.4X\n", cs & 0xFFFF, ip & 0xFFFF);

    // The stack of layout 1 and the padding are zeros.
    const uint8_t zeros[256] = {};
    const int64_t stack_bytes = layout_ == 1 ? std::max<int64_t>(int64_t{stack_} * 16, 0) : 0;
    const int32_t padding = (16 - length % 16) % 16;
    out_.Write(header, 512);
    for (int64_t left = stack_bytes; left > 0; left -= 256) out_.Write(zeros, std::min<std::size_t>(left, 256));
    if (length > 0) out_.Write(image.bytes.get(), image.length);
    out_.Write(zeros, static_cast<std::size_t>(padding));
    trace_.Say("%d bytes written\n", Wrap32(512 + stack_bytes + length + padding));
    image_offset_ = 512 + static_cast<uint64_t>(stack_bytes);
  }
  std::optional<uint64_t> ImageOffset() const override { return image_offset_; }

 private:
  const bool strict_;
  const int layout_;
  const int32_t stack_, data_;  // in paragraphs
  std::optional<uint64_t> image_offset_;  // once written
};

}  // namespace

template <> std::unique_ptr<Writer> MakeWriterOf<Format::kExe>(const Options& options, Output& out, Trace& trace) {
  return std::make_unique<ExeWriter>(out, trace, options);
}

}  // namespace trelon
