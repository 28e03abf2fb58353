// The writers: one output format each, behind one interface.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "io/output.hpp"
#include "options.hpp"
#include "trace.hpp"
#include "writers/image.hpp"

namespace trelon {

// What a writer could not do: it refused the module (and wrote nothing), or
// met a value too wide for the format's fields (which keep its low bits).
struct Shortfall {
  bool refused = false;
  const char* unheld = nullptr;  // what the first such value is, if any
  uint64_t value = 0;
  int bits = 0;
};

// The reader calls a writer in the module's order. Where records are
// streamed: Start before the first command, RecordAt for each new address,
// Bytes for the loaded bytes, and EndOfModule after the module end. Where
// the image is streamed (once a section is too long for the image, where the
// format allows it): BeginStream, Bytes and Fill in address order, and
// EndOfModule.
// Then, unless records were streamed and where a lowest address was given,
// WriteImage. The base class writes nothing, for a word that names no format.
class Writer {
 public:
  Writer(Output& out, Trace& trace) : out_(out), trace_(trace) {}
  virtual ~Writer() = default;

  virtual void Start() {}
  virtual void RecordAt(uint32_t /*address*/) {}
  virtual void Bytes(const uint8_t* /*bytes*/, std::size_t /*n*/) {}
  virtual void Fill(uint32_t /*count*/) {}
  // Whether the image can be streamed; BeginStream switches to that (and
  // writes the bytes staged so far, where it switches again).
  virtual bool CanStream() const { return false; }
  virtual void BeginStream() {}
  virtual void EndOfModule(uint32_t /*start*/) {}
  virtual void WriteImage(const Image& /*image*/) {}
  // The first address whose bytes the format cannot place (records).
  virtual uint64_t address_limit() const { return UINT64_MAX; }
  // Where the image begins in the file, once written, for a format that
  // holds it as it stands in memory.
  virtual std::optional<uint64_t> ImageOffset() const { return std::nullopt; }

  // Text put into the output as it stands (the sum a failed CS expected).
  void Annotate(const char* text, std::size_t n) { out_.Write(text, n); }
  const Shortfall& shortfall() const { return shortfall_; }

 protected:
  // Notes `value` if the format's fields of `bits` bits cannot hold it.
  void Holds(const char* what, uint64_t value, int bits) {
    if (shortfall_.unheld == nullptr && bits < 64 && value >> bits != 0)
      shortfall_ = {shortfall_.refused, what, value, bits};
  }

  Output& out_;
  Trace& trace_;
  Shortfall shortfall_;
};

// The writer of the format that `options` name.
std::unique_ptr<Writer> MakeWriter(const Options& options, Output& out, Trace& trace);

// The writer of format F, defined beside it.
template <Format F>
std::unique_ptr<Writer> MakeWriterOf(const Options& options, Output& out, Trace& trace);

// The low `n` bytes of `v` at `p`, the least significant first.
inline void PutLe(uint8_t* p, uint32_t v, int n = 2) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The image as it stands in memory (binary) or as text (hex text), behind
// the 256-byte header if asked: first address, length, start address. A
// section too long for the image is streamed instead, in address order,
// where there is no header.
class ImageWriter : public Writer {
 public:
  ImageWriter(Output& out, Trace& trace, const Options& options)
      : Writer(out, trace), header_(options.header), fill_(options.fill) {}

  bool CanStream() const override { return !header_; }
  void BeginStream() override {
    EndBlock();
    streaming_ = true;
  }
  void Bytes(const uint8_t* bytes, std::size_t n) override { Put(bytes, n); }
  void Fill(uint32_t count) override {
    uint8_t block[256];
    std::memset(block, fill_, sizeof block);
    for (uint32_t k; count > 0; count -= k) Put(block, k = std::min<uint32_t>(count, sizeof block));
  }
  void EndOfModule(uint32_t) override { EndBlock(); }
  void WriteImage(const Image& image) override {
    if (!streaming_) {
      if (header_) {
        trace_.Say("Write header (256 bytes)\n");
        uint8_t header[256] = {};
        PutLe(&header[0], image.first, 4);
        PutLe(&header[4], image.length, 4);
        PutLe(&header[8], image.start, 4);
        Put(header, sizeof header);
      }
      Put(image.bytes.get(), image.length);
    }
    EndFile();
  }

 protected:
  virtual void Put(const uint8_t* bytes, std::size_t n) = 0;
  // What is held back is written: where the stream switches or ends.
  virtual void EndBlock() {}
  // The end of the file, after the image.
  virtual void EndFile() { EndBlock(); }

  const bool header_;
  const uint8_t fill_;
  bool streaming_ = false;
};

}  // namespace trelon
