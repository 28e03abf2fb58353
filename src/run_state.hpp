// The whole state of one conversion run. Every field starts at the value the
// run begins with; Init gives the option-dependent ones theirs.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

namespace trelon {

inline constexpr int32_t kImageSize = 131072;
inline constexpr std::size_t kInBufSize = 1 << 18;
inline constexpr std::size_t kOutBufSize = 1 << 18;

// Buffers start on a page boundary: the kernel copies into and out of a
// buffer that is not 64-byte aligned up to 3 times slower on some machines.
inline constexpr std::align_val_t kPage{4096};
struct PageFree {
  void operator()(uint8_t* p) const { ::operator delete[](p, kPage); }
};
using Buffer = std::unique_ptr<uint8_t[], PageFree>;

struct RunState {
  // Output format; at most one of the seven mode flags is 1.
  int32_t binoutput = 0, hexoutput = 0, intelhex = 0, motorolas = 0, pdp11 = 0, exeout = 0,
          tosout = 0;
  int32_t formats = 3;  // S-record variant 1..3
  int32_t typexe = 3;   // .EXE variant 1..3
  int32_t mhexline = 0;  // bytes per text line or record
  int32_t unfill = 0;    // streamed records
  int32_t byteoutput = 0, contiguous = 0, head256 = 0;
  int32_t stack_size = -1, data_size = -1;
  int32_t addval = 0, filter = 0;  // whether addad is added to, filterad masks, every address
  uint32_t addad = 0, filterad = 0;
  int32_t init_value = 0;  // low 8 bits are the fill byte

  // Scanner.
  int8_t actch = 0;
  int64_t linecount = 0;  // wide enough for any input
  int32_t actnum = 0, endfile = 0, command = 0, checkin = 0, bytespmau = 1;
  uint32_t address = 0;

  // Image and window.
  Buffer image;
  int32_t imagesize = kImageSize, muflength = 0, loadaddi = 0, empty = 1;
  uint32_t minadd = 0, maxadd = 0, loadadd = 0, startad = 0;

  // Staging buffer for streamed blocks and file headers.
  std::array<uint8_t, 512> data{};
  int32_t contigi = 0;

  // Record writers.
  int32_t hexcount = 0;
  uint32_t begin_address = 0;
  int32_t dummy = 0;

  // Files. The input is read through inbuf, the output collected in outbuf
  // (and dropped, with `discard`, so that an existing output stays as it
  // was). The trace goes to `console` (none: nothing is printed), the lines
  // that report a failure to `report`, reasons (the "trelon:" lines) to
  // `errors`.
  std::FILE *infptr = nullptr, *outfptr = nullptr;
  std::FILE *console = stdout, *report = stdout, *errors = stderr;
  bool line_open = false;  // the console's last line is not ended yet
  bool discard = false;
  const char *inname = "", *outname = "";
  std::string outpath, temp;  // where the output goes, and its temporary file
  Buffer inbuf;
  const uint8_t *inpos = nullptr, *inend = nullptr;
  bool ineof = false;
  Buffer outbuf;
  std::size_t outlen = 0;
  bool write_failed = false;
  int write_errno = 0;

  // What the writers could not do: a file they refused to write, and the
  // first value too wide for the format's fields (its kind and width).
  bool failed = false;  // an error in the module or the option word
  int32_t refused = 0;
  const char* unheld = nullptr;
  uint64_t unheld_value = 0;
  int32_t unheld_bits = 0;

  uint8_t FillByte() const { return static_cast<uint8_t>(init_value & 0xFF); }
};

// A fatal error in the module or the option word, carrying its code 0..11.
struct MufomError {
  int code;
};

// Ends the run with error `code`: the run's top level reports it.
[[noreturn]] inline void MufomErr(RunState&, int code) { throw MufomError{code}; }

// A buffer of `bytes` bytes (the image, say) could not be allocated.
struct OutOfMemory {
  std::size_t bytes;
  const char* what;
};

// The input could not be read (an error other than end of file).
struct ReadError {
  int err;
};

// The output could not be written, flushed or closed.
struct WriteError {};

}  // namespace trelon
