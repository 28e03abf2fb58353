// The scanner: significant characters of the module text, with the line
// count and the running character sum, and the readers of command fields.
#pragma once

#include "io/hex.hpp"
#include "io/input.hpp"
#include "io/output.hpp"
#include "reader/reader.hpp"
#include "run_state.hpp"

namespace trelon {

// Reports the end of the input: error 6 inside a command, 9 between commands.
[[noreturn]] void EndOfInput(RunState& s);

// Advances to the next significant character (0x20..0x7F).
inline void NextChar(RunState& s) {
  for (;;) {
    int c;
    if (s.inpos != s.inend) {
      c = *s.inpos++;
    } else {
      if (EndIn(s)) EndOfInput(s);
      c = CharIn(s);
    }
    if (c == '\n') ++s.linecount;
    if (!Significant(static_cast<uint8_t>(c))) continue;
    const auto ch = static_cast<int8_t>(c);
    s.actch = ch;
    s.checkin = (s.checkin + ch) & 0x7F;
    return;
  }
}

inline uint8_t Cur(const RunState& s) { return static_cast<uint8_t>(s.actch); }

inline int Digit(RunState& s) {
  if (s.actch >= '0' && s.actch <= '9') {
    s.actnum = s.actch - '0';
    return 1;
  }
  return 0;
}

inline int HexNumber(RunState& s) {
  int v = kHexValue.of[Cur(s)];
  if (v < 0) return 0;
  s.actnum = v;
  return 1;
}

inline int DigitHex(RunState& s) {
  int v = kHexValue.of[Cur(s)];
  if (v < 0) MufomErr(s, 0);
  return v;
}

int GetHexByte(RunState& s);
void GetAdd(RunState& s);
void TestDot(RunState& s, int advance);
void ShowString(RunState& s, int commas);
void CharString(RunState& s);

}  // namespace trelon
