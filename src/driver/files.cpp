#include "driver/files.hpp"

#include <cstdio>

namespace trelon {

namespace {

constexpr const char* kErrors[12] = {
    "No hex number",          "Line truncated",     "Checksum error",
    "No MUFOM command",       "Binary too long",    "value too big",
    "Illegal MUFOM format",   "Address too big",    "Illegal number",
    "Unexpected end of file", "Binary not contiguous", "Bad command line options",
};

}  // namespace

const char* ErrorText(int code) { return (code >= 0 && code < 12) ? kErrors[code] : "?"; }

bool OpenFiles(RunState& s, const char* input_name, const char* output_name) {
  s.inname = input_name;
  s.outname = output_name;
  s.infptr = std::fopen(input_name, "rb");
  if (s.infptr == nullptr) {
    Say(s, "Could not open %s\n", input_name);
    return false;
  }
  s.outfptr = std::fopen(output_name, "wb");
  if (s.outfptr == nullptr) {
    std::fclose(s.infptr);
    s.infptr = nullptr;
    Say(s, "Could not open %s\n", output_name);
    return false;
  }
  return true;
}

bool CloseFiles(RunState& s) {
  s.image.reset();
  if (s.infptr != nullptr) {
    std::fclose(s.infptr);
    s.infptr = nullptr;
  }
  if (s.outfptr != nullptr) {
    if (!s.write_failed) {
      try {
        FlushOut(s);
      } catch (const WriteError&) {
      }
    }
    if (std::fclose(s.outfptr) != 0) s.write_failed = true;
    s.outfptr = nullptr;
  }
  return !s.write_failed;
}

void MufomErr(RunState&, int code) { throw MufomError{code}; }

void FlushOut(RunState& s) {
  if (s.outlen == 0) return;
  std::size_t n = s.outlen;
  s.outlen = 0;
  if (std::fwrite(s.outbuf.get(), 1, n, s.outfptr) != n || std::fflush(s.outfptr) != 0) {
    s.write_failed = true;
    throw WriteError{};
  }
}

void PrintOut(RunState& s, const char* format, ...) {
  char text[256];
  va_list ap;
  va_start(ap, format);
  int n = std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  if (n > 0) WriteOut(s, text, static_cast<std::size_t>(n) < sizeof text ? n : sizeof text - 1);
}

void Say(RunState& s, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::vfprintf(s.console, format, ap);
  va_end(ap);
}

int RefillIn(RunState& s) {
  if (s.ineof || s.infptr == nullptr) {
    s.ineof = true;
    return EOF;
  }
  std::size_t n = std::fread(s.inbuf.get(), 1, kInBufSize, s.infptr);
  if (n == 0) {
    if (std::ferror(s.infptr)) throw ReadError{};
    s.ineof = true;
    s.inpos = s.inend = nullptr;
    return EOF;
  }
  s.inpos = s.inbuf.get();
  s.inend = s.inpos + n;
  return *s.inpos++;
}

}  // namespace trelon
