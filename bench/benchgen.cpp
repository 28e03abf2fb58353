// Writes the benchmark's inputs: one MUFOM module and the same payload as an
// Intel Hex file, so that the converter and the usual hex tools can be timed
// on the same data.
//
//   trelon_benchgen [--image | --window BYTES] [--payload BYTES] [--lf] [--seed N]
//                   out.muf out.hex
//
// Default (streamed) layout: several sections of at least 0x20000 bytes each,
// every section a run of blocks separated by small gaps; addresses only ever
// go up, so the module also suits the contiguous raw and hex text outputs.
// --image: one section of 0x1FFFF bytes at address 0, the largest window the
// converter's image holds, with small gaps, for the whole-image formats.
// --window BYTES: the same with a smaller window (0xFFFF keeps every address
// within 16 bits, which the PDP-11 tools need).
//
// On success prints one line "payload=N span=N muf=N hex=N lines=N" (bytes of
// data, bytes from the lowest to one past the highest address, file sizes,
// LD lines) for the benchmark script.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Small, fast and deterministic: the same seed gives the same files.
struct Rng {
  uint64_t x;
  uint64_t Next() {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
};

// An output file written through a large buffer.
class Sink {
 public:
  explicit Sink(const char* name) : name_(name), file_(std::fopen(name, "wb")) {
    if (file_ == nullptr) Fail("cannot create");
    buf_.reserve(kChunk + 4096);
  }
  ~Sink() {
    if (file_ != nullptr) std::fclose(file_);
  }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void Put(const char* p, std::size_t n) {
    buf_.append(p, n);
    if (buf_.size() >= kChunk) Flush();
  }
  void Put(const std::string& t) { Put(t.data(), t.size()); }
  std::string& Buf() { return buf_; }
  void MaybeFlush() {
    if (buf_.size() >= kChunk) Flush();
  }
  void Close() {
    Flush();
    if (std::fclose(file_) != 0) Fail("cannot write");
    file_ = nullptr;
  }
  uint64_t Written() const { return written_ + buf_.size(); }

 private:
  static constexpr std::size_t kChunk = 1 << 20;
  void Flush() {
    if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), file_) != buf_.size()) Fail("cannot write");
    written_ += buf_.size();
    buf_.clear();
  }
  [[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "trelon_benchgen: %s %s\n", what, name_);
    std::exit(1);
  }
  const char* name_;
  std::FILE* file_;
  std::string buf_;
  uint64_t written_ = 0;
};

std::string HexNum(uint32_t v) {
  char t[16];
  std::snprintf(t, sizeof t, "%X", v);
  return t;
}

// The module text. Keeps the running character sum that a CS command checks:
// every significant character (0x20..0x7F) since the start or since the "."
// of the previous CS, up to and including the "S" of CS, modulo 128.
class MufWriter {
 public:
  MufWriter(const char* name, bool crlf) : out_(name), eol_(crlf ? "\r\n" : "\n") {}

  // One command, then a line end.
  void Line(const std::string& text) {
    for (unsigned char c : text) sum_ += c;
    out_.Put(text);
    out_.Put(eol_, std::strlen(eol_));
  }

  // LD with the given data bytes, hex digits written straight into the buffer.
  void Load(const uint8_t* p, std::size_t n) {
    std::string& b = out_.Buf();
    const std::size_t at = b.size();
    b.resize(at + 3 + 2 * n);
    char* q = b.data() + at;
    *q++ = 'L';
    *q++ = 'D';
    for (std::size_t i = 0; i < n; ++i) {
      *q++ = kHex[p[i] >> 4];
      *q++ = kHex[p[i] & 0xF];
    }
    *q++ = '.';
    for (std::size_t i = at; i < b.size(); ++i) sum_ += static_cast<unsigned char>(b[i]);
    b.append(eol_);
    out_.MaybeFlush();
  }

  // A CS carrying the sum so far; the next sum starts after its ".".
  void Checksum() {
    sum_ += 'C' + 'S';
    const unsigned v = sum_ & 0x7F;
    const char text[] = {'C', 'S', kHex[v >> 4], kHex[v & 0xF], '.', '\0'};
    out_.Put(text, 5);
    out_.Put(eol_, std::strlen(eol_));
    sum_ = 0;
  }

  void Close() { out_.Close(); }
  uint64_t Size() const { return out_.Written(); }

 private:
  Sink out_;
  const char* eol_;
  unsigned sum_ = 0;
};

// Intel Hex with 32-byte data records, extended linear address records for
// addresses above 64 KiB, and an end record; CR LF line ends.
class HexWriter {
 public:
  explicit HexWriter(const char* name) : out_(name) {}

  // Data collect into full 32-byte records, as a linker would write them; a
  // record ends early only where the addresses break or at a 64 KiB boundary.
  void Data(uint32_t address, const uint8_t* p, std::size_t n) {
    if (pending_ > 0 && address != start_ + pending_) Emit();
    for (std::size_t i = 0; i < n; ++i) {
      if (pending_ == 0) start_ = address + static_cast<uint32_t>(i);
      record_[pending_++] = p[i];
      if (pending_ == 32 || ((start_ + pending_) & 0xFFFF) == 0) Emit();
    }
  }
  void End() {
    if (pending_ > 0) Emit();
    Record(0, 1, nullptr, 0);
  }
  void Close() { out_.Close(); }
  uint64_t Size() const { return out_.Written(); }

 private:
  void Record(uint16_t address, uint8_t type, const uint8_t* p, std::size_t n) {
    char line[1 + 2 * (4 + 32 + 1) + 2];
    char* q = line;
    unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFF) + type;
    auto put = [&q](uint8_t b) {
      *q++ = kHex[b >> 4];
      *q++ = kHex[b & 0xF];
    };
    *q++ = ':';
    put(static_cast<uint8_t>(n));
    put(static_cast<uint8_t>(address >> 8));
    put(static_cast<uint8_t>(address));
    put(type);
    for (std::size_t i = 0; i < n; ++i) {
      put(p[i]);
      sum += p[i];
    }
    put(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    *q++ = '\r';
    *q++ = '\n';
    out_.Put(line, static_cast<std::size_t>(q - line));
  }
  void Emit() {
    if ((start_ >> 16) != upper_) {
      upper_ = start_ >> 16;
      const uint8_t ela[] = {static_cast<uint8_t>(upper_ >> 8), static_cast<uint8_t>(upper_)};
      Record(0, 4, ela, 2);
    }
    Record(static_cast<uint16_t>(start_), 0, record_, pending_);
    pending_ = 0;
  }
  Sink out_;
  uint32_t upper_ = 0;
  uint32_t start_ = 0;
  std::size_t pending_ = 0;
  uint8_t record_[32];
};

struct Block {
  uint32_t address;
  uint32_t length;
};

struct Section {
  uint32_t base;
  uint32_t size;
  std::vector<Block> blocks;
};

// Streamed layout: `count` sections of about payload / count bytes each, in
// blocks of 256 KiB apart by gaps of 16 to 4096 bytes; sections start on a
// 4 KiB boundary at least 4 KiB after the previous one.
std::vector<Section> StreamLayout(uint64_t payload, Rng& rng) {
  const uint64_t min_section = 0x20000;  // the size that makes raw and hex text stream
  uint64_t count = payload / min_section;
  if (count > 4) count = 4;
  if (count == 0) count = 1;
  std::vector<Section> sections;
  uint64_t address = 0;
  uint64_t left = payload;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t share = i + 1 == count ? left : payload / count;
    left -= share;
    Section sec;
    sec.base = static_cast<uint32_t>(address);
    while (share > 0) {
      const uint64_t n = share < 0x40000 ? share : 0x40000;
      sec.blocks.push_back({static_cast<uint32_t>(address), static_cast<uint32_t>(n)});
      address += n;
      share -= n;
      if (share > 0) address += 16 + rng.Below(4081);
    }
    sec.size = static_cast<uint32_t>(address - sec.base);
    sections.push_back(sec);
    address = (address + 0x1000 + 0xFFF) & ~uint64_t{0xFFF};
    if (address > 0xF0000000u) {
      std::fprintf(stderr, "trelon_benchgen: payload too large for 32-bit addresses\n");
      std::exit(2);
    }
  }
  return sections;
}

// Image layout: one section of `window` bytes at 0, blocks of 4 to 16 KiB with
// gaps of 16 to 256 bytes, the last block ending at the window's last byte.
std::vector<Section> ImageLayout(uint32_t window, Rng& rng) {
  const uint32_t kWindow = window;
  Section sec{0, kWindow, {}};
  uint32_t address = 0;
  while (address < kWindow) {
    uint32_t n = 4096 + rng.Below(12289);
    if (n > kWindow - address) n = kWindow - address;
    sec.blocks.push_back({address, n});
    address += n;
    if (address < kWindow) {
      const uint32_t gap = 16 + rng.Below(241);
      address = address + gap < kWindow ? address + gap : kWindow;
    }
  }
  return {sec};
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: trelon_benchgen [--image | --window BYTES] [--payload BYTES] [--lf] [--seed N] "
               "out.muf out.hex\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  bool image = false, crlf = true;
  uint64_t window = 0x1FFFF;
  uint64_t payload = 64ull << 20;
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--image") {
      image = true;
    } else if (a == "--lf") {
      crlf = false;
    } else if ((a == "--payload" || a == "--seed" || a == "--window") && i + 1 < argc) {
      char* end = nullptr;
      const uint64_t v = std::strtoull(argv[++i], &end, 0);
      if (end == nullptr || *end != '\0') Usage();
      (a == "--payload" ? payload : a == "--seed" ? seed : window) = v;
      if (a == "--window") image = true;
    } else if (!a.empty() && a[0] == '-') {
      Usage();
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.size() != 2 || seed == 0 || (!image && payload == 0) || window == 0 || window > 0x1FFFF) Usage();

  Rng layout_rng{seed};
  const std::vector<Section> sections = image ? ImageLayout(static_cast<uint32_t>(window), layout_rng) : StreamLayout(payload, layout_rng);

  MufWriter muf(files[0], crlf);
  HexWriter hex(files[1]);
  muf.Line("MB68000,05BENCH.");
  muf.Line("AD8,4,M.");
  muf.Line("DT20240101120000.");
  // The converter keeps one window, re-based by every ASL: declaring the
  // sections from the highest down leaves it on the lowest, where the data
  // begin, so the loads only ever move upward.
  for (std::size_t i = sections.size(); i-- > 0;) {
    muf.Line("ASL" + std::to_string(i) + "," + HexNum(sections[i].base) + ".");
    muf.Line("ASS" + std::to_string(i) + "," + HexNum(sections[i].size) + ".");
  }
  muf.Line("ASG," + HexNum(sections[0].base) + ".");
  muf.Checksum();

  Rng data_rng{seed * 0x2545F4914F6CDD1Dull | 1};
  uint8_t bytes[64];
  uint64_t total = 0, lines = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    muf.Line("SB" + std::to_string(i) + ".");
    for (const Block& b : sections[i].blocks) {
      muf.Line("ASP" + std::to_string(i) + "," + HexNum(b.address) + ".");
      uint32_t address = b.address;
      uint32_t left = b.length;
      while (left > 0) {
        uint32_t n = 32 + data_rng.Below(33);  // 32 to 64 bytes an LD
        if (n > left) n = left;
        for (uint32_t k = 0; k < n; k += 8) {
          const uint64_t r = data_rng.Next();
          std::memcpy(bytes + k, &r, 8);
        }
        muf.Load(bytes, n);
        hex.Data(address, bytes, n);
        address += n;
        left -= n;
        total += n;
        if (++lines % 256 == 0) muf.Checksum();
      }
    }
  }
  muf.Checksum();
  muf.Line("ME.");
  hex.End();
  muf.Close();
  hex.Close();

  const uint64_t span = static_cast<uint64_t>(sections.back().base) + sections.back().size - sections[0].base;
  std::printf("payload=%llu span=%llu muf=%llu hex=%llu lines=%llu\n", static_cast<unsigned long long>(total),
              static_cast<unsigned long long>(span), static_cast<unsigned long long>(muf.Size()),
              static_cast<unsigned long long>(hex.Size()), static_cast<unsigned long long>(lines));
  return 0;
}
