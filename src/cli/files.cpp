#include "cli/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "reader/reader.hpp"

#ifdef _WIN32
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#define S_ISDIR(m) (((m) & S_IFMT) == S_IFDIR)
#define S_ISREG(m) (((m) & S_IFMT) == S_IFREG)
#define O_NONBLOCK 0
#else
#include <unistd.h>
#endif

namespace trelon {

namespace {

// The temporary output of a --strict run, removed by a signal that ends the
// run: the one place a signal handler can reach.
char pending[4096];

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

constexpr int kSignals[] = {SIGINT, SIGTERM};

// A new file of our own beside `path`.
int CreateBeside(std::string& temp, const std::string& path) {
  for (unsigned k = 0; k < 100; ++k) {
    temp = path + ".trelon" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(k);
    const int fd = _open(temp.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd >= 0) std::snprintf(pending, sizeof pending, "%s", temp.c_str());
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool Replace(const char* from, const char* to) { return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0; }

// The output is replaced under the name it was given.
std::string Followed(std::string path) { return path; }
#else
constexpr const char* kSeparators = "/";

// Same device and inode: the same file under any name or link.
bool SameFile(std::FILE* input, const char* name) {
  struct stat a {}, b {};
  return ::fstat(fileno(input), &a) == 0 && ::stat(name, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A new file of our own beside `path`, with the mode that a new output
// would get, or that of the output it replaces.
int CreateBeside(std::string& temp, const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  temp = path.substr(0, cut + 1) + "." + path.substr(cut + 1) + ".XXXXXX";
  if (temp.size() >= sizeof pending) return -1;
  // Named where a signal handler finds it before the file exists.
  std::memcpy(pending, temp.c_str(), temp.size() + 1);
  const int fd = ::mkstemp(pending);
  temp = pending;
  if (fd < 0) {
    pending[0] = '\0';
    return fd;
  }
  const mode_t mask = ::umask(0);  // read, and set back
  ::umask(mask);
  struct stat st {};
  ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0666 & ~mask);
  return fd;
}

bool Replace(const char* from, const char* to) { return std::rename(from, to) == 0; }

// Where a symbolic link leads, link after link.
std::string Followed(std::string path) {
  char target[4096];
  for (int k = 0; k < 40; ++k) {
    const auto n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) break;
    target[n] = '\0';
    const std::size_t cut = path.find_last_of('/');
    path = target[0] == '/' || cut == std::string::npos ? std::string(target) : path.substr(0, cut + 1) + target;
  }
  return path;
}
#endif

// Standard input or output, in binary mode.
std::FILE* Binary(std::FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
#endif
  return stream;
}

void Removed(int signal) {
  if (pending[0] != '\0') std::remove(pending);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// "Could not open <name>" (or a lack of memory), and the reason on standard error.
bool CouldNotOpen(Console& console, const char* name) {
  const int err = errno;
  return Failed(console, err == ENOMEM ? "Not enough memory to open" : "Could not open", name, err);
}

}  // namespace

bool Failed(Console& console, const char* what, const char* name, int error) {
  console.Tell("%s %s\n", what, name);
  console.Note("%s: %s\n", name, std::strerror(error));
  return false;
}

std::FILE* OpenInput(Console& console, const char* name) {
  std::FILE* input = std::strcmp(name, "-") == 0 ? Binary(stdin) : std::fopen(name, "rb");
  if (input == nullptr) return CouldNotOpen(console, name), nullptr;
  // A folder opens on some systems, and only its reading fails.
  struct stat st {};
  if (::fstat(fileno(input), &st) == 0 && S_ISDIR(st.st_mode)) {
    if (input != stdin) std::fclose(input);
    errno = EISDIR;
    return CouldNotOpen(console, name), nullptr;
  }
  return input;
}

bool BeginsLikeModule(Input& input) {
  char first[2];
  std::size_t found = 0;
  const uint8_t* p = input.pos;
  for (;;) {
    for (; p != input.end && found < 2; ++p)
      if (Significant(*p)) first[found++] = static_cast<char>(*p);
    if (found == 2) break;
    const std::ptrdiff_t at = p - input.pos;
    if (!input.ReadAhead()) return !input.ended;  // a full buffer without two: the reader will tell
    p = input.pos + at;
  }
  return IsCommand(first[0], first[1]);
}

bool OutputFile::Open(Console& console, const char* name, std::FILE* input, bool input_is_standard, bool keep,
                      bool strict) {
  name_ = name;
  if (std::strcmp(name, "-") == 0) {
    file = Binary(stdout);
    return true;
  }
  if (!input_is_standard && SameFile(input, name)) {
    console.Tell("Could not open %s: it is the input file\n", name);
    console.Note("%s: the input would be lost; name another output\n", name);
    return false;
  }
  struct stat st {};
  const bool exists = ::stat(name, &st) == 0;
  if (strict && (!exists || S_ISREG(st.st_mode))) {
    path_ = Followed(name);
    errno = 0;  // a temporary name too long to be made sets none
    if (!CanOpenOutput(name)) return CouldNotOpen(console, name);
    const int fd = CreateBeside(temp_, path_);
    file = fd < 0 ? nullptr : fdopen(fd, "wb");
    return file != nullptr || CouldNotOpen(console, name);
  }
  // Kept, an existing output is opened without being emptied, and nothing
  // is written to it.
  discard = keep && exists;
  file = std::fopen(name, discard ? "ab" : "wb");
  return file != nullptr || CouldNotOpen(console, name);
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
  if (::stat(folder.c_str(), &st) != 0) return false;
  errno = S_ISDIR(st.st_mode) ? EACCES : ENOTDIR;
  return S_ISDIR(st.st_mode) && ::access(folder.c_str(), 2) == 0;
}

bool OutputFile::Commit(Console& console, bool keep) {
  if (temp_.empty()) return true;
  const bool done = keep && Replace(temp_.c_str(), path_.c_str());
  const int err = errno;
  if (!done) std::remove(temp_.c_str());
  pending[0] = '\0';
  return done || !keep || Failed(console, "Could not write", name_, err);
}

Signals::Signals() {
  for (std::size_t k = 0; k < std::size(kSignals); ++k) {
    // A signal ignored when the run started (in a background job, say) stays so.
    before[k] = std::signal(kSignals[k], Removed);
    if (before[k] == SIG_IGN) std::signal(kSignals[k], SIG_IGN);
  }
}

Signals::~Signals() {
  for (std::size_t k = 0; k < std::size(kSignals); ++k) std::signal(kSignals[k], before[k]);
}

}  // namespace trelon
