#include "driver/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "driver/pipeline.hpp"

#ifdef _WIN32
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef W_OK
#define W_OK 2
#endif
#ifndef S_ISDIR
#define S_ISDIR(m) (((m) & S_IFMT) == S_IFDIR)
#endif
#else
#include <unistd.h>
#endif

namespace trelon {

namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "/\\:";

// NTFS has no inode numbers in stat; the volume and file index say the same.
bool SameFile(std::FILE* input, const char* name) {
  const HANDLE out = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  const auto in = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(input)));
  const bool same = GetFileInformationByHandle(in, &a) && GetFileInformationByHandle(out, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                    a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(out);
  return same;
}
#else
constexpr const char* kSeparators = "/";

// Same device and inode: the same file under any name or link.
bool SameFile(std::FILE* input, const char* name) {
  struct stat a {}, b {};
  return ::fstat(fileno(input), &a) == 0 && ::stat(name, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
#endif

// Up to `n` bytes of what the input has ready, 0 at its end. A stream
// without a descriptor (in memory, say) is read through stdio.
std::size_t ReadSome(std::FILE* input, uint8_t* buffer, std::size_t n) {
  const int fd = fileno(input);
  if (fd < 0) {
    const std::size_t got = std::fread(buffer, 1, n, input);
    if (got == 0 && std::ferror(input)) throw ReadError{};
    return got;
  }
  for (;;) {
    const auto got = ::read(fd, buffer, static_cast<unsigned>(n));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) throw ReadError{};
  }
}

// A stream needs memory too; running out of it is said as such.
void CouldNotOpen(RunState& s, const char* name) {
  Say(s, errno == ENOMEM ? "Not enough memory to open %s\n" : "Could not open %s\n", name);
}

constexpr const char* kErrors[12] = {
    "No hex number",          "Line truncated",     "Checksum error",
    "No MUFOM command",       "Binary too long",    "value too big",
    "Illegal MUFOM format",   "Address too big",    "Illegal number",
    "Unexpected end of file", "Binary not contiguous", "Bad command line options",
};

}  // namespace

const char* ErrorText(int code) { return (code >= 0 && code < 12) ? kErrors[code] : "?"; }

bool OpenInput(RunState& s, const char* input_name) {
  s.inname = input_name;
  s.infptr = std::fopen(input_name, "rb");
  if (s.infptr == nullptr) CouldNotOpen(s, input_name);
  return s.infptr != nullptr;
}

bool OpenFiles(RunState& s, const char* input_name, const char* output_name, bool keep) {
  if (!OpenInput(s, input_name)) return false;
  s.outname = output_name;
  const bool same = SameFile(s.infptr, output_name);
  if (!same) s.outfptr = std::fopen(output_name, keep ? "ab" : "wb");
  if (s.outfptr == nullptr) {
    std::fclose(s.infptr);
    s.infptr = nullptr;
    if (same) {
      Say(s, "Could not open %s: it is the input file\n", output_name);
    } else {
      CouldNotOpen(s, output_name);
    }
    return false;
  }
  return true;
}

bool CanOpenOutput(const char* name) {
  const int fd = ::open(name, O_WRONLY | O_NONBLOCK);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  if (errno != ENOENT) return false;
  // A new file: its folder must exist and take it.
  std::string folder(name);
  std::size_t cut = folder.find_last_of(kSeparators);
  folder = cut == std::string::npos ? "." : folder.substr(0, cut == 0 ? 1 : cut);
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK) == 0;
}

std::unique_ptr<uint8_t[]> Allocate(std::size_t n, const char* what) {
  std::unique_ptr<uint8_t[]> p(new (std::nothrow) uint8_t[n]);
  if (!p) throw OutOfMemory{n, what};
  return p;
}

bool CloseFiles(RunState& s) {
  s.image.reset();
  if (s.infptr != nullptr) {
    std::fclose(s.infptr);
    s.infptr = nullptr;
  }
  CloseOut(s);
  return !s.write_failed;
}

void MufomErr(RunState&, int code) { throw MufomError{code}; }

void PrintOut(RunState& s, const char* format, ...) {
  char text[256];
  va_list ap;
  va_start(ap, format);
  int n = std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  if (n > 0) Hand(s, Op::kFileText, text, static_cast<uint32_t>(std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1)));
}

void Say(RunState& s, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  if (s.pipe == nullptr) {
    std::vfprintf(s.console, format, ap);
  } else {
    // The text goes to the console after what the writing has before it.
    va_list again;
    va_copy(again, ap);
    char text[512];
    const int n = std::vsnprintf(text, sizeof text, format, ap);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof text) {
      Hand(s, Op::kText, text, static_cast<uint32_t>(n));
    } else if (n > 0) {
      const auto size = static_cast<std::size_t>(n) + 1;
      const std::unique_ptr<char[]> longer(new (std::nothrow) char[size]);
      if (!longer) {
        va_end(again);
        va_end(ap);
        throw OutOfMemory{size, "console text"};
      }
      std::vsnprintf(longer.get(), size, format, again);
      Hand(s, Op::kText, longer.get(), static_cast<uint32_t>(n));
    }
    va_end(again);
  }
  va_end(ap);
}

void SayChar(RunState& s, char c) {
  if (s.pipe == nullptr) {
    std::fputc(c, s.console);
  } else {
    Hand(s, Op::kText, &c, 1);
  }
}

int RefillIn(RunState& s) {
  if (s.ineof || s.infptr == nullptr) {
    s.ineof = true;
    return EOF;
  }
  std::size_t n = ReadSome(s.infptr, s.inbuf.get(), kInBufSize);
  if (n == 0) {
    s.ineof = true;
    s.inpos = s.inend = nullptr;
    return EOF;
  }
  s.inpos = s.inbuf.get();
  s.inend = s.inpos + n;
  return *s.inpos++;
}

}  // namespace trelon
