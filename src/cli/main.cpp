#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "cli/run.hpp"

#ifdef _WIN32
#include <io.h>
#define open _open
#define O_RDONLY _O_RDONLY
#define O_WRONLY _O_WRONLY
constexpr const char* kNullDevice = "NUL";
// A Windows program started without a standard stream has it unusable
// rather than free for another file: nothing to do.
bool Closed(int) { return false; }
#else
#include <unistd.h>
constexpr const char* kNullDevice = "/dev/null";
bool Closed(int fd) { return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF; }
#endif

int main(int argc, char* argv[]) {
#ifdef SIGPIPE
  // A console that goes away (| head) must not stop the conversion.
  std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
  // A file size limit is a failed write, reported as such.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // A standard stream closed (as cron and daemons may leave it) gets the null
  // device, lowest number first, so that no file the run opens takes its
  // number and the console's text with it.
  unsigned closed = 0;
  for (int fd = 0; fd <= 2; ++fd) {
    if (!Closed(fd)) continue;
    closed |= 1u << fd;
    open(kNullDevice, fd == 0 ? O_RDONLY : O_WRONLY);
  }
  const int status = trelon::RunCommandLine(argc, argv, stdout, stderr, true, closed & 3);
  std::fflush(stdout);
  return status;
}
