// Streamed records (/I, /M1-/M3, /P) at every position near the end of the
// output buffer. A writer reserves room at the buffer's end before it builds
// a record, and writes the buffer out first where there is less; it stores
// whole vectors and so may write past the record's end, into that room. The
// buffer here has guard bytes behind it: room reserved too small lets a
// record run into them (and under AddressSanitizer, reading past the image
// is caught too).
#include <gtest/gtest.h>

#include <cstring>

#include "cli/options.hpp"
#include "io/output.hpp"
#include "writers/writers.hpp"

namespace {

TEST(Records, StayInTheOutputBuffer) {
  constexpr std::size_t kEnd = trelon::kOutBufSize, kGuard = 512;
  trelon::Buffer outbuf = trelon::Allocate(kEnd + kGuard, "output buffer");
  const std::string guard(kGuard, '\xA5');
  std::FILE* sink = std::fopen("/dev/null", "wb");
  for (const char* word : {"/I", "/M1", "/M2", "/M3", "/P"}) {
    trelon::RunState s;
    trelon::ReadWord(s, word);
    s.image = trelon::Allocate(trelon::kImageSize, "image");
    for (int32_t i = 0; i < trelon::kImageSize; ++i) s.image[i] = static_cast<uint8_t>(i * 7);
    std::swap(s.outbuf, outbuf);
    s.outfptr = sink;
    for (int32_t m = 1; m <= s.mhexline; ++m)
      for (const int32_t at : {0, trelon::kImageSize - m})  // bytes past the image's end are not read
        for (std::size_t g = 0; g <= 200; ++g) {
          std::memcpy(s.outbuf.get() + kEnd, guard.data(), kGuard);
          s.outlen = kEnd - g;
          s.hexcount = m;
          s.dummy = at;
          if (m == 32 && word[1] != 'P') {  // a run of full records, written together
            (word[1] == 'I' ? trelon::Lines_Hex : trelon::Lines_S)(s, s.image.get() + at, 1);
          } else {
            (word[1] == 'I' ? trelon::Line_Hex : word[1] == 'M' ? trelon::Line_S : trelon::Line_PDP)(s);
          }
          ASSERT_TRUE(s.outlen <= kEnd && std::memcmp(s.outbuf.get() + kEnd, guard.data(), kGuard) == 0)
              << word << ": a record of " << m << " bytes from " << at << ", " << g << " before the end";
        }
    std::swap(s.outbuf, outbuf);
  }
  std::fclose(sink);
}

}  // namespace
