// Failing output and input: every failed write, flush or close of the output
// and every failed read of the input ends the run with "Could not write" or
// "Could not read" and status 1, whatever the format and wherever the run is.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/run.hpp"
#include "test_support.hpp"
#include "trelon/trelon.hpp"

namespace trelon::test {
namespace {

constexpr const char* kFull = "/dev/full";

struct Result {
  std::string console;  // without the three banner lines
  int status = -1;
};

std::string WithoutBanner(const std::string& console) {
  std::size_t at = 0;
  for (int line = 0; line < 3 && at != std::string::npos; ++line) {
    at = console.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  return at == std::string::npos ? std::string() : console.substr(at);
}

// Converts `module` (or the file `input` when given) into `output`.
Result Convert(const std::string& word, const std::string& module, const std::string& output,
               std::string input = "") {
  const std::string dir = TempDir();
  if (input.empty()) {
    input = dir + "/in.muf";
    WriteFile(input, module);
  }
  char* buf = nullptr;
  std::size_t len = 0;
  std::FILE* console = open_memstream(&buf, &len);
  const char* argv[] = {"trelon", word.c_str(), input.c_str(), output.c_str()};
  Result r;
  r.status = trelon::Run(4, argv, console);
  std::fclose(console);
  r.console = WithoutBanner(std::string(buf, len));
  std::free(buf);
  std::remove((dir + "/in.muf").c_str());
  ::rmdir(dir.c_str());
  return r;
}

bool HaveFullDevice() { return ::access(kFull, W_OK) == 0; }

// Hex digits of `v`, as a module writes a number.
std::string Hex(std::size_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "%zX", v);
  return text;
}

// Contiguous streaming with a gap four times the output buffer: the fill
// bytes overflow the buffer during the ASP, long before the module end.
const std::string kLargeGap = "ASL0,0.ASS0,FFFFFFFF.ASP0," + Hex(4 * kOutBufSize) + ".LD01.ME.";
constexpr const char* kLargeGapTrace =
    "\n"
    "\nLowest address:        0, 0000"
    "\nSize:                  0, FFFFFFFFBinary must be contiguous, because binary is longer than internal buffer.\n";

TEST(WriteFailure, RawAndTextStreamsStopAtTheFirstFailedWrite) {
  if (!HaveFullDevice()) GTEST_SKIP() << kFull << " is not available";
  for (const char* word : {"/B", "/H", "/BZff"}) {
    SCOPED_TRACE(word);
    const Result r = Convert(word, kLargeGap, kFull);
    EXPECT_EQ(r.console, std::string(kLargeGapTrace) + "Could not write /dev/full\n");
    EXPECT_EQ(r.status, 1);
  }
}

TEST(WriteFailure, ImageEmissionStopsAtTheFirstFailedWrite) {
  if (!HaveFullDevice()) GTEST_SKIP() << kFull << " is not available";
  // An E1 stack of 16 MB of zeros, written after the header: the run stops
  // inside the writer, before its byte count and the summary.
  static_assert(kOutBufSize < (std::size_t{1} << 24));
  const Result r = Convert("/E1S1048576", "ASL0,0.ASS0,10.ME.", kFull);
  EXPECT_EQ(r.console,
            "\n"
            "\nLowest address:        0, 0000"
            "\nSize:                  0, 00000010"
            "\nModule End"
            "\nWrite binary to file\n"
            "Number of bytes in the last page (= 512 bytes): 16'0010\n"
            "Size of .EXE (pages incl. header):              16'8002\n"
            "Header size (x16 bytes):                        16'0020\n"
            "MinAlloc=MaxAlloc (x16 bytes):                  16'0000\n"
            "SS:SP :                                         16'0000:0000\n"
            "CS:IP :                                         16'0000:0000\n"
            "Could not write /dev/full\n");
  EXPECT_EQ(r.status, 1);
}

TEST(WriteFailure, StreamedRecordsStopWhileTheModuleIsRead) {
  if (!HaveFullDevice()) GTEST_SKIP() << kFull << " is not available";
  // As Intel Hex, n data bytes take about 2.4 n characters: more than the
  // output buffer holds, so a record write fails before the module end.
  std::string module = "ASL0,1000.ASP0,1000.LD";
  for (std::size_t i = 0; i < kOutBufSize; ++i) module += "A5";
  module += ".ASG,1000.ME.";
  const Result r = Convert("/I", module, kFull);
  EXPECT_EQ(r.console,
            "Binary size not limited. Binary output not sorted and not contiguous.\n"
            "\n"
            "\nLowest address:        0, 1000"
            "Could not write /dev/full\n");
  EXPECT_EQ(r.status, 1);
}

TEST(WriteFailure, SmallOutputFailsWhenTheFileIsClosed) {
  if (!HaveFullDevice()) GTEST_SKIP() << kFull << " is not available";
  // Eight bytes wait in the output buffer until the files are closed; the
  // run has printed its whole summary by then.
  const std::string demo = ReadFile(std::string(TRELON_SOURCE_DIR) + "/examples/demo.muf");
  const Result r = Convert("/B", demo, kFull);
  EXPECT_EQ(r.console,
            "\n"
            "\nModule begin:          68000, DEMO"
            "\nBits per MAU:          8"
            "\nMAUs per address:      4"
            "\nByte order:            M"
            "\nDate and time:         20240101120000"
            "\nLowest address:        0, 1000"
            "\nSize:                  0, 00000008"
            "\nStart address:         1000"
            "\nSection begin:         0"
            "\nModule End"
            "\nWrite binary to file\n"
            "\nFirst address:         00001000"
            "\nLast address:          00001008"
            "\nLength:                00000008\n"
            "Could not write /dev/full\n");
  EXPECT_EQ(r.status, 1);
}

TEST(WriteFailure, ErrorPathReportsAFailedCloseToo) {
  if (!HaveFullDevice()) GTEST_SKIP() << kFull << " is not available";
  // A checksum error writes the expected sum to the output; that write
  // fails at the close that follows the error message.
  const Result r = Convert("/B", "CS17.ME.", kFull);
  EXPECT_EQ(r.console,
            "\n"
            "\nError in muf file: Checksum error in line 1\n"
            "Internal buffer size: 131072 bytes\n"
            "Could not write /dev/full\n");
  EXPECT_EQ(r.status, 1);
}

TEST(WriteFailure, TheProgramExitsWithStatusOne) {
  if (!HaveFullDevice()) GTEST_SKIP() << kFull << " is not available";
  const std::string dir = TempDir();
  const std::string in = dir + "/in.muf", con = dir + "/console.txt";
  WriteFile(in, kLargeGap);
  const std::string cmd = std::string("'") + TRELON_BINARY + "' /H '" + in + "' /dev/full > '" + con + "'";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_EQ(WithoutBanner(ReadFile(con)), std::string(kLargeGapTrace) + "Could not write /dev/full\n");
  std::remove(in.c_str());
  std::remove(con.c_str());
  ::rmdir(dir.c_str());
}

TEST(ReadFailure, DirectoryAsInputIsAReadErrorNotAnEndlessLoop) {
  const std::string dir = TempDir();
  const std::string out = dir + "/out.bin";
  const Result r = Convert("/B", "", out, dir);
  EXPECT_EQ(r.console, "\nCould not read " + dir + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadFile(out), "");  // created when the run started, left empty
  std::remove(out.c_str());
  ::rmdir(dir.c_str());
}

// An input that delivers its first `good` bytes and then fails every read.
struct FailingInput {
  std::string text;
  std::size_t good = 0;
  std::size_t pos = 0;

  std::FILE* Open() {
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* buf, std::size_t n) -> ssize_t {
      auto* in = static_cast<FailingInput*>(cookie);
      if (in->pos >= in->good) {
        errno = EIO;
        return -1;
      }
      n = std::min(n, in->good - in->pos);
      std::memcpy(buf, in->text.data() + in->pos, n);
      in->pos += n;
      return static_cast<ssize_t>(n);
    };
    return fopencookie(this, "rb", io);
  }
};

struct MidwayResult {
  std::string console, output;
  int status = -1;
};

// Converts the first `good` bytes of `module`, after which reading fails.
MidwayResult ConvertFailingAfter(const char* word, const std::string& module, std::size_t good) {
  FailingInput in{module, good};
  MidwayResult r;
  {
    MemoryRun m("");
    std::fclose(m.s.infptr);
    m.s.infptr = in.Open();
    m.s.inname = "in.muf";
    m.s.outname = "out.hex";
    r.status = ConvertFiles(m.s, word);
    // ConvertFiles has closed the output, which publishes its buffer.
    r.console = m.Console();
    r.output.assign(m.out_buf, m.out_len);
  }
  return r;
}

TEST(ReadFailure, MidwayFailureKeepsWhatWasStreamedAndIsNotAnEndOfFile) {
  std::string data;
  for (int i = 0; i < 40; ++i) data += "11";
  const std::string head = "MB68000,04DEMO.ASL0,1000.ASP0,1000.LD" + data + ".";
  const std::string module = head + "ASG,1000.ME.";

  // Between two commands: not "Unexpected end of file". The first full
  // record of 32 bytes was written when the 33rd byte arrived and stays; the
  // 8 bytes still pending and the end record are not written.
  MidwayResult r = ConvertFailingAfter("/I", module, head.size());
  EXPECT_EQ(r.console,
            "Binary size not limited. Binary output not sorted and not contiguous.\n"
            "\n"
            "\nModule begin:          68000, DEMO"
            "\nLowest address:        0, 1000"
            "Could not read in.muf\n");
  EXPECT_EQ(r.output, ":20100000" + data.substr(0, 64) + "B0\r\n");
  EXPECT_EQ(r.status, 1);

  // Inside a command: not "Illegal MUFOM format" either.
  r = ConvertFailingAfter("/IC", module, 5);
  EXPECT_EQ(r.console,
            "\n"
            "\nModule begin:          680"
            "Could not read in.muf\n");
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace trelon::test
