// Inputs the fuzzers found or started from, replayed through the same checks
// (fuzz/harness.hpp), and the checks themselves shown to catch broken runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../fuzz/harness.hpp"
#include "test_support.hpp"

namespace trelon::test {
namespace {

namespace fs = std::filesystem;
using fuzz::Check;
using fuzz::CheckFormats;

const fs::path kFuzzDir = fs::path(TRELON_SOURCE_DIR) / "fuzz";

std::string ConvertProblem(const std::string& input) {
  std::string word, module;
  fuzz::SplitInput(input, word, module);
  fuzz::Run run(word, module);
  run.Execute();
  const std::string why = Check(run);
  return why.empty() ? fuzz::CheckSkippedBytesChangeNothing(run) : why;
}

std::string FormatsProblem(const std::string& input) {
  std::string line, module;
  fuzz::SplitInput(input, line, module);
  return CheckFormats(line, module);
}

// Every file in `dir`, through both targets' checks or the one its name
// says (convert-..., formats-...).
void ReplayDirectory(const fs::path& dir) {
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name == "README") continue;
    SCOPED_TRACE(name);
    const std::string input = ReadFile(entry.path().string());
    if (name.rfind("formats-", 0) != 0) {
      EXPECT_EQ(ConvertProblem(input), "");
    }
    if (name.rfind("convert-", 0) != 0) {
      EXPECT_EQ(FormatsProblem(input), "");
    }
  }
}

TEST(FuzzInputs, SeedCorpusPassesEveryCheck) { ReplayDirectory(kFuzzDir / "corpus"); }

TEST(FuzzInputs, MinimisedFindingsPassEveryCheck) { ReplayDirectory(kFuzzDir / "regressions"); }

// The checks must reject what is wrong, or the fuzzing proves nothing.
TEST(FuzzChecks, RejectOutputsThatDisagreeWithTheRun) {
  const std::string demo = ReadFile((fs::path(TRELON_SOURCE_DIR) / "examples" / "demo.muf").string());
  {
    fuzz::Run run("/B", demo);
    run.Execute();
    ASSERT_EQ(Check(run), "");
    run.output.pop_back();
    EXPECT_EQ(Check(run), "image output of 7 bytes, summary says 8");
  }
  {
    fuzz::Run run("/IC", demo);
    run.Execute();
    ASSERT_EQ(Check(run), "");
    run.output[run.output.find("\r\n") - 1] ^= 1;  // last checksum digit
    EXPECT_NE(Check(run).find("bad checksum"), std::string::npos);
  }
  {
    fuzz::Run run("/M1", demo);
    run.Execute();
    ASSERT_EQ(Check(run), "");
    run.output.erase(run.output.rfind("S9"));
    EXPECT_EQ(Check(run), "no end record");
  }
  {
    fuzz::Run run("/P", demo);
    run.Execute();
    ASSERT_EQ(Check(run), "");
    run.status = 1;
    EXPECT_EQ(Check(run), "status 1 without a write failure");
  }
  {
    fuzz::Run run("/B", "ME.");
    run.Execute();
    ASSERT_EQ(Check(run), "");
    run.console.replace(run.console.rfind("Module End"), 10, "Module Ent");
    EXPECT_EQ(Check(run), "the console text ends with neither an error, the summary nor the module end");
  }
  {
    fuzz::Run run("/B", "LD01.");  // ends without the module end: error 9
    run.Execute();
    ASSERT_EQ(Check(run), "");
    run.console.replace(run.console.find("line 1"), 6, "line 2");
    EXPECT_EQ(Check(run), "error line 2 outside the module");
  }
}

// Found by convert_fuzzer (a check that was too strict, not a fault): the
// summary's length in contiguous streaming runs from the first address, and
// an image-mode ASP below the window before the switch lowers the first
// address but not the address the stream starts from. Two bytes are
// streamed from 0x1000; the summary says 0x800 to 0x1002.
TEST(FuzzFindings, ContiguousLengthCountsFromTheLoweredFirstAddress) {
  fuzz::Run run("/B", "ASL0,1000.ASP0,800.ASS0,20000.LD0102.ME.");
  run.Execute();
  EXPECT_TRUE(fuzz::EndsWith(run.console,
                             "\nFirst address:         00000800"
                             "\nLast address:          00020800"
                             "\nLength:                00000802\n"));
  EXPECT_EQ(run.output, "\x01\x02");
  EXPECT_EQ(Check(run), "");
}

TEST(FuzzChecks, ACappedOutputEndsTheRunWithAWriteFailure) {
  // A legitimate gap of 4 GB in contiguous streaming stops at the cap.
  fuzz::Run run("/B", "ASL0,0.ASS0,20000.ASP0,FFFFFFFF.ME.", 4096);
  run.Execute();
  EXPECT_TRUE(run.refused);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(fuzz::EndsWith(run.console, "Could not write fuzz.out\n"));
  EXPECT_EQ(Check(run), "");
}

}  // namespace
}  // namespace trelon::test
