#include "driver/run.hpp"

#include "driver/files.hpp"
#include "driver/options.hpp"
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
  if (!s.inbuf) s.inbuf = std::make_unique<uint8_t[]>(kInBufSize);
  if (!s.outbuf) s.outbuf = std::make_unique<uint8_t[]>(kOutBufSize);
  int status = 0;
  try {
    Init(s, option_word);
    Convert(s);
    GenerateBinary(s);
  } catch (const MufomError& e) {
    Say(s, "\nError in muf file: %s in line %d\n", ErrorText(e.code), s.linecount);
    Say(s, "Internal buffer size: 131072 bytes\n");
  } catch (const OutOfMemory&) {
    Say(s, "Not enough memory for the 131072 byte image\n");
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
  if (argc != 4) {
    Usage(s, argc > 0 ? argv[0] : "trelon");
    return 2;
  }
  if (!OpenFiles(s, argv[2], argv[3])) return 1;
  return ConvertFiles(s, argv[1]);
}

}  // namespace trelon
