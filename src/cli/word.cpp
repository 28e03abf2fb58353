#include "cli/word.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>

namespace trelon {

namespace {

constexpr const char* kUsage[] = {
    "\nUsage trelon /format inputfile.muf outputfile.ext\n\nChoice for format:\n",
    " M1,M2,M3     Motorola S          B            Binary\n",
    " H            Hex                 E1,E2,E3     EXE\n",
    " I            Intel Hex           T            TOS\n",
    " P            PDP11\n",
    "The following can be postfixed to the format:\n",
    " C            Make contiguous\n",
    " H            Add 256 byte header\n",
    " S<dec value> Stack size for exe files (in paragraphs)\n",
    " D<dec value> Data size for exe files (in paragraphs)\n",
    " A<hex value> Offset\n",
    " Z<hex value> Initial memory value\n",
    " F<hex value> Address filter\n",
    "\nThe format is case sensitive, hex numbers must be lowercase\n",
    "\nExample:\n   trelon /BZffC input.muf output.exe\n",
};

// The formats by the letter behind the "/": whether a digit 1..3 follows
// it, whether C (collect) applies, whether H (header) does.
constexpr struct {
  char letter;
  Format format;
  bool variant, records, header;
} kFormats[] = {
    {'B', Format::kBinary, false, false, true},  {'H', Format::kHexText, false, false, true},
    {'I', Format::kIntelHex, false, true, false}, {'M', Format::kSRecords, true, true, false},
    {'P', Format::kPdp11, false, true, false},   {'E', Format::kExe, true, false, false},
    {'T', Format::kTos, false, false, false},
};

// The decimal value behind modifier `letter` in `rest`, read as atoi reads
// it, if the letter is there.
std::optional<int32_t> Decimal(const char* rest, char letter) {
  const char* p = std::strchr(rest, letter);
  if (p == nullptr) return std::nullopt;
  return static_cast<int32_t>(std::strtol(p + 1, nullptr, 10));
}

// Modifier `letter` in `rest`, if it is there, with the value of the leading
// run of at most 8 characters 0-9 and a-f behind it (0 if the run is empty,
// and the letter goes to the valueless ones of `o`).
std::optional<uint32_t> LowerHex(const char* word, const char* rest, char letter, Options& o) {
  const char* p = std::strchr(rest, letter);
  if (p == nullptr) return std::nullopt;
  const std::size_t n = std::min<std::size_t>(std::strspn(p + 1, "0123456789abcdef"), 8);
  uint32_t value = 0;
  std::from_chars(p + 1, p + 1 + n, value, 16);
  if (n == 0 && o.valueless == 0) o.valueless = static_cast<std::size_t>(p - word);
  if (n == 0) o.valueless_letters += letter;
  return value;
}

}  // namespace

void Usage(std::FILE* to, bool options) {
  if (to == nullptr) return;
  for (const char* line : kUsage) std::fputs(line, to);
  if (options)
    std::fputs("\nOptions, before the format:\n"
               " --strict     Fail (status 2) on any error, and replace the output only on success\n"
               " --quiet      Print nothing on success; errors go to standard error\n"
               " --map        Print the memory map: loaded ranges, gaps, overlaps, start address\n"
               " --map=FILE   Write it to FILE as text (.txt), JSON (.json) or a picture (.svg)\n"
               " --help       This text\n"
               " --version    The version\n"
               "A file name - stands for standard input or output\n",
               to);
}

bool NamesFormat(char letter) {
  return std::any_of(std::begin(kFormats), std::end(kFormats), [=](const auto& f) { return f.letter == letter; });
}

Options ReadWord(const char* word, Options o) {
  o.malformed = true;  // until the word is read to its end
  o.fault = "the option word is a / and the format: /B, /H, /I, /M1-/M3, /P, /E1S..-/E3S.. or /T";
  if (word[0] != '/') return o;
  // The format sits right behind the "/" (M and E with their digit); the
  // modifiers are searched for in the rest of the word. Without a format,
  // all of it is modifiers.
  const char* rest = word + 1;
  const auto* format = std::find_if(std::begin(kFormats), std::end(kFormats),
                                    [=](const auto& f) { return f.letter == word[1]; });
  if (format != std::end(kFormats)) {
    o.format = format->format;
    ++rest;
    if (format->variant) {
      o.fault = format->format == Format::kExe
                    ? "E takes 1, 2 or 3: /E1S.. (stack in the file), /E2S..D.. (stack and data after it), /E3S.."
                    : "M takes 1, 2 or 3: /M1, /M2, /M3 (S1, S2 or S3 records)";
      o.variant = *rest - '0';
      if (o.variant < 1 || o.variant > 3) return o;
      ++rest;
    }
    o.streamed = format->records && std::strchr(rest, 'C') == nullptr;
    o.header = format->header && std::strchr(rest, 'H') != nullptr;
  }
  if (o.format == Format::kExe) {
    const auto stack = Decimal(rest, 'S'), data = o.variant == 2 ? Decimal(rest, 'D') : std::optional<int32_t>(0);
    o.fault = !stack ? "the E formats need S and the stack size in paragraphs (/E3S64)"
                     : "E2 also needs D and the data size in paragraphs (/E2S16D32)";
    if (!stack || !data) return o;
    o.stack_paragraphs = *stack;
    o.data_paragraphs = *data;
  }
  o.offset = LowerHex(word, rest, 'A', o);
  o.fill = static_cast<uint8_t>(LowerHex(word, rest, 'Z', o).value_or(0));
  o.mask = LowerHex(word, rest, 'F', o);
  o.malformed = false;
  return o;
}

}  // namespace trelon
