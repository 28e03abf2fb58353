#include "cli/options.hpp"

#include <cstdlib>
#include <cstring>

#include "io/output.hpp"
#include <cstdio>

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

// The decimal value behind a modifier letter, read as atoi reads it.
int32_t Decimal(const char* p) {
  return static_cast<int32_t>(std::strtol(p, nullptr, 10));
}

// The hexadecimal value behind a modifier letter: the leading run of at most
// 8 characters 0-9 and a-f. An empty run leaves `target` as it was, and
// makes `p` (the letter) the one returned.
template <typename T>
const char* LowerHex(const char* p, T& target) {
  uint32_t value = 0;
  int n = 0;
  for (; n < 8; ++n) {
    const char c = p[n];
    if (c >= '0' && c <= '9') {
      value = value * 16 + static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      value = value * 16 + static_cast<uint32_t>(c - 'a' + 10);
    } else {
      break;
    }
  }
  if (n > 0) target = static_cast<T>(value);
  return n > 0 ? nullptr : p - 1;
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
  s.imagesize = kImageSize;
  s.contiguous = s.filter = s.addval = 0;
  s.formats = s.typexe = 3;
  s.stack_size = s.data_size = -1;
  s.init_value = 0;
  s.empty = 1;
  s.command = s.muflength = s.endfile = 0;
  s.binoutput = s.hexoutput = s.intelhex = s.motorolas = s.pdp11 = s.exeout = s.tosout = 0;

  // The format sits right behind the "/"; the modifiers are searched for in
  // the rest of the word.
  const char* rest = word + 1;
  switch (*rest) {
    case 'B': s.binoutput = 1; rest += 1; break;
    case 'H': s.hexoutput = 1; s.mhexline = 39; rest += 1; break;
    case 'I': s.intelhex = 1; s.mhexline = 32; rest += 1; break;
    case 'P': s.pdp11 = 1; s.mhexline = 50; rest += 1; break;
    case 'T': s.tosout = 1; rest += 1; break;
    case 'M':
      s.formats = Variant(s, rest[1]);
      s.motorolas = 1;
      s.mhexline = 32;
      rest += 2;
      break;
    case 'E':
      s.typexe = Variant(s, rest[1]);
      s.exeout = 1;
      rest += 2;
      break;
    default: break;
  }
  s.byteoutput = (s.binoutput | s.exeout | s.tosout | s.pdp11) != 0 ? 1 : 0;

  s.unfill = (s.intelhex != 0 || s.motorolas != 0 || s.pdp11 != 0) && std::strchr(rest, 'C') == nullptr;
  s.head256 = (s.binoutput != 0 || s.hexoutput != 0) && std::strchr(rest, 'H') != nullptr;
  if (s.exeout != 0) {
    const char* stack = std::strchr(rest, 'S');
    if (stack == nullptr) MufomErr(s, 11);
    s.stack_size = Decimal(stack + 1);
    if (s.typexe == 2) {
      const char* data = std::strchr(rest, 'D');
      if (data == nullptr) MufomErr(s, 11);
      s.data_size = Decimal(data + 1);
    } else {
      s.data_size = 0;
    }
  }
  const char* empty = nullptr;
  if (const char* a = std::strchr(rest, 'A')) {
    s.addval = 1;
    empty = LowerHex(a + 1, s.addad);
  }
  if (const char* z = std::strchr(rest, 'Z')) {
    const char* e = LowerHex(z + 1, s.init_value);
    if (empty == nullptr) empty = e;
  }
  if (const char* f = std::strchr(rest, 'F')) {
    s.filter = 1;
    const char* e = LowerHex(f + 1, s.filterad);
    if (empty == nullptr) empty = e;
  }
  return empty;
}

void Init(RunState& s, const char* word) {
  ReadWord(s, word);
  // Every error of the word is found before anything is printed.
  if (s.unfill != 0) Say(s, "Binary size not limited. Binary output not sorted and not contiguous.\n");
  if (s.head256 != 0) Say(s, "Adding 256 byte header\n");
  s.data.fill(0);
  s.image = Allocate(static_cast<std::size_t>(s.imagesize), "image");
  std::memset(s.image.get(), s.FillByte(), static_cast<std::size_t>(s.imagesize));

  s.linecount = 1;
  s.hexcount = 0;
  s.startad = 0;
  s.bytespmau = 1;
  s.loadaddi = 0;
}

}  // namespace trelon
