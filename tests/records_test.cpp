// Streamed records (/I, /M1-/M3, /P) at the end of the output buffer. A
// writer reserves room at the buffer's end before it builds a record, and
// writes the buffer out first where there is less; it stores whole vectors
// and so may write past the record's end, into that room. Room reserved too
// small lets a record run past the buffer, which only AddressSanitizer sees.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "cli/run.hpp"

namespace {

std::string out;          // what the last conversion wrote
std::size_t first_write;  // and the size of its first write: the buffer when it was first written out

// `module` converted with `word` in memory, unbuffered, into `out`. The
// buffers are reused: fresh ones cost more than a run.
void Convert(const char* word, const std::string& module) {
  static trelon::Buffer inbuf, outbuf;
  trelon::RunState s;
  std::swap(s.inbuf, inbuf), std::swap(s.outbuf, outbuf);
  s.console = s.report = s.errors = nullptr;
  s.infptr = fmemopen(const_cast<char*>(module.data()), module.size(), "rb");
  cookie_io_functions_t append{};
  append.write = [](void*, const char* bytes, std::size_t n) {
    if (out.empty()) first_write = n;
    return out.append(bytes, n), static_cast<ssize_t>(n);
  };
  out.clear();
  s.outfptr = fopencookie(nullptr, "w", append);
  std::setvbuf(s.outfptr, nullptr, _IONBF, 0);
  trelon::ConvertFiles(s, word);
  EXPECT_FALSE(s.failed) << word;
  std::swap(s.inbuf, inbuf), std::swap(s.outbuf, outbuf);
}

// A record of `m` bytes at address 0, written when the next command comes.
std::string Record(int m) {
  const std::string digits = "0123456789ABCDEFFEDCBA98765432100123456789ABCDEFFEDCBA9876543210";
  return "ASP0,0.LD" + (digits + digits).substr(0, 2 * m) + ".\n";
}

// A record that starts g characters before the buffer's end is built there
// if its writer's room fits in g, else after the buffer is written out. For
// every record length, the smallest g that keeps the record in the buffer
// is found by bisection over two longest records: the record is converted
// where it is built nearest the end. What each conversion writes is what
// the records write on their own.
TEST(Records, AtTheOutputBuffersEnd) {
  const std::size_t end = trelon::kOutBufSize;
  for (const auto& [format, most] : {std::pair{"/I", 32}, {"/M1", 32}, {"/M2", 32}, {"/M3", 32}, {"/P", 50}}) {
    const char* const word = format;  // a lambda may not capture a structured binding (clang 14)
    const int longest = most;
    Convert(word, "ME.");
    const std::string none = out;
    const std::size_t head = word[1] == 'M' ? none.find('\n') + 1 : 0;  // the S0 record
    std::vector<std::string> single(longest + 1);                       // the output of one record of m bytes
    for (int m = 1; m <= longest; ++m) Convert(word, Record(m) + "ME."), single[m] = out;
    const auto length = [&](int m) { return single[m].size() - none.size(); };  // of the record
    const std::size_t full = length(longest), records = end / full - 5;
    std::string module;  // full records in one run (addresses within 16 bits), 5 or so short of the end
    for (std::size_t k = 0; k < records; ++k)
      module += (k % 1000 ? "" : "ASP0,0.") + Record(longest).substr(7);
    const std::size_t bulk = module.size(), bulk_end = head + records * full;
    std::vector<int> made(8 * full);  // made[d]: the last length of records d long in all (0: none)
    for (std::size_t d = 1; d < made.size(); ++d)
      for (int m = 1; m <= longest; ++m)
        if (length(m) == d || (length(m) < d && made[d - length(m)] != 0)) made[d] = m;
    for (int m = 1; m <= longest; ++m) {
      const auto kept = [&](std::size_t g) {  // whether the record g before the end is built there
        module.resize(bulk);
        for (std::size_t d = end - g - bulk_end; d > 0 && made[d] != 0; d -= length(made[d]))
          module += Record(made[d]);
        Convert(word, module.append(Record(m)).append("ME."));
        EXPECT_TRUE(out.size() == end - g + single[m].size() - head && out.ends_with(single[m].substr(head)))
            << word << ", " << m << " bytes " << g << " before the end";
        return first_write >= end - g + length(m);
      };
      std::size_t low = 0, high = 2 * full;
      ASSERT_TRUE(kept(high)) << word << ", " << m << " bytes";
      while (high - low > 1) {
        const std::size_t g = (low + high) / 2;
        (kept(g) ? high : low) = g;
      }
      EXPECT_GE(high, length(m)) << word << ": a record of " << m << " bytes is built where it does not fit";
    }
  }
}

}  // namespace
