// Converts a module to raw binary in-process with trelon::Run and checks the
// result: consumer DEMO.MUF OUTPUT.BIN
//
// For examples/demo.muf the status is 0, the console ends with the summary
// of an 8-byte image at 0x1000, and the file holds 4E 71 4E 75 and four fill
// bytes.
#include <trelon/trelon.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: consumer DEMO.MUF OUTPUT.BIN\n");
    return 2;
  }
  std::FILE* console = std::tmpfile();
  if (console == nullptr) return 2;
  const char* args[] = {"trelon", "/B", argv[1], argv[2]};
  const int status = trelon::Run(4, args, console);

  std::string text;
  std::rewind(console);
  for (int c; (c = std::fgetc(console)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(console);

  std::ifstream in(argv[2], std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string want_bytes("\x4E\x71\x4E\x75\x00\x00\x00\x00", 8);
  const char* want_tail =
      "\nFirst address:         00001000"
      "\nLast address:          00001008"
      "\nLength:                00000008\n";

  bool ok = true;
  if (status != 0) {
    std::fprintf(stderr, "trelon::Run returned %d, expected 0\n", status);
    ok = false;
  }
  if (text.size() < std::strlen(want_tail) ||
      text.compare(text.size() - std::strlen(want_tail), std::string::npos, want_tail) != 0) {
    std::fprintf(stderr, "console text does not end with the summary:\n%s\n", text.c_str());
    ok = false;
  }
  if (bytes != want_bytes) {
    std::fprintf(stderr, "output file holds %zu bytes, not the 8 expected\n", bytes.size());
    ok = false;
  }
  std::printf("%s\n", ok ? "consumer: in-process conversion ok" : "consumer: FAILED");
  return ok ? 0 : 1;
}
