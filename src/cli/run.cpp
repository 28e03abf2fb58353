#include "cli/run.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "cli/files.hpp"
#include "cli/warnings.hpp"
#include "cli/word.hpp"
#include "io/output.hpp"
#include "map/map.hpp"
#include "reader/reader.hpp"

namespace trelon {

namespace {

constexpr const char kBanner[] =
    "Trelon-C version 1.0\n"
    "Written by the Trelon developers\n"
    "Converts MUFOM object modules into loadable files\n";

// Whether argument `a` is written as an option ("-" alone names a stream).
bool IsOption(const char* a) { return a[0] == '-' && a[1] != '\0'; }

// Where an option stands, said of one with one dash and of one with two.
constexpr const char* kOptionPlace[] = {"options begin with -- and stand before the option word (--quiet)",
                                        "options stand before the option word"};

// What a conversion ended with; several where they happen together (a fault
// in the module, then a failed write).
struct Outcome {
  bool not_opened = false;  // a file could not be opened (reported then)
  std::optional<ModuleFailure> fault;
  std::optional<OutOfMemory> no_memory;
  std::optional<int> read_error, write_error;  // errno
  Shortfall shortfall;
  std::unique_ptr<LoadAccount> account;  // what the module loaded, once it is read
};

// Converts the module read from `in` (closed afterwards, unless it is
// standard input) into `file`, once open(input, first_line) has opened it
// (reporting why where it cannot) and said where the module's first line is
// counted from; a file left null (for a malformed word) gets nothing.
template <typename OpenOutput>
Outcome Convert(const Options& options, std::FILE* in, Console& console, OutputFile& file, OpenOutput open) {
  Outcome outcome;
  std::optional<Output> output;
  std::unique_ptr<Writer> writer;
  try {
    Input input(in);
    int64_t first_line = 1;
    outcome.not_opened = !open(input, first_line);
    if (!outcome.not_opened) {
      writer = MakeWriter(options, output.emplace(file.file, file.discard), console);
      outcome.account = std::make_unique<LoadAccount>(options.map || !options.map_file.empty());
      outcome.fault = ReadModule(input, options, *writer, console, *outcome.account, first_line);
    }
  } catch (const OutOfMemory& e) {
    outcome.no_memory = e;
  } catch (const std::bad_alloc&) {  // the account's ranges, which grow as the module is read
    outcome.no_memory = OutOfMemory{0, "ranges of the memory map"};
  } catch (const ReadFailed& e) {
    outcome.read_error = e.error;
  } catch (const WriteFailed&) {
    // Output::Close tells why.
  }
  if (writer) outcome.shortfall = writer->shortfall();
  if (output && !output->Close()) outcome.write_error = output->error();
  if (in != stdin) std::fclose(in);
  return outcome;
}

// Reports what went wrong; returns 1 where a file could not be opened, read
// or written (or memory was short), else 0.
int Report(Console& console, const Outcome& outcome, const char* in, const char* out) {
  if (outcome.fault) {
    const auto& error = kModuleErrors[static_cast<std::size_t>(outcome.fault->error)];
    const auto line = static_cast<long long>(outcome.fault->line);
    console.Tell("\nError in muf file: %s in line %lld\n", error.text, line);
    console.Tell("Internal buffer size: 131072 bytes\n");
    // The same in the form compilers use, for editors, make and CI logs.
    const char* name = std::strcmp(in, "-") == 0 ? "<stdin>" : in;
    if (outcome.fault->error == ModuleError::kChecksum)
      console.Diagnostic("%s:%lld: error: %s: the CS command states %02X, the characters give %02X\n", name, line,
                         error.text, outcome.fault->stated, outcome.fault->found);
    else if (line > 0)
      console.Diagnostic("%s:%lld: error: %s%s%s\n", name, line, error.text, *error.fix != '\0' ? ": " : "",
                         error.fix);
  }
  if (outcome.no_memory && outcome.no_memory->bytes == 0)
    console.Tell("Not enough memory for the %s\n", outcome.no_memory->what);
  else if (outcome.no_memory)
    console.Tell("Not enough memory for the %lu byte %s\n", static_cast<unsigned long>(outcome.no_memory->bytes),
                 outcome.no_memory->what);
  if (outcome.read_error) Failed(console, "Could not read", in, *outcome.read_error);
  if (outcome.write_error) Failed(console, "Could not write", out, *outcome.write_error);
  return outcome.not_opened || outcome.no_memory || outcome.read_error || outcome.write_error ? 1 : 0;
}

// Whether `a` looks like an option word: "/" and a format letter.
bool LooksLikeWord(const char* a) {
  struct stat st {};
  return a[0] == '/' && NamesFormat(a[1]) && ::stat(a, &st) != 0;
}

// Says on standard error what looks like a slip in the arguments; returns
// false where the word asks for nothing to be written, or has a modifier
// without its value.
bool Hints(Console& console, const char* const arg[3], const Options& options) {
  const char* word = arg[0];
  const bool misplaced = word[0] != '/' && (LooksLikeWord(arg[1]) || LooksLikeWord(arg[2]));
  if (misplaced) console.Note("the option word comes first: trelon /format inputfile.muf outputfile.ext\n");
  if (IsOption(word)) {
    console.Note("%s: %s\n", word, kOptionPlace[word[1] == '-']);
  } else if (options.malformed && !misplaced) {
    console.Note("%s: %s\n", word, options.fault);
  }
  if (options.malformed) return true;  // reported as a fault
  if (!options.format) {
    console.Note("%s names no format: the formats are B, H, I, M1-M3, P, E1-E3 and T, in upper case\n", word);
    return false;
  }
  if (options.valueless == 0) return true;
  std::string lower = word;
  for (std::size_t k = options.valueless + 1; k < lower.size() && std::isxdigit(lower[k]); ++k)
    lower[k] = static_cast<char>(std::tolower(lower[k]));
  const std::string& letters = options.valueless_letters;
  std::string named;  // "Z", "Z and F", "A, Z and F"
  for (std::size_t k = 0; k < letters.size(); ++k)
    named += std::string(k == 0 ? "" : k + 1 == letters.size() ? " and " : ", ") + letters[k];
  console.Note("%s in %s %s no hex value: hex digits are written in lower case (%s)%s\n", named.c_str(), word,
               letters.size() > 1 ? "have" : "has", lower.c_str(),
               letters.find('F') != std::string::npos ? "; F without a value masks every address to 0" : "");
  return false;
}

// Writes the memory map to the file that --map= names (under --strict, to a
// temporary file beside it, which `file` then puts in place); false, after
// saying why, where it cannot.
bool WriteMapFile(Console& console, const Options& options, const LoadAccount& account, OutputFile& file) {
  const char* name = options.map_file.c_str();
  if (!file.Open(console, name, nullptr, false, Writing::kAll, options.strict, false)) return false;
  WriteMap(file.file, options.map_form, account, options);
  const bool written = std::fflush(file.file) == 0 && !std::ferror(file.file);
  const int error = errno;
  const bool closed = std::fclose(file.file) == 0;
  file.file = nullptr;
  return (written && closed) || Failed(console, "Could not write", name, written ? errno : error);
}

// What a run ends with: the failures, the memory map (to `map`, and to the
// file --map= names) and the warnings, then the reasons behind the
// failures; the output and the map file put in place, or under --strict
// after any error left as they were; and the exit status.
int Conclude(Console& console, const Options& options, const char* const arg[3], const Outcome& outcome,
             bool begins_well, OutputFile& output, std::FILE* map) {
  int status = Report(console, outcome, arg[1], arg[2]);
  const bool ended = status == 0 && !outcome.fault;
  bool lost = false;
  if (outcome.account) {
    if (options.map && ended) {
      std::fputc('\n', map);
      WriteText(map, *outcome.account, options);
    }
    lost = WarnOfLoads(console, *outcome.account, options, arg[1], ended);
  }
  if (!begins_well) {
    const std::string kept = std::strcmp(arg[2], "-") == 0 ? "standard output gets nothing"
                             : output.existed ? std::string("an existing ") + arg[2] + " is left as it was"
                                              : std::string("no ") + arg[2] + " is made";
    console.Note("%s does not begin like a module, so nothing is written: %s\n", arg[1], kept.c_str());
  }
  const bool hints_ok = Hints(console, arg, options);
  const Shortfall& shortfall = outcome.shortfall;
  const bool strict = options.strict;
  if (strict && shortfall.refused) console.Note("the %s writer refused the module; nothing was written\n", arg[0]);
  if (shortfall.unheld != nullptr)
    console.Note("the %s %llX does not fit in the %d-bit fields of %s\n", shortfall.unheld,
                 static_cast<unsigned long long>(shortfall.value), shortfall.bits, arg[0]);
  const bool failed = outcome.fault || !hints_ok || shortfall.refused || shortfall.unheld != nullptr || lost;
  OutputFile map_file;
  const bool succeeded = status == 0 && !(strict && failed);
  if (succeeded && ended && !options.map_file.empty() && !WriteMapFile(console, options, *outcome.account, map_file))
    status = 1;
  if (!output.Commit(console, status == 0 && !(strict && failed))) return 1;
  if (!map_file.Commit(console, status == 0)) return 1;
  return strict && status == 0 && failed ? 2 : status;
}

}  // namespace

int ConvertStreams(const Options& options, std::FILE* input, std::FILE* output, Console& console, std::FILE* map) {
  OutputFile file;
  file.file = output;
  const Outcome outcome = Convert(options, input, console, file, [](Input&, int64_t&) { return true; });
  const int status = Report(console, outcome, "", "");
  const bool ended = status == 0 && !outcome.fault;
  if (outcome.account && map != nullptr && ended)
    for (const MapForm form : {MapForm::kText, MapForm::kJson, MapForm::kSvg})
      WriteMap(map, form, *outcome.account, options);
  if (outcome.account) WarnOfLoads(console, *outcome.account, options, "-", ended);
  return status;
}

int RunCommandLine(int argc, const char* const argv[], std::FILE* console_file, std::FILE* errors, bool avx2,
                   unsigned closed) {
  Options given;  // by the options before the word
  given.avx2 = avx2;
  bool help = false, version = false, map_named = false;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    const std::string option = argv[i];
    if (option.rfind("--map=", 0) == 0) {
      given.map_file = option.substr(6);
      map_named = true;
      continue;
    }
    bool* const flag = option == "--strict"    ? &given.strict
                       : option == "--quiet"   ? &given.quiet
                       : option == "--map"     ? &given.map
                       : option == "--help"    ? &help
                       : option == "--version" ? &version
                                               : nullptr;
    if (flag != nullptr) {
      *flag = true;
    } else {
      Console(console_file, console_file, errors).Note("unknown option %s\n", argv[i]);
      Usage(errors, true);
      return 2;
    }
  }
  const int n = argc - i;
  const char* const* arg = argv + i;
  help = help || (n == 1 && std::strcmp(arg[0], "-h") == 0);
  // Quiet, only failures are told, on standard error; and an output on
  // standard output (under any name) must stay clean.
  const bool to_stdout = n == 3 && (std::strcmp(arg[2], "-") == 0 || IsStandardOutput(arg[2]));
  std::FILE* const report = given.quiet || to_stdout ? errors : console_file;
  Console console(given.quiet ? nullptr : report, report, errors);
  console.Say("%s", kBanner);
  if (help || version) {
    if (help) Usage(given.quiet ? nullptr : report, true);
    return 0;
  }
  if (n != 3) {
    const char* const* option = std::find_if(arg, arg + n, IsOption);
    if (option != arg + n) {
      console.Note("%s: %s\n", *option, kOptionPlace[(*option)[1] == '-']);
    } else {
      console.Note("%d arguments given, 3 wanted: trelon [options] /format inputfile.muf outputfile.ext\n", n);
    }
    Usage(report, false);
    return 2;
  }

  // The map file may not take the place of the input or the output, and
  // its name says its form.
  if (map_named) {
    const char* map = given.map_file.c_str();
    for (const int k : {1, 2}) {
      if (*map == '\0' || !SameFile(map, arg[k], k - 1)) continue;
      console.Tell("Could not open %s: it is the %s file\n", map, k == 1 ? "input" : "output");
      console.Note("%s: the %s would be lost; name another map file\n", map, k == 1 ? "input" : "output");
      return 1;
    }
    const auto form = MapFormOf(given.map_file);
    if (!form) {
      console.Note("--map=%s: the map file's name ends in .txt (text), .json (JSON) or .svg (a picture)\n", map);
      return 2;
    }
    if (!CanOpenOutput(map)) return Failed(console, "Could not open", map, errno), 1;
    given.map_form = *form;
  }
  const Options options = ReadWord(arg[0], given);
  std::optional<Signals> signals;
  if (options.strict) signals.emplace();
  // Nothing is opened that would cost the user a file: the output is
  // refused where it is the input, and an existing one is left as it was
  // where the word names no format or the input is no module. A malformed
  // word is reported without the output being opened, where it could be.
  OutputFile output;
  bool begins_well = true;
  std::FILE* const in = OpenInput(console, arg[1], (closed & kStdinClosed) != 0);
  const auto open = [&](Input& input, int64_t& first_line) {
    if (options.malformed && CanOpenOutput(arg[2])) return true;
    int64_t skipped = 0;
    begins_well = BeginsLikeModule(input, skipped);
    first_line += skipped;
    const Writing writing = !begins_well     ? Writing::kNothing
                            : !options.format ? Writing::kNotOverExisting
                                              : Writing::kAll;
    return output.Open(console, arg[2], in, std::strcmp(arg[1], "-") == 0, writing, options.strict,
                       (closed & kStdoutClosed) != 0);
  };
  Outcome outcome;
  if (in != nullptr) outcome = Convert(options, in, console, output, open);
  outcome.not_opened |= in == nullptr;

  return Conclude(console, options, arg, outcome, begins_well, output, to_stdout ? errors : console_file);
}

int Run(int argc, const char* const argv[], std::FILE* console, std::FILE* errors) {
  return RunCommandLine(argc, argv, console, errors, true, 0);
}

}  // namespace trelon
