// The scanner: significant characters, line counting, the character sum and
// the field readers.
#include <gtest/gtest.h>

#include "reader/scanner.hpp"
#include "test_support.hpp"

namespace trelon::test {
namespace {

std::string Significant(const std::string& text, int count, RunState* out = nullptr) {
  MemoryRun r(text);
  std::string seen;
  for (int i = 0; i < count; ++i) {
    NextChar(r.s);
    seen += static_cast<char>(r.s.actch);
  }
  if (out != nullptr) {
    out->linecount = r.s.linecount;
    out->checkin = r.s.checkin;
  }
  return seen;
}

TEST(Scanner, SkipsControlAndHighBytesButCountsLineFeeds) {
  RunState st;
  EXPECT_EQ(Significant("A\r\nB\t\x01\x80\xff C\x7f", 5, &st), "AB C\x7f");
  EXPECT_EQ(st.linecount, 2);
}

TEST(Scanner, CharacterSumIsModulo128OfSignificantCharactersOnly) {
  RunState st;
  Significant("A\r\nB", 2, &st);
  EXPECT_EQ(st.checkin, (0x41 + 0x42) & 0x7F);
  Significant("\xc1\xc2~~", 2, &st);
  EXPECT_EQ(st.checkin, (0x7E * 2) & 0x7F);
}

TEST(Scanner, EndOfInputIsError9BetweenCommandsAnd6Inside) {
  std::string ten;
  for (int i = 0; i < 10; ++i) ten += "\n";
  MemoryRun a("AB" + ten);
  NextChar(a.s);
  NextChar(a.s);
  EXPECT_EQ(a.Try([&] { NextChar(a.s); }), 9);
  EXPECT_EQ(a.s.linecount, 11);
  EXPECT_EQ(a.s.endfile, 1);
  MemoryRun b("X");
  NextChar(b.s);
  b.s.command = 1;
  EXPECT_EQ(b.Try([&] { NextChar(b.s); }), 6);
  MemoryRun empty("");
  EXPECT_EQ(empty.Try([&] { NextChar(empty.s); }), 9);
}

TEST(Scanner, GetAddReadsUpToEightUpperCaseDigits) {
  struct Case {
    const char* text;
    uint32_t value;
    char stop;
  };
  for (const Case& c : {Case{",12\n34.", 0x1234, '.'}, Case{",FFFFFFFF.", 0xFFFFFFFF, '.'},
                        Case{",.", 0, '.'}, Case{",1f.", 1, 'f'}, Case{",0000000A.", 10, '.'}}) {
    MemoryRun r(c.text);
    NextChar(r.s);
    ASSERT_EQ(r.Try([&] { GetAdd(r.s); }), -1) << c.text;
    EXPECT_EQ(r.s.address, c.value) << c.text;
    EXPECT_EQ(r.s.actch, c.stop) << c.text;
  }
  MemoryRun nine(",123456789.");
  NextChar(nine.s);
  EXPECT_EQ(nine.Try([&] { GetAdd(nine.s); }), 7);
  EXPECT_EQ(nine.s.actch, '9');
}

TEST(Scanner, GetAddScalesThenMasksThenOffsets) {
  auto read = [](const char* text, int32_t mau, int32_t filter, uint32_t mask, int32_t addval,
                 uint32_t offset) {
    MemoryRun r(text);
    r.s.bytespmau = mau;
    r.s.filter = filter;
    r.s.filterad = mask;
    r.s.addval = addval;
    r.s.addad = offset;
    NextChar(r.s);
    GetAdd(r.s);
    return r.s.address;
  };
  EXPECT_EQ(read(",8000.", 2, 0, 0, 0, 0), 0x10000u);
  EXPECT_EQ(read(",8000.", 2, 1, 0xFFFF, 0, 0), 0u);
  EXPECT_EQ(read(",8000.", 2, 1, 0xFFFF, 1, 0x20), 0x20u);
  EXPECT_EQ(read(",FFFFFFFF.", 1, 0, 0, 1, 1), 0u);
  EXPECT_EQ(read(",80000000.", 4, 0, 0, 0, 0), 0u);  // wraps modulo 2^32
}

TEST(Scanner, HexDigitsAreUpperCaseOnly) {
  MemoryRun r("a");
  NextChar(r.s);
  EXPECT_EQ(HexNumber(r.s), 0);
  EXPECT_EQ(r.Try([&] { DigitHex(r.s); }), 0);
  MemoryRun f("F");
  NextChar(f.s);
  EXPECT_EQ(HexNumber(f.s), 1);
  EXPECT_EQ(f.s.actnum, 15);
}

TEST(Scanner, TestDotAdvancesOnlyWhenAsked) {
  MemoryRun r("..x");
  NextChar(r.s);
  EXPECT_EQ(r.Try([&] { TestDot(r.s, 0); }), -1);
  EXPECT_EQ(r.Try([&] { TestDot(r.s, 1); }), -1);
  EXPECT_EQ(r.Try([&] { TestDot(r.s, 1); }), 3);
}

TEST(Scanner, TextFields) {
  MemoryRun a("Mabc,def.");
  NextChar(a.s);
  ShowString(a.s, 0);
  EXPECT_EQ(a.s.actch, ',');
  MemoryRun b("Mabc,def.");
  NextChar(b.s);
  ShowString(b.s, 1);
  EXPECT_EQ(b.s.actch, '.');
  EXPECT_EQ(a.Console(), "abc");
  EXPECT_EQ(b.Console(), "abc,def");

  MemoryRun c("03A\nBC.");
  CharString(c.s);
  EXPECT_EQ(c.Console(), "ABC");
  EXPECT_EQ(c.s.linecount, 2);
  MemoryRun zero("00.");
  CharString(zero.s);
  EXPECT_EQ(zero.Console(), "");
  EXPECT_EQ(zero.s.actch, '0');
  MemoryRun bad("0G");
  EXPECT_EQ(bad.Try([&] { CharString(bad.s); }), 0);
}

}  // namespace
}  // namespace trelon::test
