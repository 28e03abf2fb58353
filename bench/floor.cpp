// The part of a conversion that no converter can skip: reads the module
// through a 256 KiB buffer and writes `bytes` bytes to the output in 256 KiB
// pieces as the reading goes, the way the converter reads and writes, but
// converts nothing. bench/run.sh times it beside each format. The buffers
// are page-aligned, as the converter's are: the kernel copies into and out
// of unaligned ones up to 3 times slower on some machines.
//
//   trelon_floor in.muf out bytes
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const int in = open(argv[1], O_RDONLY), out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  struct stat st {};
  if (in < 0 || out < 0 || fstat(in, &st) != 0 || st.st_size == 0) return 1;
  const double total = std::strtod(argv[3], nullptr), size = static_cast<double>(st.st_size);
  constexpr std::size_t kBuffer = 1 << 18;
  alignas(4096) static uint8_t buffer[kBuffer];
  alignas(4096) static uint8_t text[kBuffer];
  std::memset(text, 'A', kBuffer);
  double read_so_far = 0, written = 0;
  for (ssize_t n; (n = read(in, buffer, kBuffer)) > 0;) {
    read_so_far += static_cast<double>(n);
    for (; written + kBuffer <= read_so_far / size * total; written += kBuffer)
      if (write(out, text, kBuffer) != static_cast<ssize_t>(kBuffer)) return 1;
  }
  const auto rest = static_cast<std::size_t>(total - written);
  return rest > 0 && write(out, text, rest) != static_cast<ssize_t>(rest) ? 1 : close(out);
}
