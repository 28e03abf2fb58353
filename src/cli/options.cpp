#include "cli/options.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "io/output.hpp"

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

// The variant digit after M or E: 1..3, else error 11.
int32_t Variant(RunState& s, char c) {
  const int32_t v = c - '0';
  if (v < 1 || v > 3) MufomErr(s, 11);
  return v;
}

// The decimal value behind modifier `letter` in `rest`, read as atoi reads
// it; a missing letter is error 11.
int32_t Decimal(RunState& s, const char* rest, char letter) {
  const char* p = std::strchr(rest, letter);
  if (p == nullptr) MufomErr(s, 11);
  return static_cast<int32_t>(std::strtol(p + 1, nullptr, 10));
}

// Whether `rest` has modifier `letter`; its hexadecimal value, the leading
// run of at most 8 characters 0-9 and a-f behind it, goes to `target`. An
// empty run leaves `target` as it was, and makes the letter `empty` unless
// an earlier one is.
template <typename T>
bool LowerHex(const char* rest, char letter, T& target, const char*& empty) {
  const char* p = std::strchr(rest, letter);
  if (p == nullptr) return false;
  const std::size_t n = std::min<std::size_t>(std::strspn(p + 1, "0123456789abcdef"), 8);
  if (n > 0) {
    uint32_t value = 0;
    std::from_chars(p + 1, p + 1 + n, value, 16);
    target = static_cast<T>(value);
  } else if (empty == nullptr) {
    empty = p;
  }
  return true;
}

}  // namespace

void Usage(std::FILE* to, bool options) {
  if (to == nullptr) return;
  for (const char* line : kUsage) std::fputs(line, to);
  if (options)
    std::fputs("\nOptions, before the format:\n"
               " --strict     Fail (status 2) on any error, and replace the output only on success\n"
               " --quiet      Print nothing on success; errors go to standard error\n"
               " --help       This text\n"
               " --version    The version\n"
               "A file name - stands for standard input or output\n",
               to);
}

const char* ReadWord(RunState& s, const char* word) {
  if (word[0] != '/') MufomErr(s, 11);
  // The format sits right behind the "/" (M and E with their variant digit);
  // the modifiers are searched for in the rest of the word.
  const char* rest = word + 2;
  switch (word[1]) {
    case 'B': s.binoutput = 1; break;
    case 'H': s.hexoutput = 1; s.mhexline = 39; break;
    case 'I': s.intelhex = 1; s.mhexline = 32; break;
    case 'P': s.pdp11 = 1; s.mhexline = 50; break;
    case 'T': s.tosout = 1; break;
    case 'M':
      s.formats = Variant(s, *rest++);
      s.motorolas = 1;
      s.mhexline = 32;
      break;
    case 'E':
      s.typexe = Variant(s, *rest++);
      s.exeout = 1;
      break;
    default: rest = word + 1;  // no format: all of it is modifiers
  }
  s.byteoutput = (s.binoutput | s.exeout | s.tosout | s.pdp11) != 0 ? 1 : 0;

  s.unfill = (s.intelhex != 0 || s.motorolas != 0 || s.pdp11 != 0) && std::strchr(rest, 'C') == nullptr;
  s.head256 = (s.binoutput != 0 || s.hexoutput != 0) && std::strchr(rest, 'H') != nullptr;
  if (s.exeout != 0) {
    s.stack_size = Decimal(s, rest, 'S');
    s.data_size = s.typexe == 2 ? Decimal(s, rest, 'D') : 0;
  }
  const char* empty = nullptr;
  s.addval = LowerHex(rest, 'A', s.addad, empty) ? 1 : 0;
  LowerHex(rest, 'Z', s.init_value, empty);
  s.filter = LowerHex(rest, 'F', s.filterad, empty) ? 1 : 0;
  return empty;
}

void Init(RunState& s, const char* word) {
  ReadWord(s, word);
  // Every error of the word is found before anything is printed.
  if (s.unfill != 0) Say(s, "Binary size not limited. Binary output not sorted and not contiguous.\n");
  if (s.head256 != 0) Say(s, "Adding 256 byte header\n");
  s.image = Allocate(static_cast<std::size_t>(s.imagesize), "image");
  std::memset(s.image.get(), s.FillByte(), static_cast<std::size_t>(s.imagesize));
  s.linecount = 1;  // an error in the word itself is reported in line 0
}

}  // namespace trelon
