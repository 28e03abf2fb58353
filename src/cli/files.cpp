#include "cli/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

// The temporary files of a --strict run (the output's and the map's),
// removed by a signal that ends the run: the one place a signal handler can
// reach.
char pending[2][4096];

// A slot of `pending` that is free.
int FreeSlot() { return pending[0][0] == '\0' ? 0 : 1; }

// What identifies a file under any name: device and inode (volume and file
// index on Windows), where they could be found out.
struct FileId {
  bool known = false, regular = false;
  uint64_t device = 0, node = 0;
  bool operator==(const FileId& o) const { return known && o.known && device == o.device && node == o.node; }
};

#ifdef _WIN32
constexpr const char* kSeparators = "/\\:";

// NTFS has no inode numbers in stat; the volume and file index say the same.
FileId IdOf(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION i{};
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &i)) return {};
  return {true, GetFileType(h) == FILE_TYPE_DISK, i.dwVolumeSerialNumber,
          static_cast<uint64_t>(i.nFileIndexHigh) << 32 | i.nFileIndexLow};
}
FileId Identify(int fd) { return IdOf(reinterpret_cast<HANDLE>(_get_osfhandle(fd))); }
FileId Identify(const char* name) {
  const HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const FileId id = IdOf(h);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return id;
}

constexpr int kSignals[] = {SIGINT, SIGTERM};

// A new file of our own beside `path`.
int CreateBeside(std::string& temp, const std::string& path, int slot) {
  for (unsigned k = 0; k < 100; ++k) {
    temp = path + ".trelon" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(k);
    const int fd = _open(temp.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd >= 0) std::snprintf(pending[slot], sizeof pending[slot], "%s", temp.c_str());
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool Replace(const char* from, const char* to) { return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0; }

// The output is replaced under the name it was given.
std::string Followed(std::string path) { return path; }
#else
constexpr const char* kSeparators = "/";

// Device and inode: the same under any name or link.
FileId IdOf(int status, const struct stat& st) {
  if (status != 0) return {};
  return {true, S_ISREG(st.st_mode), static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}
FileId Identify(int fd) {
  struct stat st {};
  return IdOf(::fstat(fd, &st), st);
}
FileId Identify(const char* name) {
  struct stat st {};
  return IdOf(::stat(name, &st), st);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A new file of our own beside `path`, named for it and for us
// (".NAME.trelon-XXXXXX", NAME shortened where the folder's limit on names
// needs it), with the mode, owner and group that a new output would get,
// or those of the output it replaces where the process may set them; named
// in pending[slot].
int CreateBeside(std::string& temp, const std::string& path, int slot) {
  const std::size_t cut = path.find_last_of('/');
  const std::string folder = path.substr(0, cut + 1);
  const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  const std::size_t keep = static_cast<std::size_t>(std::max(limit > 0 ? limit : 255, 16L) - 15);
  temp = folder + "." + path.substr(cut + 1, keep) + ".trelon-XXXXXX";
  errno = ENAMETOOLONG;
  if (temp.size() >= sizeof pending[slot]) return -1;
  // Named where a signal handler finds it before the file exists.
  std::memcpy(pending[slot], temp.c_str(), temp.size() + 1);
  const int fd = ::mkstemp(pending[slot]);
  temp = pending[slot];
  if (fd < 0) {
    pending[slot][0] = '\0';
    return fd;
  }
  const mode_t mask = ::umask(0);  // read, and set back
  ::umask(mask);
  struct stat st {};
  const bool replaces = ::stat(path.c_str(), &st) == 0;
  if (replaces && ::fchown(fd, st.st_uid, st.st_gid) != 0) static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), st.st_gid));
  ::fchmod(fd, replaces ? st.st_mode & 07777 : 0666 & ~mask);
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
  for (const char* temp : pending)
    if (temp[0] != '\0') std::remove(temp);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The folder that `path` names a file in.
std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of(kSeparators);
  return cut == std::string::npos ? "." : path.substr(0, cut == 0 ? 1 : cut);
}

// `path` with its folder made absolute and free of links; empty where the
// folder cannot be found.
std::string Resolved(const std::string& path) {
  const std::size_t cut = path.find_last_of(kSeparators);
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
#ifdef _WIN32
  char folder[4096];
  if (_fullpath(folder, FolderOf(path).c_str(), sizeof folder) == nullptr) return {};
  return std::string(folder) + "\\" + name;
#else
  char* const folder = ::realpath(FolderOf(path).c_str(), nullptr);
  if (folder == nullptr) return {};
  const std::string resolved = std::string(folder) + "/" + name;
  std::free(folder);
  return resolved;
#endif
}

// "Could not open <name>" and the reason on standard error, or, as every
// lack of memory is told, "Not enough memory to open <name>" alone.
bool CouldNotOpen(Console& console, const char* name) {
  const int err = errno;
  if (err == ENOMEM) return console.Tell("Not enough memory to open %s\n", name), false;
  return Failed(console, "Could not open", name, err);
}

}  // namespace

bool Failed(Console& console, const char* what, const char* name, int error) {
  console.Tell("%s %s\n", what, name);
  console.Note("%s: %s\n", name, std::strerror(error));
  return false;
}

std::FILE* OpenInput(Console& console, const char* name, bool stdin_closed) {
  const bool standard = std::strcmp(name, "-") == 0;
  if (standard && stdin_closed) return Failed(console, "Could not open", name, EBADF), nullptr;
  std::FILE* input = standard ? Binary(stdin) : std::fopen(name, "rb");
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

bool BeginsLikeModule(Input& input, int64_t& lines) {
  for (;;) {
    // What stands before the first significant character is of no use to the
    // reader but for its line feeds: it makes room for reading on.
    const uint8_t* first = std::find_if(input.pos, input.end, Significant);
    lines += std::count(input.pos, first, '\n');
    input.pos = first;
    const uint8_t* second = first == input.end ? first : std::find_if(first + 1, input.end, Significant);
    if (second != input.end) return IsCommand(static_cast<char>(*first), static_cast<char>(*second));
    if (!input.ReadOn()) return !input.ended;  // a full buffer after the first: the reader will tell
  }
}

bool IsStandardOutput(const char* name) { return Identify(name) == Identify(1); }

bool SameFile(const char* path, const char* other, int fd) {
  const bool standard = std::strcmp(other, "-") == 0;
  if (Identify(path) == (standard ? Identify(fd) : Identify(other))) return true;
  // Either may not be there yet: the same name in the same folder.
  const std::string a = Resolved(path);
  return !standard && !a.empty() && a == Resolved(other);
}

bool OutputFile::Open(Console& console, const char* name, std::FILE* input, bool input_is_standard, Writing writing,
                      bool strict, bool stdout_closed) {
  name_ = name;
  const bool standard = std::strcmp(name, "-") == 0;
  if (standard && stdout_closed) return Failed(console, "Could not write", name, EBADF);
  // A terminal or a pipe may well be both; a file under a name only once.
  const FileId in = input != nullptr ? Identify(fileno(input)) : FileId{};
  if (in == (standard ? Identify(1) : Identify(name)) && (in.regular || !(standard || input_is_standard))) {
    console.Tell("Could not open %s: it is the input file\n", name);
    console.Note("%s: the input would be lost; name another output\n", name);
    return false;
  }
  struct stat st {};
  existed = !standard && ::stat(name, &st) == 0;
  if (writing == Writing::kNothing) return standard || CanOpenOutput(name) || CouldNotOpen(console, name);
  if (standard) {
    file = Binary(stdout);
    return true;
  }
  if (strict && (!existed || S_ISREG(st.st_mode))) {
    path_ = Followed(name);
    errno = 0;  // a temporary name too long to be made sets none
    if (!CanOpenOutput(name)) return CouldNotOpen(console, name);
    slot_ = FreeSlot();
    const int fd = CreateBeside(temp_, path_, slot_);
    if (fd < 0 && existed) {
      const int err = errno;
      console.Tell("Could not open %s\n", name);
      console.Note("%s: %s: no temporary file can be made there; without --strict, %s is written in place\n",
                   FolderOf(path_).c_str(), std::strerror(err), name);
      return false;
    }
    file = fd < 0 ? nullptr : fdopen(fd, "wb");
    return file != nullptr || CouldNotOpen(console, name);
  }
  // Kept, an existing output is opened without being emptied, and nothing
  // is written to it.
  discard = writing == Writing::kNotOverExisting && existed;
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
  const std::string folder = FolderOf(name);
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
  pending[slot_][0] = '\0';
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
