// What the command line asks of a run: read once, from the options before
// the option word and from the word itself, and not changed afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace trelon {

// The output formats, each written by a writer of its own.
enum class Format { kBinary, kHexText, kIntelHex, kSRecords, kPdp11, kExe, kTos };

// The forms of a memory map written to a file.
enum class MapForm { kText, kJson, kSvg };

struct Options {
  bool strict = false;  // any error fails the run, and the output is replaced only on success
  bool quiet = false;   // nothing printed on success; failures go to standard error
  bool avx2 = true;     // the AVX2 decoder may be taken (the suite compares it with SSE2 alone)
  bool map = false;     // the memory map is printed, and every loaded range kept for it
  std::string map_file;  // where the memory map is written, if anywhere, and in what form
  MapForm map_form = MapForm::kText;

  bool malformed = false;        // the option word cannot be read; nothing below holds
  const char* fault = "";        // why not, and what would be right
  std::optional<Format> format;  // none: the word names no format, and nothing is written
  int variant = 3;               // S-records: S1..S3 (addresses of 2..4 bytes); EXE: its layout 1..3
  bool streamed = false;         // records written while the module is read, in its order
  bool header = false;           // the 256-byte header before a binary or hex text image
  std::optional<uint32_t> offset;  // added to every address in the module
  std::optional<uint32_t> mask;    // applied to every address in the module
  uint8_t fill = 0;                // of the image and its gaps
  int32_t stack_paragraphs = -1, data_paragraphs = -1;  // EXE
  std::size_t valueless = 0;  // where the first of A, Z and F without a value stands in the word
  std::string valueless_letters;  // each of them
};

}  // namespace trelon
