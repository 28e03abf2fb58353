#include <csignal>
#include <cstdio>

#include "trelon/trelon.hpp"

int main(int argc, char* argv[]) {
#ifdef SIGPIPE
  // A console that goes away (| head) must not stop the conversion.
  std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
  // A file size limit is a failed write, reported as such.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  const int status = trelon::Run(argc, argv, stdout, stderr);
  std::fflush(stdout);
  return status;
}
