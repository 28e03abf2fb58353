#include "cli/run.hpp"

#include <cstring>

#include "cli/files.hpp"
#include "io/output.hpp"
#include "cli/options.hpp"
#include "reader/reader.hpp"
#include "writers/writers.hpp"

namespace trelon {

namespace {

constexpr const char kBanner[] =
    "Trelon-C version 1.0\n"
    "Written by the Trelon developers\n"
    "Converts MUFOM object modules into loadable files\n";

}  // namespace

int ConvertFiles(RunState& s, const char* option_word) {
  int status = 0;
  try {
    if (!s.inbuf) s.inbuf = Allocate(kInBufSize, "input buffer");
    if (!s.outbuf) s.outbuf = Allocate(kOutBufSize, "output buffer");
    Init(s, option_word);
    Convert(s);
    GenerateBinary(s);
  } catch (const MufomError& e) {
    Say(s, "\nError in muf file: %s in line %lld\n", ErrorText(e.code), static_cast<long long>(s.linecount));
    Say(s, "Internal buffer size: 131072 bytes\n");
  } catch (const OutOfMemory& e) {
    Say(s, "Not enough memory for the %lu byte %s\n", static_cast<unsigned long>(e.bytes), e.what);
    status = 1;
  } catch (const ReadError&) {
    Say(s, "Could not read %s\n", s.inname);
    status = 1;
  } catch (const WriteError&) {
    // Reported below, once the files are closed.
  }
  if (!CloseFiles(s)) {
    Say(s, "Could not write %s\n", s.outname);
    status = 1;
  }
  return status;
}

int Run(int argc, const char* const argv[], std::FILE* console) {
  RunState s;
  s.console = console;
  Say(s, "%s", kBanner);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return 0;
  const bool help = argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
  if (argc != 4) {
    Usage(s, argc > 0 ? argv[0] : "trelon");
    return help ? 0 : 2;
  }
  // A mistyped option word must not cost the user an existing output file:
  // a malformed word is reported as ever without the output being opened,
  // and a word that names no format (nothing will be written) opens it
  // without emptying it.
  RunState probe;
  bool word_ok = true;
  try {
    ReadWord(probe, argv[1]);
  } catch (const MufomError&) {
    word_ok = false;
  }
  const bool writes = (probe.binoutput | probe.hexoutput | probe.intelhex | probe.motorolas | probe.pdp11 |
                       probe.exeout | probe.tosout) != 0;
  if (word_ok || !CanOpenOutput(argv[3])) {
    if (!OpenFiles(s, argv[2], argv[3], !writes)) return 1;
  } else if (!OpenInput(s, argv[2])) {
    return 1;
  }
  return ConvertFiles(s, argv[1]);
}

}  // namespace trelon
