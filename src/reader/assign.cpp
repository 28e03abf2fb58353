#include <cstring>

#include "reader/reader.hpp"
#include "reader/scanner.hpp"
#include "writers/writers.hpp"

namespace trelon {

namespace {

void StartAddress(RunState& s) {
  NextChar(s);  // the "," (not checked)
  GetAdd(s);
  TestDot(s, 0);
  Say(s, "\nStart address:         %4.4X", s.address);
  s.startad = s.address;
}

void LowestAddress(RunState& s) {
  Say(s, "\nLowest address:        ");
  ShowString(s, 0);
  Say(s, ", ");
  GetAdd(s);
  TestDot(s, 0);
  Say(s, "%4.4X", s.address);
  if (s.unfill != 0) RecordAt(s, s.address);
  s.loadaddi = 0;
  s.minadd = s.maxadd = s.loadadd = s.address;
  s.empty = 0;
}

void SectionSize(RunState& s) {
  Say(s, "\nSize:                  ");
  ShowString(s, 0);
  Say(s, ", ");
  const int32_t filter = s.filter, addval = s.addval;
  s.filter = s.addval = 0;
  GetAdd(s);
  s.filter = filter;
  s.addval = addval;
  TestDot(s, 0);
  uint32_t size = s.address;
  if (s.filter != 0) size = s.filterad + 1;
  Say(s, "%8.8X", size);
  if (size < static_cast<uint32_t>(s.imagesize)) {
    s.muflength = static_cast<int32_t>(size);
  } else if (s.unfill != 0) {
    s.muflength = static_cast<int32_t>(size);
  } else if ((s.binoutput != 0 || s.hexoutput != 0) && s.head256 == 0) {
    EndBlock(s);
    s.contiguous = 1;
    Say(s, "Binary must be contiguous, because binary is longer than internal buffer.\n");
  } else {
    MufomErr(s, 4);
  }
  s.maxadd = s.minadd + size;
}

void LoadPosition(RunState& s) {
  do {
    NextChar(s);
  } while (s.actch != ',');
  GetAdd(s);
  TestDot(s, 0);
  const uint32_t address = s.address;

  if (s.unfill != 0) return RecordAt(s, address);
  if (s.contiguous != 0) {
    if (address < s.loadadd) MufomErr(s, 10);
    StreamFill(s, address - s.loadadd);
    s.loadadd = address;
    return;
  }
  const auto imagesize = static_cast<uint32_t>(s.imagesize);
  if (address < s.minadd) {
    // Data goes below the window: move what is there up.
    const uint32_t length = s.maxadd - address;
    if (length >= imagesize) MufomErr(s, 4);
    if (length < static_cast<uint32_t>(s.muflength)) MufomErr(s, 4);
    const uint32_t shift = length - static_cast<uint32_t>(s.muflength);
    std::memmove(s.image.get() + shift, s.image.get(), static_cast<std::size_t>(s.muflength));
    std::memset(s.image.get(), s.FillByte(), shift);
    s.minadd = address;
    s.muflength = static_cast<int32_t>(length);
  }
  if (address > s.maxadd) {
    const uint32_t length = address - s.minadd;
    if (length >= imagesize) MufomErr(s, 4);
    s.maxadd = address;
    s.muflength = static_cast<int32_t>(length);
  }
  s.loadaddi = static_cast<int32_t>(address - s.minadd);
}

}  // namespace

void MufAs(RunState& s) {
  NextChar(s);
  switch (s.actch) {
    case 'G': StartAddress(s); break;
    case 'L': LowestAddress(s); break;
    case 'P': LoadPosition(s); break;
    case 'S': SectionSize(s); break;
    default: MufomErr(s, 3);
  }
}

}  // namespace trelon
