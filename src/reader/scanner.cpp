#include "reader/scanner.hpp"

namespace trelon {

void EndOfInput(RunState& s) {
  s.endfile = 1;
  MufomErr(s, s.command != 0 ? 6 : 9);
}

int GetHexByte(RunState& s) {
  NextChar(s);
  int high = DigitHex(s);
  NextChar(s);
  int low = DigitHex(s);
  return high * 16 + low;
}

void GetAdd(RunState& s) {
  uint32_t value = 0;
  int digits = 0;
  NextChar(s);
  while (HexNumber(s)) {
    if (++digits > 8) MufomErr(s, 7);
    value = value * 16 + static_cast<uint32_t>(s.actnum);
    NextChar(s);
  }
  if (s.bytespmau > 1) value *= static_cast<uint32_t>(s.bytespmau);
  if (s.filter != 0) value &= s.filterad;
  if (s.addval != 0) value += s.addad;
  s.address = value;
}

void TestDot(RunState& s, int advance) {
  if (advance != 0) NextChar(s);
  if (s.actch != '.') MufomErr(s, 3);
}

void ShowString(RunState& s, int commas) {
  NextChar(s);
  for (;;) {
    if (commas == 0 && s.actch == ',') return;
    if (s.actch == '.') return;
    SayChar(s, s.actch);
    NextChar(s);
  }
}

void CharString(RunState& s) {
  int length = GetHexByte(s);
  for (int i = 0; i < length; ++i) {
    NextChar(s);
    SayChar(s, s.actch);
  }
}

}  // namespace trelon
