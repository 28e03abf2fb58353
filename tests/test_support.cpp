#include "test_support.hpp"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "driver/files.hpp"
#include "driver/options.hpp"
#include "trelon/trelon.hpp"

namespace trelon::test {

std::string TempDir() {
  char templ[] = "/tmp/trelon-test-XXXXXX";
  if (mkdtemp(templ) == nullptr) throw std::runtime_error("mkdtemp");
  return templ;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

Outcome RunInProcess(const std::string& word, const std::string& module) {
  const std::string dir = TempDir();
  const std::string in = dir + "/in.muf", out = dir + "/out.bin";
  WriteFile(in, module);
  char* buf = nullptr;
  std::size_t len = 0;
  std::FILE* console = open_memstream(&buf, &len);
  const char* argv[] = {"trelon", word.c_str(), in.c_str(), out.c_str()};
  Outcome o;
  o.status = trelon::Run(4, argv, console);
  std::fclose(console);
  o.console.assign(buf, len);
  std::free(buf);
  o.output_exists = Exists(out);
  o.output = ReadFile(out);
  std::remove(in.c_str());
  std::remove(out.c_str());
  ::rmdir(dir.c_str());
  return o;
}

Outcome RunBinary(const std::string& word, const std::string& module) {
  const std::string dir = TempDir();
  const std::string in = dir + "/in.muf", out = dir + "/out.bin", con = dir + "/console.txt";
  WriteFile(in, module);
  const std::string cmd = std::string("'") + TRELON_BINARY + "' '" + word + "' '" + in + "' '" + out +
                          "' > '" + con + "'";
  const int raw = std::system(cmd.c_str());
  Outcome o;
  o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  o.console = ReadFile(con);
  o.output_exists = Exists(out);
  o.output = ReadFile(out);
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(con.c_str());
  ::rmdir(dir.c_str());
  return o;
}

MemoryRun::MemoryRun(const std::string& module) : input(module) {
  s.console = open_memstream(&console_buf, &console_len);
  s.outfptr = open_memstream(&out_buf, &out_len);
  s.infptr = input.empty() ? std::fopen("/dev/null", "rb")
                           : fmemopen(input.data(), input.size(), "rb");
  s.inbuf = std::make_unique<uint8_t[]>(kInBufSize);
  s.outbuf = std::make_unique<uint8_t[]>(kOutBufSize);
  s.linecount = 1;
  s.image = std::make_unique<uint8_t[]>(kImageSize);
}

MemoryRun::~MemoryRun() {
  CloseFiles(s);
  std::fclose(s.console);
  std::free(console_buf);
  std::free(out_buf);
}

int MemoryRun::Init(const char* word) {
  s.linecount = 0;  // as before any run's Init
  return Try([&] { trelon::Init(s, word); });
}

std::string MemoryRun::Console() {
  std::fflush(s.console);
  return std::string(console_buf, console_len);
}

std::string MemoryRun::Output() {
  FlushOut(s);
  std::fflush(s.outfptr);
  return std::string(out_buf, out_len);
}

std::string WithChecksum(const std::string& body, bool end) {
  int sum = 0;
  for (unsigned char c : body) {
    if (static_cast<signed char>(c) > 0x1F) sum = (sum + c) & 0x7F;
  }
  sum = (sum + 'C' + 'S') & 0x7F;
  char cs[8];
  std::snprintf(cs, sizeof cs, "CS%02X.", sum);
  return body + cs + (end ? "ME." : "");
}

}  // namespace trelon::test

namespace trelon::test {

std::string ErrorLines(const std::string& text, int line) {
  return "\nError in muf file: " + text + " in line " + std::to_string(line) +
         "\nInternal buffer size: 131072 bytes\n";
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace trelon::test
