#include <algorithm>
#include <iterator>

#include "writers/writers.hpp"

namespace trelon {

namespace {

// Values are computed as 32-bit signed numbers that wrap, like the header
// fields they end up in; only their low 16 bits are stored.
int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

}  // namespace

void GenExe(RunState& s) {
  if (s.minadd != 0) {
    Tell(s, "Load address <> 0! Use .LOC 0\n");
    s.refused = 1;
    return;
  }
  const int32_t paragraphs = Wrap32((static_cast<int64_t>(s.muflength) + 15) / 16);
  const int32_t load_module = Wrap32(static_cast<int64_t>(paragraphs) + (s.typexe == 1 ? s.stack_size : 0));
  const int32_t file_paragraphs = Wrap32(static_cast<int64_t>(load_module) + 32);
  int32_t extra = 0;
  if (s.typexe == 2) extra = Wrap32(static_cast<int64_t>(s.data_size) + s.stack_size);
  if (s.typexe == 3) extra = s.stack_size;

  const uint32_t last_page = static_cast<uint32_t>(Wrap32(static_cast<int64_t>(file_paragraphs % 32) * 16));
  const uint32_t pages = static_cast<uint32_t>(Wrap32((static_cast<int64_t>(file_paragraphs) + 31) / 32));
  const uint32_t ss = s.typexe == 1 ? 0 : static_cast<uint32_t>(paragraphs);
  const uint32_t sp = static_cast<uint32_t>(Wrap32(static_cast<int64_t>(s.stack_size) * 16));
  const uint32_t cs = s.typexe == 1 ? static_cast<uint32_t>(s.stack_size) : 0;
  const uint32_t ip = s.startad;

  for (const uint32_t field : {last_page, pages, static_cast<uint32_t>(extra), ss, sp, cs, ip})
    Holds(s, "header value", field, 16);
  s.data.fill(0);
  // "MZ", then the header's words from offset 2 on: no relocations, a
  // header of 32 paragraphs, no checksum, the relocation table at 32.
  s.data[0] = 'M';
  s.data[1] = 'Z';
  const uint32_t words[] = {last_page, pages, 0, 32, static_cast<uint32_t>(extra), static_cast<uint32_t>(extra),
                            ss, sp, 0, ip, cs, 32};
  for (std::size_t i = 0; i < std::size(words); ++i) PutLe(&s.data[2 + 2 * i], words[i]);

  Say(s, "Number of bytes in the last page (= 512 bytes): 16'%4.4X\n", last_page & 0xFFFF);
  Say(s, "Size of .EXE (pages incl. header):              16'%4.4X\n", pages & 0xFFFF);
  Say(s, "Header size (x16 bytes):                        16'%4.4X\n", 32u);
  Say(s, "MinAlloc=MaxAlloc (x16 bytes):                  16'%4.4X\n", static_cast<uint32_t>(extra) & 0xFFFF);
  Say(s, "SS:SP :                                         16'%4.4X:%4.4X\n", ss & 0xFFFF, sp & 0xFFFF);
  Say(s, "CS:IP :                                         16'%4.4X:%4.4X\n", cs & 0xFFFF, ip & 0xFFFF);

  WriteHeader(s, 512);
  int64_t written = 512;
  std::fill(s.data.begin(), s.data.begin() + 256, uint8_t{0});
  if (s.typexe == 1) {
    for (int64_t left = static_cast<int64_t>(s.stack_size) * 16; left > 0;) {
      const int32_t piece = static_cast<int32_t>(std::min<int64_t>(left, 256));
      WriteHeader(s, piece);
      written += piece;
      left -= piece;
    }
  }
  WriteBin(s);
  written += s.muflength;
  const int32_t padding = (16 - s.muflength % 16) % 16;
  if (padding > 0) {
    WriteHeader(s, padding);
    written += padding;
  }
  Say(s, "%d bytes written\n", Wrap32(written));
}

}  // namespace trelon
