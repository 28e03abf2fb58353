#include "cli/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "io/output.hpp"

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

bool CloseFiles(RunState& s) {
  s.image.reset();
  if (s.infptr != nullptr) {
    std::fclose(s.infptr);
    s.infptr = nullptr;
  }
  CloseOut(s);
  return !s.write_failed;
}

}  // namespace trelon
