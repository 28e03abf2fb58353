// What the record formats share: text records with a running checksum, built
// in the output buffer with the hex codec, and the cutting of bytes into
// records, streamed or from the image.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/hex.hpp"
#include "writers/writer.hpp"

namespace trelon {

// The head of a text record: up to 8 bytes (count, address, type), the
// first in the low byte, and their sum.
struct Head {
  uint64_t bytes = 0;
  int k = 0;
  uint32_t sum = 0;
  // The low `n` (1..4) bytes of `value`, most significant first.
  Head& Add(uint32_t value, int n) {
    const uint32_t v = __builtin_bswap32(value << (32 - 8 * n));
    bytes |= static_cast<uint64_t>(v) << (8 * k);
    k += n;
    sum += (v & 0xFF) + (v >> 8 & 0xFF) + (v >> 16 & 0xFF) + (v >> 24);
    return *this;
  }
};

// Characters that PutRecord may write for `n` data bytes.
inline constexpr std::size_t RecordRoom(std::size_t n) { return 22 + 2 * WideRoom(n); }

// A text record (a line of Intel Hex or S-records) at `out`: `lead` and
// `type` (if not NUL), the digits of the head bytes, of the `n` data bytes
// at `p` (WideRoom(n) of them may be read), and of the checksum (`base`
// minus the sum of the head and data bytes, modulo 256), then the line end
// `end`. Returns its length.
template <std::size_t N>
inline std::size_t PutRecord(char* out, char lead, char type, const Head& head, const uint8_t* p, std::size_t n,
                             unsigned base, const char (&end)[N]) {
  // ":", or "S" and the type. Stored one by one: loading them together
  // after storing them so would stall.
  out[0] = lead;
  out[1] = type;
  const std::size_t at = type != '\0' ? 2 : 1;
  PutHexWord(out + at, head.bytes, head.k);
  char* text = out + at + 2 * static_cast<std::size_t>(head.k);
  uint32_t sum = head.sum;
  if (n == 32) {
    sum += PutHexSum(text, p, 32);  // a full record, its length known: no masks
  } else if (n > 0) {
    sum += PutHexSum(text, p, n);
  }
  text = PutHex2(text + 2 * n, static_cast<uint8_t>(base - sum));
  std::memcpy(text, end, N - 1);
  return static_cast<std::size_t>(text + N - 1 - out);
}

// `count` records of 32 bytes from `data` on, from `address` on (advanced
// past them), each of `length` characters built by put(text, address, bytes)
// in the output buffer.
template <typename Put>
void FullRecords(Output& out, const uint8_t* data, std::size_t count, std::size_t length, uint32_t& address,
                 Put put) {
  uint32_t at = address;  // a local: the characters stored could otherwise change it
  while (count > 0) {
    char* const text = reinterpret_cast<char*>(out.Reserve(RecordRoom(32)));
    // As many as leave room for a whole record behind each.
    const std::size_t fit = std::min(count, 1 + (out.Room() - RecordRoom(32)) / length);
    for (std::size_t i = 0; i < fit; ++i, data += 32, at += 32) put(text + i * length, at, data);
    out.Advance(fit * length);  // known beforehand, so that a record need not wait for the one before
    count -= fit;
  }
  address = at;
}

// A format of records that carry their address (Intel Hex, S-records,
// PDP-11). Streamed, the loaded bytes gather in a pending record, written
// once it is full and a further byte arrives, or when the address changes;
// collected, the image is cut into records from its first address on.
class RecordWriter : public Writer {
 public:
  RecordWriter(Output& out, Trace& trace, std::size_t length, int address_bits)
      : Writer(out, trace), length_(length), address_bits_(address_bits) {}

  void RecordAt(uint32_t address) override {
    WritePending();
    address_ = address;
  }
  void Bytes(const uint8_t* bytes, std::size_t n) override {
    while (n > 0) {
      if (pending_ >= length_) WritePending();
      if (pending_ == 0 && n > length_ && batches()) {
        // Whole records that further bytes follow, straight from the bytes.
        const std::size_t records = (n - 1) / length_;
        PutFull(bytes, records);
        bytes += records * length_;
        n -= records * length_;
      }
      const std::size_t k = std::min(n, length_ - pending_);
      std::memcpy(pending_bytes_ + pending_, bytes, k);
      pending_ += k;
      bytes += k;
      n -= k;
    }
  }
  void EndOfModule(uint32_t start) override {
    WritePending();
    End(start);
  }
  uint64_t address_limit() const override { return uint64_t{1} << address_bits_; }
  // The image's bytes as if streamed from its first address.
  void WriteImage(const Image& image) override {
    Start();
    RecordAt(image.first);
    Bytes(image.bytes.get(), image.length);
    EndOfModule(image.start);
  }

 protected:
  // One record of the `n` bytes at `p` (WideRoom(n) of them may be read).
  virtual void Put(uint32_t address, const uint8_t* p, std::size_t n) = 0;
  // Whether PutFull writes full records many at a time; it then writes
  // `count` of them from `data` on, from address_ on.
  virtual bool batches() const { return false; }
  virtual void PutFull(const uint8_t* /*data*/, std::size_t /*count*/) {}
  // The closing record, with the start address.
  virtual void End(uint32_t start) = 0;

  const std::size_t length_;  // the bytes of a full record
  const int address_bits_;
  uint32_t address_ = 0;  // of the pending record

 private:
  void WritePending() {
    if (pending_ > 0) {
      Put(address_, pending_bytes_, pending_);
      address_ += static_cast<uint32_t>(pending_);
    }
    pending_ = 0;
  }

  std::size_t pending_ = 0;
  uint8_t pending_bytes_[WideRoom(50)] = {};  // whole vectors of the longest record
};

}  // namespace trelon
