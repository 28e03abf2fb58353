// Writes the benchmark's module: `payload` random bytes in up to 4 sections of
// at least 0x20000 bytes (so /B and /H stream), each a run of 256 KiB blocks
// with gaps of 16 to 4096 bytes, addresses only going up; an LD of 32 to 64
// bytes a line, CR LF, a CS after every 256 LD lines. The same seed gives the
// same file.
//
//   trelon_benchgen [--payload BYTES] out.muf
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

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

struct Block {
  uint32_t address, length;
};

struct Section {
  uint32_t base = 0, size = 0;
  std::vector<Block> blocks;
};

std::string text;  // the module, written out in pieces
unsigned sum = 0;  // significant characters since the last CS, as CS checks them
std::FILE* out = nullptr;

void Line(const std::string& command) {
  for (unsigned char c : command) sum += c;
  text += command + "\r\n";
  if (text.size() >= (1u << 20)) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) std::exit(1);
    text.clear();
  }
}

void Checksum() {
  sum += 'C' + 'S';
  const unsigned v = sum & 0x7F;
  text += std::string("CS") + kHex[v >> 4] + kHex[v & 0xF] + ".\r\n";
  sum = 0;
}

std::string Hex(uint32_t v) {
  char t[16];
  std::snprintf(t, sizeof t, "%X", v);
  return t;
}

std::vector<Section> Layout(uint64_t payload, Rng& rng) {
  uint64_t count = payload / 0x20000;
  count = count > 4 ? 4 : count == 0 ? 1 : count;
  std::vector<Section> sections(count);
  uint64_t address = 0, left = payload;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t share = i + 1 == count ? left : payload / count;
    left -= share;
    Section& sec = sections[i];
    sec.base = static_cast<uint32_t>(address);
    while (share > 0) {
      const uint64_t n = share < 0x40000 ? share : 0x40000;
      sec.blocks.push_back({static_cast<uint32_t>(address), static_cast<uint32_t>(n)});
      address += n;
      share -= n;
      if (share > 0) address += 16 + rng.Below(4081);
    }
    sec.size = static_cast<uint32_t>(address - sec.base);
    address = (address + 0x1FFF) & ~uint64_t{0xFFF};
    if (address > 0xF0000000u) std::exit(2);
  }
  return sections;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t payload = 64ull << 20;
  if (argc == 4 && std::strcmp(argv[1], "--payload") == 0) payload = std::strtoull(argv[2], nullptr, 0);
  if ((argc != 2 && argc != 4) || payload == 0 || (out = std::fopen(argv[argc - 1], "wb")) == nullptr) {
    std::fprintf(stderr, "usage: trelon_benchgen [--payload BYTES] out.muf\n");
    return 2;
  }
  const uint64_t seed = 0x9E3779B97F4A7C15ull;
  Rng layout_rng{seed}, data_rng{seed * 0x2545F4914F6CDD1Dull | 1};
  const std::vector<Section> sections = Layout(payload, layout_rng);
  Line("MB68000,05BENCH.");
  Line("AD8,4,M.");
  Line("DT20240101120000.");
  // Declared from the highest section down, which leaves the converter's
  // window on the lowest, where the loads begin.
  for (std::size_t i = sections.size(); i-- > 0;) {
    Line("ASL" + std::to_string(i) + "," + Hex(sections[i].base) + ".");
    Line("ASS" + std::to_string(i) + "," + Hex(sections[i].size) + ".");
  }
  Line("ASG," + Hex(sections[0].base) + ".");
  Checksum();
  uint64_t lines = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    Line("SB" + std::to_string(i) + ".");
    for (const Block& b : sections[i].blocks) {
      Line("ASP" + std::to_string(i) + "," + Hex(b.address) + ".");
      for (uint32_t left = b.length; left > 0;) {
        const uint32_t n = std::min<uint32_t>(32 + data_rng.Below(33), left);
        std::string ld = "LD";
        for (uint32_t k = 0; k < n; k += 8) {
          const uint64_t r = data_rng.Next();
          for (uint32_t j = 0; j < 8 && k + j < n; ++j) {
            const auto byte = static_cast<uint8_t>(r >> (8 * j));
            ld += kHex[byte >> 4];
            ld += kHex[byte & 0xF];
          }
        }
        Line(ld + ".");
        left -= n;
        if (++lines % 256 == 0) Checksum();
      }
    }
  }
  Checksum();
  Line("ME.");
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) return 1;
  return 0;
}
