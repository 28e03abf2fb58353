// The address assignments: the image window and its moves, the switch to
// contiguous streaming, and the records that ASP and ASL close.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace trelon::test {
namespace {

std::string Fill(int n, char c) { return std::string(static_cast<std::size_t>(n), c); }

bool Has(const Outcome& o, const std::string& text) { return o.console.find(text) != std::string::npos; }

std::string Bytes(int n, const char* hex2) {
  std::string ld = "LD";
  for (int i = 0; i < n; ++i) ld += hex2;
  return ld + ".";
}

TEST(Window, WorkedExampleMovesTheImageUp) {
  // Section 1 is loaded first at 2000; section 0 then goes below it.
  const std::string module = "ASL0,1000.ASS0,100.ASL1,2000.ASS1,80.ASP0,1000." + Bytes(0x100, "11") +
                             "ASP1,2000." + Bytes(0x80, "22") + "ME.";
  const Outcome o = RunInProcess("/BZee", module);
  ASSERT_EQ(o.output.size(), 0x1080u);
  EXPECT_EQ(o.output, Fill(0x100, '\x11') + Fill(0xF00, '\xee') + Fill(0x80, '\x22'));
  EXPECT_TRUE(Has(o, "\nFirst address:         00001000\nLast address:          00002080"
                     "\nLength:                00001080\n"));
}

TEST(Window, DataAlreadyLoadedMovesUpWithTheWindow) {
  const Outcome o = RunInProcess("/B", "ASL0,2000.ASS0,4.LDA1A2A3A4.ASP0,1FFE.LDB1.ME.");
  EXPECT_EQ(Hex(o.output), "B100A1A2A3A4");
}

TEST(Window, TheImageHoldsAtMost1FFFFBytes) {
  EXPECT_EQ(RunInProcess("/B", "ASL0,0.ASS0,1FFFF.ME.").output.size(), 0x1FFFFu);
  EXPECT_EQ(RunInProcess("/B", "ASL0,0.ASS0,1.ASP0,1FFFF.ME.").output.size(), 0x1FFFFu);
  const Outcome o = RunInProcess("/B", "ASL0,0.ASS0,1.\nASP0,20000.ME.");
  EXPECT_TRUE(Has(o, ErrorLines("Binary too long", 2)));
  EXPECT_EQ(o.output, "");
  // Going down: the new window would be 0x20000 bytes.
  EXPECT_TRUE(Has(RunInProcess("/B", "ASL0,20000.ASS0,1.ASP0,1.ME."), ErrorLines("Binary too long", 1)));
}

TEST(Window, SectionSizeThatDoesNotFit) {
  const std::string module = "ASL0,0.ASS0,20000.ME.";
  for (const char* word : {"/B", "/H"}) {
    const Outcome o = RunInProcess(word, module);
    EXPECT_TRUE(Has(o, "\nSize:                  0, 00020000Binary must be contiguous, because binary is "
                       "longer than internal buffer.\n"))
        << word;
    EXPECT_TRUE(Has(o, "\nLength:                00000000\n")) << word;
  }
  for (const char* word : {"/BH", "/HH", "/IC", "/M1C", "/PC", "/E3S1", "/T"}) {
    EXPECT_TRUE(Has(RunInProcess(word, module), ErrorLines("Binary too long", 1))) << word;
  }
  for (const char* word : {"/I", "/M3", "/P"}) {
    const Outcome o = RunInProcess(word, module);
    EXPECT_FALSE(Has(o, "Error")) << word;
    EXPECT_TRUE(Has(o, "\nLength:                00020000\n")) << word;
  }
}

TEST(Window, SectionSizeIsScaledButNeitherMaskedNorOffset) {
  Outcome o = RunInProcess("/BFffff", "ASL0,0.ASS0,5.ME.");
  EXPECT_TRUE(Has(o, "Size:                  0, 00010000\nModule End"));
  EXPECT_EQ(o.output.size(), 0x10000u);
  o = RunInProcess("/BA10", "ASL0,0.ASS0,5.ME.");
  EXPECT_TRUE(Has(o, "Lowest address:        0, 0010\nSize:                  0, 00000005"));
  o = RunInProcess("/B", "AD16.ASL0,0.ASS0,80.ME.");
  EXPECT_EQ(o.output.size(), 0x100u);
}

TEST(Window, LoadPositionAtTheWindowEndLoadsBeyondTheOutput) {
  const Outcome o = RunInProcess("/B", "ASL0,0.ASS0,2.ASP0,2.LDAABB.ME.");
  EXPECT_EQ(Hex(o.output), "0000");
  // A later ASS covering them brings them in.
  EXPECT_EQ(Hex(RunInProcess("/B", "ASL0,0.ASS0,2.ASP0,2.LDAABB.ASS0,4.ME.").output), "0000AABB");
}

TEST(Window, StartAddressIsScaledAndPrintedWithAtLeastFourDigits) {
  EXPECT_TRUE(Has(RunInProcess("/B", "ASG,12345.ME."), "\nStart address:         12345\n"));
  EXPECT_TRUE(Has(RunInProcess("/B", "AD16.ASG,12345.ME."), "\nStart address:         2468A\n"));
  EXPECT_TRUE(Has(RunInProcess("/B", "ASG,1.ME."), "\nStart address:         0001\n"));
}

TEST(Window, NoLowestAddressNoOutput) {
  const Outcome o = RunInProcess("/B", "ASS0,4.ASP0,0.LD01020304.ME.");
  EXPECT_EQ(o.output, "");
  EXPECT_FALSE(Has(o, "Write binary"));
  EXPECT_FALSE(Has(o, "First address"));
}

TEST(Window, LoadPositionSkipsItsSectionFieldUpToTheFirstComma) {
  EXPECT_EQ(Hex(RunInProcess("/B", "ASL0,0.ASS0,2.ASPxyz.. ,1.LDAA.ME.").output), "00AA");
  EXPECT_TRUE(Has(RunInProcess("/B", "ASL0,0.ASP1.ME."), ErrorLines("Illegal MUFOM format", 1)));
}

TEST(Window, LoadBytesPastTheEndOfTheImageAreRefused) {
  const Outcome o = RunInProcess("/B", "ASL0,0.ASS0,1FFFF.ASP0,1FFFE.LD0102\n03.ME.");
  EXPECT_TRUE(Has(o, ErrorLines("Binary too long", 2)));
}

TEST(Window, InconsistentWindowBelowIsRefused) {
  // After ASL following ASS the window is shorter than the length kept.
  const Outcome o = RunInProcess("/B", "ASL0,1000.ASS0,100.ASL0,2000.ASP0,1F80.ME.");
  EXPECT_TRUE(Has(o, ErrorLines("Binary too long", 1)));
}

TEST(Contiguous, GapsAreFilledAndTheStreamNeverGoesBack) {
  const std::string head = "ASL0,10.ASS0,20000.";
  Outcome o = RunInProcess("/BZ5a", head + "LD01.ASP0,11.ASP0,1B.LD02.ME.");
  EXPECT_EQ(Hex(o.output), "01" + std::string("5A5A5A5A5A5A5A5A5A5A") + "02");
  EXPECT_TRUE(Has(o, "\nLength:                0000000C\n"));
  o = RunInProcess("/B", head + "LD0102.\nASP0,11.ME.");
  EXPECT_TRUE(Has(o, ErrorLines("Binary not contiguous", 2)));
  EXPECT_EQ(o.output, "");  // a partly staged block is not written after an error
  o = RunInProcess("/H", head + "LD0102.ASP0,14.LDFF.ME.");
  EXPECT_EQ(o.output, "01020000FF\r\n");
}

TEST(Contiguous, HexTextBreaksLinesAcrossGapsAndData) {
  const Outcome o = RunInProcess("/HZ11", "ASL0,0.ASS0,20000.ASP0,26.LDAB.ASP0,28.LDCD.ME.");
  // 38 fill bytes, AB (39th, ends the line), one fill byte, CD.
  EXPECT_EQ(o.output, std::string(76, '1') + "AB\r\n11CD\r\n");
}

TEST(Contiguous, AnotherLargeSectionWritesTheStagedBytesFirst) {
  const Outcome o = RunInProcess("/B", "ASL0,0.ASS0,20000.LD0102.ASS0,30000.LD03.ME.");
  EXPECT_EQ(Hex(o.output), "010203");
}

TEST(Streamed, LoadPositionClosesThePendingRecord) {
  Outcome o = RunInProcess("/I", "ASL0,1000.LD0102030405.ASP0,2000.ASP0,3000.LD06.ME.");
  EXPECT_EQ(o.output, ":051000000102030405DC\r\n:0130000006C9\r\n:00000001FF\r\n");
  EXPECT_TRUE(Has(o, "\nFirst address:         00001000\nLast address:          00001000"
                     "\nLength:                00000000\n"));
  EXPECT_FALSE(Has(o, "Write binary"));
}

TEST(Streamed, LowestAddressWritesPendingBytesAtTheirOwnAddress) {
  const Outcome o = RunInProcess("/I", "ASL0,1000.LD0102.ASL1,2000.LD03.ME.");
  EXPECT_EQ(o.output, ":021000000102EB\r\n:0120000003DC\r\n:00000001FF\r\n");
}

}  // namespace
}  // namespace trelon::test
