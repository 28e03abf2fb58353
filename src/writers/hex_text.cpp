#include <algorithm>

#include "writers/writers.hpp"

namespace trelon {

void OutBytesHex(RunState& s, const uint8_t* bytes, std::size_t n) {
  constexpr std::size_t kChunk = 4096;  // at most 4 characters a byte
  char spill[4 * kChunk];
  const int32_t line = s.mhexline;
  while (n > 0) {
    const std::size_t k = std::min(n, kChunk);
    // In place while the buffer has room for all the chunk could take, else
    // through `spill`: the buffer is then written out only when full, so
    // where the writes fall (and a failing one) does not depend on how the
    // bytes came in pieces.
    const bool in_place = kOutBufSize - s.outlen >= 4 * k;
    char* const start = in_place ? reinterpret_cast<char*>(s.outbuf.get() + s.outlen) : spill;
    char* out = start;
    int32_t count = s.hexcount;
    for (std::size_t i = 0; i < k;) {
      // Up to the end of the current line, then the line end.
      std::size_t m = k - i;
      if (line > count) m = std::min(m, static_cast<std::size_t>(line - count));
      out = PutHexLine(out, bytes + i, m, k - i);
      i += m;
      count += static_cast<int32_t>(m);
      if (count == line && line != 0) {
        *out++ = '\r';
        *out++ = '\n';
        count = 0;
      }
    }
    s.hexcount = count;
    const auto length = static_cast<std::size_t>(out - start);
    if (in_place) {
      s.outlen += length;
    } else {
      WriteOut(s, spill, length);
    }
    bytes += k;
    n -= k;
  }
}

void GenEndBinHexOut(RunState& s) {
  if (s.byteoutput == 0 && s.mhexline != 0 && s.hexcount != 0) WriteOut(s, "\r\n", 2);
}

void BinHexOut(RunState& s) {
  if (s.head256 != 0) {
    Say(s, "Write header (256 bytes)\n");
    std::fill(s.data.begin(), s.data.begin() + 256, uint8_t{0});
    PutLe(&s.data[0], s.minadd, 4);
    PutLe(&s.data[4], static_cast<uint32_t>(s.muflength), 4);
    PutLe(&s.data[8], s.startad, 4);
    if (s.byteoutput != 0) {
      WriteHeader(s, 256);
    } else {
      OutBytesHex(s, s.data.data(), 256);
    }
  }
  if (s.byteoutput != 0) {
    WriteBin(s);
  } else {
    OutBytesHex(s, s.image.get(), static_cast<std::size_t>(s.muflength));
  }
  GenEndBinHexOut(s);
}

}  // namespace trelon
