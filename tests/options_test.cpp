// The option word: formats, modifiers and their values, and the words that
// are refused.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace trelon::test {
namespace {

TEST(OptionWord, FormatsSetTheirFlagsLineLengthsAndOutputKind) {
  struct Case {
    const char* word;
    int32_t RunState::*flag;
    int32_t mhexline, byteoutput, unfill;
  };
  const Case cases[] = {
      {"/B", &RunState::binoutput, 0, 1, 0},  {"/H", &RunState::hexoutput, 39, 0, 0},
      {"/I", &RunState::intelhex, 32, 0, 1},  {"/M2", &RunState::motorolas, 32, 0, 1},
      {"/P", &RunState::pdp11, 50, 1, 1},     {"/E1S0", &RunState::exeout, 0, 1, 0},
      {"/T", &RunState::tosout, 0, 1, 0},
  };
  for (const Case& c : cases) {
    MemoryRun r("");
    ASSERT_EQ(r.Init(c.word), -1) << c.word;
    EXPECT_EQ(r.s.*c.flag, 1) << c.word;
    EXPECT_EQ(r.s.binoutput + r.s.hexoutput + r.s.intelhex + r.s.motorolas + r.s.pdp11 + r.s.exeout +
                  r.s.tosout,
              1)
        << c.word;
    EXPECT_EQ(r.s.mhexline, c.mhexline) << c.word;
    EXPECT_EQ(r.s.byteoutput, c.byteoutput) << c.word;
    EXPECT_EQ(r.s.unfill, c.unfill) << c.word;
    EXPECT_EQ(r.s.linecount, 1);
  }
}

TEST(OptionWord, MalformedWordsAreError11) {
  for (const char* word : {"B", "", "/M", "/M4", "/M0", "/E", "/E4S1", "/E1", "/E2S100", "/EaS1"}) {
    MemoryRun r("");
    EXPECT_EQ(r.Init(word), 11) << word;
    EXPECT_EQ(r.s.linecount, 0) << word;  // reported as line 0
  }
}

TEST(OptionWord, VariantDigits) {
  for (int v = 1; v <= 3; ++v) {
    MemoryRun r("");
    const std::string word = "/M" + std::to_string(v) + "C";
    ASSERT_EQ(r.Init(word.c_str()), -1);
    EXPECT_EQ(r.s.formats, v);
    EXPECT_EQ(r.s.unfill, 0);
    EXPECT_EQ(r.Console(), "");
  }
  MemoryRun r("");
  ASSERT_EQ(r.Init("/E3S64D8"), -1);
  EXPECT_EQ(r.s.typexe, 3);
  EXPECT_EQ(r.s.formats, 3);
}

TEST(OptionWord, StackAndDataSizes) {
  MemoryRun a(""), b(""), c(""), d("");
  ASSERT_EQ(a.Init("/E2D8S100"), -1);
  ASSERT_EQ(b.Init("/E2S100D8"), -1);
  EXPECT_EQ(a.s.stack_size, 100);
  EXPECT_EQ(a.s.data_size, 8);
  EXPECT_EQ(b.s.stack_size, 100);
  EXPECT_EQ(b.s.data_size, 8);
  ASSERT_EQ(c.Init("/E1S0"), -1);
  EXPECT_EQ(c.s.stack_size, 0);
  EXPECT_EQ(c.s.data_size, 0);
  ASSERT_EQ(d.Init("/B"), -1);
  EXPECT_EQ(d.s.stack_size, -1);
  EXPECT_EQ(d.s.data_size, -1);
}

TEST(OptionWord, DecimalValuesReadLikeAtoi) {
  MemoryRun a(""), b(""), c("");
  ASSERT_EQ(a.Init("/E3S 12x"), -1);
  EXPECT_EQ(a.s.stack_size, 12);
  ASSERT_EQ(b.Init("/E3S-5"), -1);
  EXPECT_EQ(b.s.stack_size, -5);
  ASSERT_EQ(c.Init("/E3Sx"), -1);
  EXPECT_EQ(c.s.stack_size, 0);
}

TEST(OptionWord, HexValuesAreLowerCaseAndAtMostEightDigits) {
  MemoryRun a(""), b(""), c(""), d("");
  ASSERT_EQ(a.Init("/BAff"), -1);
  EXPECT_EQ(a.s.addval, 1);
  EXPECT_EQ(a.s.addad, 0xFFu);
  ASSERT_EQ(b.Init("/BA1000F0fff"), -1);
  EXPECT_EQ(b.s.addad, 0x1000u);
  EXPECT_EQ(b.s.filter, 1);
  EXPECT_EQ(b.s.filterad, 0xFFFu);
  // The Z value ends at the upper-case F, which is then the filter letter
  // with an empty value.
  ASSERT_EQ(c.Init("/BZFF"), -1);
  EXPECT_EQ(c.s.init_value, 0);
  EXPECT_EQ(c.s.filter, 1);
  EXPECT_EQ(c.s.filterad, 0u);
  ASSERT_EQ(d.Init("/BA123456789"), -1);
  EXPECT_EQ(d.s.addad, 0x12345678u);
}

TEST(OptionWord, FillByteFillsTheWholeImage) {
  MemoryRun r("");
  ASSERT_EQ(r.Init("/BZffC"), -1);
  EXPECT_EQ(r.s.unfill, 0);
  EXPECT_EQ(r.s.imagesize, 131072);
  for (int i : {0, 1, 65536, 131071}) EXPECT_EQ(r.s.image[i], 0xFF);
  MemoryRun z("");
  ASSERT_EQ(z.Init("/IZ1a2C"), -1);
  EXPECT_EQ(z.s.FillByte(), 0xA2);
}

TEST(OptionWord, MessagesOfTheModifiers) {
  MemoryRun i(""), ic(""), bh(""), hh(""), ih("");
  ASSERT_EQ(i.Init("/I"), -1);
  EXPECT_EQ(i.Console(), "Binary size not limited. Binary output not sorted and not contiguous.\n");
  ASSERT_EQ(ic.Init("/IC"), -1);
  EXPECT_EQ(ic.Console(), "");
  ASSERT_EQ(bh.Init("/BH"), -1);
  EXPECT_EQ(bh.s.head256, 1);
  EXPECT_EQ(bh.Console(), "Adding 256 byte header\n");
  ASSERT_EQ(hh.Init("/HH"), -1);
  EXPECT_EQ(hh.s.head256, 1);
  ASSERT_EQ(ih.Init("/IH"), -1);
  EXPECT_EQ(ih.s.head256, 0);
  EXPECT_EQ(ih.Console(), "Binary size not limited. Binary output not sorted and not contiguous.\n");
}

TEST(OptionWord, UnknownFormatSearchesModifiersFromItsOwnCharacter) {
  MemoryRun x(""), slash(""), h("");
  ASSERT_EQ(x.Init("/X"), -1);
  EXPECT_EQ(x.s.binoutput + x.s.hexoutput + x.s.intelhex + x.s.motorolas + x.s.pdp11 + x.s.exeout +
                x.s.tosout,
            0);
  ASSERT_EQ(slash.Init("/"), -1);
  // "A" is not a format, so it is found as the offset modifier.
  ASSERT_EQ(h.Init("/A10"), -1);
  EXPECT_EQ(h.s.addval, 1);
  EXPECT_EQ(h.s.addad, 0x10u);
}

TEST(OptionWord, ModifierLettersInsideTheFormatAreNotModifiers) {
  // "H" as the format is not the header modifier; "C" in "/M1" position is
  // the variant digit check, not a modifier.
  MemoryRun h(""), hh("");
  ASSERT_EQ(h.Init("/H"), -1);
  EXPECT_EQ(h.s.head256, 0);
  ASSERT_EQ(hh.Init("/HxH"), -1);
  EXPECT_EQ(hh.s.head256, 1);
}

}  // namespace
}  // namespace trelon::test
