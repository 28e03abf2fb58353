// Records (/I, /M1-/M3, /P) of every length at every position near the end
// of the output buffer, streamed and collected. A writer reserves room at
// the buffer's end before it builds a record, and writes the buffer out
// first where there is less; it stores whole vectors and so may write past
// the record's end, into that room. The buffer here has guard bytes behind
// it: room reserved too small lets a record run into them. The image ends
// where its last record does, so that under AddressSanitizer reading past
// it is caught too.
#include <gtest/gtest.h>

#include <cstring>

#include "cli/console.hpp"
#include "cli/word.hpp"
#include "writers/writer.hpp"

namespace {

TEST(Records, StayInTheOutputBuffer) {
  constexpr std::size_t kEnd = trelon::Output::kSize, kGuard = 512;
  const std::string guard(kGuard, '\xA5');
  std::FILE* sink = std::fopen("/dev/null", "wb");
  trelon::Console silent(nullptr, nullptr, nullptr);
  uint8_t bytes[201];
  for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  for (const char* word : {"/I", "/M1", "/M2", "/M3", "/P", "/IC", "/M3C", "/PC"}) {
    const trelon::Options options = trelon::ReadWord(word);
    // Up to one byte more than a full record (a full one written before the
    // last byte), and four full records and a byte (written together).
    const uint32_t full = word[1] == 'P' ? 50 : 32;
    for (uint32_t m = 1; m <= 4 * full + 1; m = m == full + 1 ? 4 * full + 1 : m + 1)
      for (std::size_t g = 0; g <= 160; ++g) {
        trelon::Buffer buffer = trelon::Allocate(kEnd + kGuard, "output buffer");
        uint8_t* const behind = buffer.get() + kEnd;
        std::memcpy(behind, guard.data(), kGuard);
        trelon::Output out(sink, false, std::move(buffer), kEnd - g);
        const auto writer = trelon::MakeWriter(options, out, silent);
        if (options.streamed) {
          writer->Start();
          writer->RecordAt(0xFF00);
          writer->Bytes(bytes, m);
          writer->EndOfModule(0);
        } else {
          trelon::Image image(0, m);
          std::memcpy(image.bytes.get(), bytes, m);
          image.length = m;
          writer->WriteImage(image);
        }
        ASSERT_EQ(std::memcmp(behind, guard.data(), kGuard), 0)
            << word << ": " << m << " bytes, " << g << " before the buffer's end";
      }
  }
  std::fclose(sink);
}

}  // namespace
