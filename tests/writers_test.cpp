// The record and text writers' layouts: records, checksums, line ends and
// the 256-byte header. (The executables are covered by the golden cases and
// the emulator tests.)
#include <gtest/gtest.h>

#include <numeric>

#include "test_support.hpp"
#include "writers/writers.hpp"

namespace trelon::test {
namespace {

// A run state after Init with `word`, holding `n` image bytes 0, 1, 2 ... at
// `minadd`.
struct ImageRun {
  MemoryRun r{""};
  ImageRun(const char* word, int32_t n, uint32_t minadd, uint32_t startad = 0) {
    EXPECT_EQ(r.Init(word), -1);
    r.Console();
    std::fseek(r.s.console, 0, SEEK_SET);
    for (int32_t i = 0; i < n; ++i) r.s.image[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i);
    r.s.muflength = n;
    r.s.minadd = minadd;
    r.s.maxadd = minadd + static_cast<uint32_t>(n);
    r.s.startad = startad;
    r.s.empty = 0;
  }
};

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t p = 0;
  while (p < text.size()) {
    const std::size_t e = text.find(end, p);
    EXPECT_NE(e, std::string::npos) << "unterminated line";
    if (e == std::string::npos) break;
    lines.push_back(text.substr(p, e - p));
    p = e + end.size();
  }
  return lines;
}

TEST(IntelHex, RecordsAndEndRecord) {
  ImageRun a("/IC", 3, 0x1000, 0x1000);
  for (int i = 0; i < 3; ++i) a.r.s.image[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i + 1);
  IntelOut(a.r.s);
  EXPECT_EQ(a.r.Output(), ":03100000010203E7\r\n:00100001EF\r\n");

  ImageRun b("/IC", 70, 0x12340);
  IntelOut(b.r.s);
  const auto lines = Lines(b.r.Output(), "\r\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 9), ":20234000");
  EXPECT_EQ(lines[1].substr(0, 9), ":20236000");
  EXPECT_EQ(lines[2], ":06238000404142434445" "C8");
  EXPECT_EQ(lines[3], ":00000001FF");

  ImageRun zero("/IC", 1, 0);
  zero.r.s.image[0] = 0xFF;
  IntelOut(zero.r.s);
  EXPECT_EQ(zero.r.Output(), ":01000000FF00\r\n:00000001FF\r\n");

  ImageRun empty("/IC", 0, 0x1000);
  IntelOut(empty.r.s);
  EXPECT_EQ(empty.r.Output(), ":00000001FF\r\n");
}

TEST(SRecords, ExamplesOfEachVariant) {
  ImageRun a("/M1C", 3, 0x1000, 0x1000);
  for (int i = 0; i < 3; ++i) a.r.s.image[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i + 1);
  SOut(a.r.s);
  EXPECT_EQ(a.r.Output(), "S00B00005472656C6F6E2D4310\nS1061000010203E3\nS9031000EC\n");

  ImageRun b("/M3C", 1, 0x12345678);
  b.r.s.image[0] = 0xAA;
  SOut(b.r.s);
  EXPECT_EQ(b.r.Output(), "S00B00005472656C6F6E2D4310\nS30612345678AA3B\nS70500000000FA\n");

  ImageRun c("/M2C", 0, 0);
  SOut(c.r.s);
  EXPECT_EQ(c.r.Output(), "S00B00005472656C6F6E2D4310\nS804000000FB\n");

  ImageRun d("/M1C", 70, 0x1000);
  SOut(d.r.s);
  const auto lines = Lines(d.r.Output(), "\n");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].substr(0, 8), "S1231000");
  EXPECT_EQ(lines[2].substr(0, 8), "S1231020");
  EXPECT_EQ(lines[3].substr(0, 8), "S1091040");
  EXPECT_EQ(lines[4], "S9030000FC");

  ImageRun wide("/M1C", 1, 0x12345);
  SOut(wide.r.s);
  EXPECT_EQ(Lines(wide.r.Output(), "\n")[1].substr(0, 8), "S1042345");
  ImageRun wide2("/M2C", 1, 0x12345);
  SOut(wide2.r.s);
  EXPECT_EQ(Lines(wide2.r.Output(), "\n")[1].substr(0, 10), "S205012345");
}

TEST(SRecords, EveryRecordSumsToFF) {
  ImageRun r("/M3C", 200, 0xFFFFFFF0, 0xABCDEF01);
  SOut(r.r.s);
  for (const std::string& line : Lines(r.r.Output(), "\n")) {
    ASSERT_EQ(line.find('\r'), std::string::npos);
    unsigned sum = 0;
    for (std::size_t i = 2; i < line.size(); i += 2) sum += std::stoul(line.substr(i, 2), nullptr, 16);
    EXPECT_EQ(sum & 0xFF, 0xFFu) << line;
  }
}

TEST(Pdp11, RecordsEndRecordAndChecksums) {
  ImageRun a("/PC", 3, 0x1000);
  a.r.s.image[0] = 0x11;
  a.r.s.image[1] = 0x22;
  a.r.s.image[2] = 0x33;
  PDPOut(a.r.s);
  EXPECT_EQ(Hex(a.r.Output()), "010009000010112233" "80" "01000600" "0000" "F9");

  ImageRun start("/PC", 0, 0x1000, 0x0200);
  PDPOut(start.r.s);
  EXPECT_EQ(Hex(start.r.Output()), "010006000002F7");

  ImageRun big("/PC", 120, 0x12340);
  PDPOut(big.r.s);
  const std::string out = big.r.Output();
  ASSERT_EQ(out.size(), 148u);
  EXPECT_EQ(Hex(out.substr(0, 6)), "010038004023");
  EXPECT_EQ(Hex(out.substr(57, 6)), "010038007223");
  EXPECT_EQ(static_cast<uint8_t>(out[57 + 6]), 50);
  EXPECT_EQ(Hex(out.substr(114, 6)), "01001A00A423");
  EXPECT_EQ(static_cast<uint8_t>(out[114 + 6]), 100);
  for (std::size_t p : {0u, 57u, 114u, 141u}) {
    const std::size_t len = p == 141 ? 7 : (p == 114 ? 27 : 57);
    unsigned sum = 0;
    for (std::size_t i = 0; i < len; ++i) sum += static_cast<uint8_t>(out[p + i]);
    EXPECT_EQ(sum & 0xFF, 0u) << p;
  }
}

TEST(HexText, LineBreakingAndHeader) {
  ImageRun a("/H", 100, 0);
  BinHexOut(a.r.s);
  auto lines = Lines(a.r.Output(), "\r\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 78u);
  EXPECT_EQ(lines[1].size(), 78u);
  EXPECT_EQ(lines[2].size(), 44u);
  EXPECT_EQ(lines[0].substr(0, 6), "000102");

  ImageRun b("/H", 78, 0);
  BinHexOut(b.r.s);
  EXPECT_EQ(Lines(b.r.Output(), "\r\n").size(), 2u);

  ImageRun c("/HH", 100, 0x1000, 0x1234);
  BinHexOut(c.r.s);
  lines = Lines(c.r.Output(), "\r\n");
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0].substr(0, 24), "001000006400000034120000");
  EXPECT_EQ(lines[6], std::string(44, '0') + "000102030405060708090A0B0C0D0E0F10");
  EXPECT_EQ(lines[9].size(), 10u);
  EXPECT_EQ(c.r.Console(), "Write header (256 bytes)\n");

  ImageRun d("/HH", 0, 0);
  BinHexOut(d.r.s);
  lines = Lines(d.r.Output(), "\r\n");
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[6].size(), 44u);

  ImageRun e("/H", 0, 0);
  BinHexOut(e.r.s);
  EXPECT_EQ(e.r.Output(), "");
}

TEST(RawBinary, HeaderThenImage) {
  ImageRun a("/BH", 16, 0x1000, 0xCAFE);
  BinHexOut(a.r.s);
  const std::string out = a.r.Output();
  ASSERT_EQ(out.size(), 272u);
  EXPECT_EQ(Hex(out.substr(0, 12)), "0010000010000000FECA0000");
  EXPECT_EQ(out.substr(12, 244), std::string(244, '\0'));
  EXPECT_EQ(Hex(out.substr(256, 4)), "00010203");
}

}  // namespace
}  // namespace trelon::test
