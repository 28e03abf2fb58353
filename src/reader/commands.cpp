#include <algorithm>
#include <cstring>
#include <iterator>

#include "io/hex.hpp"
#include "reader/reader.hpp"
#include "reader/scanner.hpp"
#include "writers/writers.hpp"

namespace trelon {

namespace {

// LD bytes into the image.
void PlaceImageBytes(RunState& s, const uint8_t* bytes, std::size_t n) {
  // A byte that would land outside the image is refused at its own line.
  if (static_cast<uint64_t>(static_cast<uint32_t>(s.loadaddi)) + n > static_cast<uint64_t>(s.imagesize))
    MufomErr(s, 4);
  std::memcpy(s.image.get() + s.loadaddi, bytes, n);
  s.loadaddi += static_cast<int32_t>(n);
}

// The data bytes of one LD command, and of the LD commands that follow it
// line after line while the input buffer holds them. Runs of whole bytes are
// decoded straight from the input buffer (hex digits are always significant,
// so nothing is skipped there and the line count changes only where a line
// ends as usual); everything else goes through NextChar one character at a
// time. Records and the stream take the bytes of many lines at once (neither
// refers to the line); the image takes no more than it has room for, so that
// a byte that would not fit is refused at its own line.
void LoadBytes(RunState& s) {
  uint8_t run[4096];
  const auto place = [&s](const uint8_t* bytes, std::size_t n) {
    if (s.unfill != 0) return RecordBytes(s, bytes, n);
    if (s.contiguous == 0) return PlaceImageBytes(s, bytes, n);
    StreamBytes(s, bytes, n);
    s.loadadd += static_cast<uint32_t>(n);
  };
  for (;;) {
    for (;;) {
      const uint8_t* p = s.inpos;
      const auto at = static_cast<uint32_t>(s.loadaddi), size = static_cast<uint32_t>(s.imagesize);
      const std::size_t room = s.unfill != 0 || s.contiguous != 0 ? 4096 : at < size ? std::min(size - at, 4096u) : 0;
      const Taken t = DecodeHexRuns(p, s.inend, run, room);
      if (p == s.inpos) break;
      s.actch = static_cast<int8_t>(p[-1]);
      s.checkin = static_cast<int32_t>((static_cast<uint32_t>(s.checkin) + t.sum) & 0x7F);
      s.linecount += t.lines;
      s.inpos = p;
      if (t.bytes > 0) place(run, t.bytes);
      if (t.bytes < room) break;  // a character other than a digit, or the buffer's end
    }
    NextChar(s);
    if (!HexNumber(s)) {
      if (s.actch != '.') MufomErr(s, 3);
      return;
    }
    const int high = s.actnum;
    NextChar(s);
    const auto b = static_cast<uint8_t>(high * 16 + DigitHex(s));
    place(&b, 1);
  }
}

void ModuleBegin(RunState& s) {
  Say(s, "\nModule begin:          ");
  ShowString(s, 0);
  Say(s, ", ");
  if (s.actch != '.') {
    CharString(s);
    TestDot(s, 1);
  }
}

void ModuleEnd(RunState& s) {
  s.endfile = 1;
  TestDot(s, 1);
  Say(s, "\nModule End");
}

void DateTime(RunState& s) {
  Say(s, "\nDate and time:         ");
  ShowString(s, 0);
  TestDot(s, 0);
}

void AddressDescriptor(RunState& s) {
  Say(s, "\nBits per MAU:          ");
  NextChar(s);
  int32_t bits = 0;
  while (Digit(s)) {
    bits = static_cast<int32_t>(static_cast<uint32_t>(bits) * 10u + static_cast<uint32_t>(s.actnum));
    NextChar(s);
  }
  Say(s, "%d", bits);
  if (bits == 0 || bits % 8 != 0) MufomErr(s, 8);
  s.bytespmau = bits / 8;
  if (s.actch == ',') {
    Say(s, "\nMAUs per address:      ");
    ShowString(s, 0);
    if (s.actch == ',') {
      Say(s, "\nByte order:            ");
      ShowString(s, 0);
    }
  }
  TestDot(s, 0);
}

void Checksum(RunState& s) {
  const int32_t expected = s.checkin;
  NextChar(s);
  if (s.actch == '.') {
    s.checkin = 0;
    return;
  }
  int32_t given = DigitHex(s) * 16;
  NextChar(s);
  given += DigitHex(s);
  if (given != expected) {
    PrintOut(s, "%2.2X", static_cast<unsigned>(expected));
    MufomErr(s, 2);
  }
  NextChar(s);
  if (s.actch != '.') MufomErr(s, 3);
  s.checkin = 0;
}

void Comment(RunState& s) {
  Say(s, "\nComment:               ");
  ShowString(s, 0);
  Say(s, ", ");
  CharString(s);
  TestDot(s, 1);
}

void SectionText(RunState& s, const char* label) {
  Say(s, "%s", label);
  ShowString(s, 1);
  TestDot(s, 0);
}

// Every command, by its two letters.
constexpr struct {
  char first, second;
  void (*run)(RunState&);
} kCommands[] = {
      {'A', 'D', AddressDescriptor},
      {'A', 'S', MufAs},
      {'C', 'S', Checksum},
      {'C', 'O', Comment},
      {'D', 'T', DateTime},
      {'L', 'D', LoadBytes},
      {'M', 'B', ModuleBegin},
      {'M', 'E', ModuleEnd},
      {'S', 'A', [](RunState& r) { SectionText(r, "\nSection alignment:     "); }},
      {'S', 'B', [](RunState& r) { SectionText(r, "\nSection begin:         "); }},
      {'S', 'T', [](RunState& r) { SectionText(r, "\nSection type:          "); }},
};

// Carries out the command whose first letter is current.
void Command(RunState& s) {
  const char first = s.actch;
  NextChar(s);
  for (const auto& command : kCommands)
    if (command.first == first && command.second == s.actch) return command.run(s);
  MufomErr(s, 3);
}

}  // namespace

void Convert(RunState& s) {
  s.checkin = 0;
  StartWriting(s);
  Say(s, "\n");
  while (s.endfile == 0) {
    NextChar(s);
    if (std::none_of(std::begin(kCommands), std::end(kCommands), [&s](const auto& c) { return c.first == s.actch; }))
      MufomErr(s, 6);
    s.command = 1;
    Command(s);
    s.command = 0;
  }
  FinishWriting(s);
}

bool IsCommand(char first, char second) {
  return std::any_of(std::begin(kCommands), std::end(kCommands),
                     [=](const auto& c) { return c.first == first && c.second == second; });
}

}  // namespace trelon
