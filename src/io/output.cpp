#include "io/output.hpp"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace trelon {

namespace {

// The whole of `n` bytes: straight to the file's descriptor, or through
// stdio for a stream that has none (in memory, say).
bool WriteAll(std::FILE* file, const uint8_t* data, std::size_t n) {
  const int fd = fileno(file);
  if (fd < 0) return std::fwrite(data, 1, n, file) == n && std::fflush(file) == 0;
  while (n > 0) {
    const auto put = ::write(fd, data, static_cast<unsigned>(n));
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = ENOSPC;
    if (put <= 0) return false;
    data += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

bool Output::Written() {
  const std::size_t n = length_;
  length_ = 0;
  if (n == 0 || discard_ || WriteAll(file_, buffer_.get(), n)) return true;
  failed_ = true;
  error_ = errno;
  return false;
}

bool Output::Close() {
  if (file_ == nullptr) return !failed_;
  if (!failed_) Written();
  const bool closed = file_ == stdout ? std::fflush(stdout) == 0 : std::fclose(file_) == 0;
  if (!closed && !failed_) {
    failed_ = true;
    error_ = errno;
  }
  file_ = nullptr;
  return !failed_;
}

}  // namespace trelon
