// The state of one module's reading, shared by the commands.
#pragma once

#include "io/hex.hpp"
#include "reader/account.hpp"
#include "reader/reader.hpp"

namespace trelon {

// Stops the reading at a fault in the module (with the sums a failed CS
// stated and found).
struct ModuleFault {
  ModuleError error;
  uint32_t stated = 0, found = 0;
};
[[noreturn]] inline void Fault(ModuleError error) { throw ModuleFault{error}; }

// The characters of a section's name that the account keeps: an ASP whose
// "," never comes would otherwise keep the rest of the module.
inline constexpr std::size_t kSectionName = 64;

// How the loaded bytes are written: into the image, written after the
// module end; as records while the module is read; or as the image
// streamed in address order, once a section is too long to be held.
enum class Mode { kImage, kRecords, kStream };

struct ModuleReader {
  ModuleReader(Input& input, const Options& options, Writer& writer, Trace& trace, LoadAccount& account,
               int64_t first_line)
      : input(input), options(options), writer(writer), trace(trace), account(account), line(first_line),
        mode(options.streamed ? Mode::kRecords : Mode::kImage),
        image(options.fill, mode == Mode::kImage ? kImageSize : 0),
        record_limit(writer.address_limit()), avx2(options.avx2 && HasAvx2()) {}

  // Advances to the next significant character, counting lines and adding
  // it to the running sum.
  void Next() {
    for (;;) {
      int c;
      if (input.pos != input.end) {
        c = *input.pos++;
      } else {
        if (input.ended) Fault(in_command ? ModuleError::kIllegalFormat : ModuleError::kUnexpectedEnd);
        c = input.Refill();
      }
      if (c == '\n') ++line;
      if (!Significant(static_cast<uint8_t>(c))) continue;
      current = static_cast<char>(c);
      sum = (sum + static_cast<uint32_t>(c)) & 0x7F;
      return;
    }
  }

  // The value of the current character as an upper-case hex digit, -1 if
  // it is none.
  int HexValue() const { return kHexValue.of[static_cast<uint8_t>(current)]; }
  // The same where a digit must stand.
  int HexDigit() const {
    if (HexValue() < 0) Fault(ModuleError::kNoHexNumber);
    return HexValue();
  }

  // A number of up to 8 hex digits that ends the command, scaled to bytes;
  // with `adjusted`, the mask and the offset of the options are applied.
  uint32_t FinalAddress(bool adjusted = true);
  // The current character (after the next, with `advance`) is the "." that
  // ends a command.
  void EndsCommand(bool advance = false) {
    if (advance) Next();
    if (current != '.') Fault(ModuleError::kBadCommand);
  }
  // The characters up to the next "." (or ",", unless `commas`) traced, and
  // the first kSectionName of them kept in `kept` if given.
  void ShowText(bool commas = false, std::string* kept = nullptr);
  // A string with its length in front (two hex digits) traced.
  void ShowCounted();

  void Assignment();  // the commands that begin with AS
  void Load();        // LD
  // How many of the next `n` loaded bytes the account and the record format
  // take alike, so that each batch of bytes is loaded by one line.
  std::size_t Unbroken(std::size_t n) const;

  Input& input;
  const Options& options;
  Writer& writer;
  Trace& trace;
  LoadAccount& account;

  char current = 0;         // the current significant character
  int64_t line;             // that it stands in
  uint32_t sum = 0;         // of the characters since the last CS, modulo 128
  bool in_command = false;  // an end of the input inside a command is another fault
  bool ended = false;       // the module end was read
  int32_t bytes_per_mau = 1;
  Mode mode;
  Image image;
  uint64_t load_at = 0;  // where the module loads its next byte, counted on past 0xFFFFFFFF
  // The stream: the address it has reached (an ASL sets it without writing),
  // the address of its first byte, and the bytes written.
  uint32_t streamed_to = 0;
  uint32_t stream_base = 0;
  uint64_t stream_written = 0;
  const uint64_t record_limit;  // the first address that the record format cannot hold
  const bool avx2;
};

}  // namespace trelon
