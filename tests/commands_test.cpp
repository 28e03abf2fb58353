// The command interpreter: the trace, the checksums, the errors with their
// line numbers, and where LD bytes go in each mode.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace trelon::test {
namespace {

// Console text after the banner.
std::string Trace(const Outcome& o) {
  EXPECT_EQ(o.console.rfind(kBannerText, 0), 0u);
  return o.console.substr(std::string(kBannerText).size());
}

TEST(Commands, ModuleEndAloneAndMissingEnd) {
  Outcome o = RunInProcess("/B", "ME.");
  EXPECT_EQ(Trace(o), "\n\nModule End");
  EXPECT_TRUE(o.output_exists);
  EXPECT_EQ(o.output, "");
  o = RunInProcess("/B", "SB0.\nSB1.\n");
  EXPECT_EQ(Trace(o), "\n\nSection begin:         0\nSection begin:         1" +
                          ErrorLines("Unexpected end of file", 3));
  o = RunInProcess("/B", "ME");
  EXPECT_EQ(Trace(o), "\n" + ErrorLines("Illegal MUFOM format", 1));
  EXPECT_EQ(o.status, 0);
}

TEST(Commands, WhatIsNotACommand) {
  struct Case {
    const char* module;
    const char* error;
    int line;
  };
  const Case cases[] = {
      {" ME.", "Illegal MUFOM format", 1},       // a space before a command
      {"me.", "Illegal MUFOM format", 1},        // lower-case letters
      {"NNAME.", "Illegal MUFOM format", 1},     // a command outside the subset
      {"\n\nAT1.", "No MUFOM command", 3},      // known first letter, other second
      {"LR1.", "No MUFOM command", 1},
      {"ASX1.", "No MUFOM command", 1},
      {"LD01 02.", "No MUFOM command", 1},       // a space between data bytes
      {"LD0 2.", "No hex number", 1},            // a space inside a byte
      {"LD0a.", "No hex number", 1},             // a lower-case digit
      {"LD012.", "No hex number", 1},            // an odd number of digits
      {"L\nD0\n1\nX.", "No MUFOM command", 4},   // line breaks change only the count
      {"MB68000,0XA.", "No hex number", 1},
      {"ME,", "No MUFOM command", 1},
      {"DT2024,01.", "No MUFOM command", 1},
      {"AD8,4,M,X.", "No MUFOM command", 1},
      {"ASG,123456789.", "Address too big", 1},
      {"COlevel.ME.", "No hex number", 1},       // no "," before the comment
      {"CS1G.", "No hex number", 1},
      {"CS16X", "No MUFOM command", 1},
  };
  for (const Case& c : cases) {
    const Outcome o = RunInProcess("/B", c.module);
    const std::string trace = Trace(o);
    EXPECT_NE(trace.find(ErrorLines(c.error, c.line)), std::string::npos) << c.module << "\n" << trace;
    EXPECT_EQ(trace.substr(trace.size() - ErrorLines(c.error, c.line).size()), ErrorLines(c.error, c.line))
        << c.module;
    EXPECT_EQ(o.status, 0);
  }
}

TEST(Commands, AddressDescriptor) {
  // With 16 bits per MAU every address and size counts two bytes.
  Outcome o = RunInProcess("/B", "AD16.ASL0,0.ASS0,801.ASP0,800.LDAA.ASG,1.ME.");
  EXPECT_NE(o.console.find("\nBits per MAU:          16\nLowest"), std::string::npos);
  EXPECT_NE(o.console.find("Size:                  0, 00001002"), std::string::npos);
  EXPECT_NE(o.console.find("Start address:         0002"), std::string::npos);
  EXPECT_EQ(o.output.size(), 0x1002u);
  EXPECT_EQ(static_cast<uint8_t>(o.output[0x1000]), 0xAA);
  o = RunInProcess("/B", "AD12.ME.");
  EXPECT_EQ(Trace(o), "\n\nBits per MAU:          12" + ErrorLines("Illegal number", 1));
  o = RunInProcess("/B", "AD.ME.");
  EXPECT_EQ(Trace(o), "\n\nBits per MAU:          0" + ErrorLines("Illegal number", 1));
  o = RunInProcess("/B", "AD32,1.ME.");
  EXPECT_EQ(Trace(o), "\n\nBits per MAU:          32\nMAUs per address:      1\nModule End");
}

TEST(Commands, Checksums) {
  EXPECT_EQ(Trace(RunInProcess("/B", "CS16.ME.")), "\n\nModule End");
  Outcome bad = RunInProcess("/B", "CS17.ME.");
  EXPECT_EQ(Trace(bad), "\n" + ErrorLines("Checksum error", 1));
  EXPECT_EQ(bad.output, "16");
  // A later CS sums only what follows the previous one; CS. restarts the sum.
  EXPECT_EQ(Trace(RunInProcess("/B", "CS16.\nCS16.CS.CS16.ME.")), "\n\nModule End");
  EXPECT_EQ(Trace(RunInProcess("/B", "SB0.CS.CS16.ME.")), "\n\nSection begin:         0\nModule End");
  // Values of 80 and above never match.
  EXPECT_EQ(Trace(RunInProcess("/B", "CS96.ME.")), "\n" + ErrorLines("Checksum error", 1));
  // Skipped bytes are not summed.
  EXPECT_EQ(Trace(RunInProcess("/B", "C\r\n\x85S16.ME.")), "\n\nModule End");
}

TEST(Commands, TextCommandsTrace) {
  const Outcome o = RunInProcess("/B", "MB68000.COlvl,05a,b.c.SA1,2.ST0,R,W.SB.DT.ME.");
  EXPECT_EQ(Trace(o),
            "\n\nModule begin:          68000, "
            "\nComment:               lvl, a,b.c"
            "\nSection alignment:     1,2"
            "\nSection type:          0,R,W"
            "\nSection begin:         "
            "\nDate and time:         "
            "\nModule End");
}

TEST(Commands, ErrorLineNumbersCountEveryLineFeed) {
  std::string module;
  for (int i = 1; i < 17; ++i) module += "SB" + std::to_string(i) + ".\r\n";
  module += "LDXY.\r\nME.\r\n";
  const std::string trace = Trace(RunInProcess("/B", module));
  EXPECT_EQ(trace.substr(trace.size() - ErrorLines("No MUFOM command", 17).size()),
            ErrorLines("No MUFOM command", 17));
}

TEST(Commands, TrailingTextAfterModuleEndIsNeverRead) {
  const Outcome o = RunInProcess("/B", "ME.this is not MUFOM \x01\x02 at all");
  EXPECT_EQ(Trace(o), "\n\nModule End");
}

// Bytes 00, 01, 02 ... as LD data.
std::string Ramp(int n, int first = 0) {
  std::string ld = "LD";
  char b[3];
  for (int i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02X", (first + i) & 0xFF);
    ld += b;
  }
  return ld + ".";
}

TEST(Commands, StreamedRecordIsWrittenWhenAFurtherByteArrives) {
  // 32 bytes and an error: the full record has not been written yet.
  Outcome o = RunInProcess("/I", "ASL0,1000." + Ramp(32) + "LDX.");
  EXPECT_EQ(o.output, "");
  // The 33rd byte writes it.
  o = RunInProcess("/I", "ASL0,1000." + Ramp(33) + "LDX.");
  EXPECT_EQ(o.output.substr(0, 9), ":20100000");
  EXPECT_EQ(o.output.size(), 1 + 8 + 64 + 2 + 2u);
  // 70 bytes: 32, 32 and 6, the last at the module end before the end record.
  o = RunInProcess("/I", "ASL0,1000." + Ramp(40) + Ramp(30, 40) + "ME.");
  std::vector<std::string> lines;
  for (std::size_t p = 0; p < o.output.size();) {
    const std::size_t e = o.output.find("\r\n", p);
    lines.push_back(o.output.substr(p, e - p));
    p = e + 2;
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 9), ":20100000");
  EXPECT_EQ(lines[1].substr(0, 9), ":20102000");
  EXPECT_EQ(lines[2].substr(0, 9), ":06104000");
  EXPECT_EQ(lines[2].substr(9, 12), "404142434445");
  EXPECT_EQ(lines[3], ":00000001FF");
}

TEST(Commands, ContiguousBlocksAreWrittenWhenAFurtherByteArrives) {
  const std::string head = "ASL0,0.ASS0,20000.";
  // 512 bytes staged and an error: only the first block has been written.
  Outcome o = RunInProcess("/B", head + Ramp(300) + Ramp(212, 44) + "LDX.");
  EXPECT_NE(o.console.find("Binary must be contiguous"), std::string::npos);
  ASSERT_EQ(o.output.size(), 256u);
  EXPECT_EQ(static_cast<uint8_t>(o.output[255]), 255);
  // 600 bytes: 256 + 256 + 88, in input order.
  o = RunInProcess("/B", head + Ramp(600) + "ME.");
  ASSERT_EQ(o.output.size(), 600u);
  for (int i = 0; i < 600; ++i) ASSERT_EQ(static_cast<uint8_t>(o.output[i]), i & 0xFF) << i;
  EXPECT_NE(o.console.find("\nLength:                00000258\n"), std::string::npos);
  EXPECT_NE(o.console.find("\nLast address:          00020000"), std::string::npos);
}

TEST(Commands, ImageLoadStartsAtTheLowestAddressAndContinues) {
  const Outcome o = RunInProcess("/B", "ASL0,100.ASS0,6.LD0102.LD0304.ME.");
  EXPECT_EQ(Hex(o.output), "010203040000");
}

}  // namespace
}  // namespace trelon::test
