#include "cli/run.hpp"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <optional>
#include <string>

#include "cli/files.hpp"
#include "cli/options.hpp"
#include "io/output.hpp"
#include "reader/reader.hpp"
#include "writers/writers.hpp"

namespace trelon {

namespace {

constexpr const char kBanner[] =
    "Trelon-C version 1.0\n"
    "Written by the Trelon developers\n"
    "Converts MUFOM object modules into loadable files\n";

// The text of each error code.
constexpr const char* kErrors[12] = {
    "No hex number",   "Line truncated",         "Checksum error",        "No MUFOM command",
    "Binary too long", "value too big",          "Illegal MUFOM format",  "Address too big",
    "Illegal number",  "Unexpected end of file", "Binary not contiguous", "Bad command line options",
};

// Whether `a` looks like an option word: "/" and a format letter.
bool LooksLikeWord(const char* a) {
  struct stat st {};
  return a[0] == '/' && a[1] != '\0' && std::strchr("BHIMPET", a[1]) != nullptr && ::stat(a, &st) != 0;
}

// Says on standard error what looks like a slip in the arguments; returns
// false where the word asks for nothing to be written, or has a modifier
// without its value.
bool Hints(RunState& s, const char* const arg[3], bool word_ok, bool writes, const char* empty) {
  const char* word = arg[0];
  if (word[0] != '/' && (LooksLikeWord(arg[1]) || LooksLikeWord(arg[2])))
    Note(s, "the option word comes first: trelon /format inputfile.muf outputfile.ext\n");
  if (!word_ok) return true;  // reported as error 11
  if (!writes) {
    Note(s, "%s names no format: the formats are B, H, I, M1-M3, P, E1-E3 and T, in upper case\n", word);
    return false;
  }
  if (empty == nullptr) return true;
  std::string lower = word;
  for (std::size_t k = static_cast<std::size_t>(empty - word) + 1; k < lower.size() && std::isxdigit(lower[k]); ++k)
    lower[k] = static_cast<char>(std::tolower(lower[k]));
  Note(s, "%c in %s has no hex value: hex digits are written in lower case (%s)\n", *empty, word, lower.c_str());
  return false;
}

// A run and its one error path: open() (which reports its own failure),
// Init, Convert, GenerateBinary and CloseFiles. Returns the exit status.
template <typename Open>
int Guarded(RunState& s, const char* option_word, Open open) {
  int status = 0;
  try {
    if (!s.inbuf) s.inbuf = Allocate(kInBufSize, "input buffer");
    if (!open()) status = 1;
    if (status == 0 && !s.outbuf) s.outbuf = Allocate(kOutBufSize, "output buffer");
    if (status == 0) Init(s, option_word);
    if (status == 0) Convert(s);
    if (status == 0) GenerateBinary(s);
  } catch (const MufomError& e) {
    s.failed = true;
    const char* text = e.code >= 0 && e.code < 12 ? kErrors[e.code] : "?";
    Tell(s, "\nError in muf file: %s in line %lld\n", text, static_cast<long long>(s.linecount));
    Tell(s, "Internal buffer size: 131072 bytes\n");
  } catch (const OutOfMemory& e) {
    Tell(s, "Not enough memory for the %lu byte %s\n", static_cast<unsigned long>(e.bytes), e.what);
    status = 1;
  } catch (const ReadError& e) {
    Failed(s, "Could not read", s.inname, e.err);
    status = 1;
  } catch (const WriteError&) {
    // Reported below, once the files are closed.
  }
  if (!CloseFiles(s)) {
    Failed(s, "Could not write", s.outname, s.write_errno);
    status = 1;
  }
  return status;
}

}  // namespace

int ConvertFiles(RunState& s, const char* option_word) {
  return Guarded(s, option_word, [] { return true; });
}

int Run(int argc, const char* const argv[], std::FILE* console, std::FILE* errors) {
  RunState s;
  s.console = s.report = console;
  s.errors = errors;
  bool strict = false, quiet = false, help = false, version = false;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    const std::string option = argv[i];
    if (option == "--strict" || option == "--quiet" || option == "--help" || option == "--version") {
      (option == "--strict" ? strict : option == "--quiet" ? quiet : option == "--help" ? help : version) = true;
    } else {
      Note(s, "unknown option %s\n", argv[i]);
      Usage(errors, true);
      return 2;
    }
  }
  const int n = argc - i;
  const char* const* arg = argv + i;
  help = help || (n == 1 && std::strcmp(arg[0], "-h") == 0);
  // Quiet, only failures are told, on standard error; and an output on
  // standard output must stay clean.
  if (quiet || (n == 3 && std::strcmp(arg[2], "-") == 0)) s.report = errors;
  s.console = quiet ? nullptr : s.report;
  Say(s, "%s", kBanner);
  if (help || version) {
    if (help) Usage(s.console, true);
    return 0;
  }
  if (n != 3) {
    Usage(s.report, false);
    return 2;
  }
  const char *word = arg[0], *in = arg[1], *out = arg[2];

  // A mistyped option word, or an input that is no module, must not cost
  // the user an existing output file: a malformed word is reported without
  // the output being opened, and where nothing or no module will be
  // written, an existing output is left as it was.
  RunState probe;
  bool word_ok = true, writes = false;
  const char* empty = nullptr;
  try {
    empty = ReadWord(probe, word);
    // A format was named (byteoutput stands for B, P, E and T).
    writes = (probe.byteoutput | probe.hexoutput | probe.intelhex | probe.motorolas) != 0;
  } catch (const MufomError&) {
    word_ok = false;
  }
  std::optional<Signals> signals;
  if (strict) signals.emplace();
  bool well = true;
  const int status = Guarded(s, word, [&] {
    if (!OpenInput(s, in)) return false;
    if (!word_ok && CanOpenOutput(out)) return true;
    well = BeginsWell(s);
    return OpenOutput(s, out, !writes || !well, strict);
  });
  // The reasons follow the lines that report the failure.
  if (!well) Note(s, "%s does not begin like a module; an existing %s is left as it was\n", in, out);
  const bool ok = Hints(s, arg, word_ok, writes, empty);
  if (strict && s.refused != 0) Note(s, "the %s writer refused the module; nothing was written\n", word);
  if (strict && s.unheld != nullptr)
    Note(s, "the %s %llX does not fit in the %d-bit fields of %s\n", s.unheld,
         static_cast<unsigned long long>(s.unheld_value), static_cast<int>(s.unheld_bits), word);
  const bool failed = s.failed || !ok || s.refused != 0 || s.unheld != nullptr;
  if (!Commit(s, status == 0 && !(strict && failed))) return 1;
  return strict && status == 0 && failed ? 2 : status;
}

}  // namespace trelon
