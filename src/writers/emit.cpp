#include <algorithm>
#include <cstdio>
#include <cstring>

#include "writers/writers.hpp"

namespace trelon {

void WriteBin(RunState& s) {
  if (s.muflength > 0) WriteOut(s, s.image.get(), static_cast<std::size_t>(s.muflength));
}

namespace {

// The block of raw bytes being staged in contiguous streaming: at the end of
// the output buffer, behind what counts there, while the buffer has room
// for a whole block of 256 (the bytes then go to the file with one copy),
// else in s.data. Nothing else is written while a block is staged, so the
// place stays the same until the block is written or dropped.
bool StagedInOutput(const RunState& s) { return kOutBufSize - s.outlen >= 256; }
uint8_t* StagingBlock(RunState& s) {
  return StagedInOutput(s) ? s.outbuf.get() + s.outlen : s.data.data();
}

// The first n staged bytes to the output file.
void Write_Data(RunState& s, int32_t n) {
  if (StagedInOutput(s)) {
    s.outlen += static_cast<std::size_t>(n);
  } else {
    WriteOut(s, s.data.data(), static_cast<std::size_t>(n));
  }
}

// The pending record, if any, written at its address in the chosen format
// (a full one once a further byte arrives, or any before the address
// changes).
void FlushRecord(RunState& s) {
  if (s.hexcount > 0) {
    HoldsRecord(s, s.begin_address, static_cast<uint64_t>(s.hexcount));
    s.dummy = 0;
    if (s.intelhex != 0) Line_Hex(s);
    if (s.motorolas != 0) Line_S(s);
    if (s.pdp11 != 0) Line_PDP(s);
  }
  s.hexcount = 0;
}

// Stages `n` raw bytes (all `fill` when `bytes` is null). Whole blocks
// that further bytes follow go to the output buffer at once while it has
// room for them.
void StageRaw(RunState& s, const uint8_t* bytes, uint8_t fill, uint64_t n) {
  // The next `k` bytes, or fill bytes, at `to`.
  const auto put = [&](uint8_t* to, std::size_t k) {
    if (bytes != nullptr) {
      std::memcpy(to, bytes, k);
      bytes += k;
    } else {
      std::memset(to, fill, k);
    }
  };
  while (n > 0) {
    if (s.contigi == 256) {
      Write_Data(s, 256);
      s.contigi = 0;
    }
    std::size_t k;
    if (s.contigi == 0 && n > 256 && StagedInOutput(s)) {
      k = static_cast<std::size_t>(std::min<uint64_t>((n - 1) / 256, (kOutBufSize - s.outlen) / 256)) * 256;
      put(s.outbuf.get() + s.outlen, k);
      s.outlen += k;
    } else {
      k = static_cast<std::size_t>(std::min<uint64_t>(n, static_cast<uint64_t>(256 - s.contigi)));
      put(StagingBlock(s) + s.contigi, k);
      s.contigi += static_cast<int32_t>(k);
    }
    n -= k;
  }
}

}  // namespace

void StreamBytes(RunState& s, const uint8_t* bytes, std::size_t n) {
  if (s.byteoutput != 0) return StageRaw(s, bytes, 0, n);
  OutBytesHex(s, bytes, n);
}

void StreamFill(RunState& s, uint32_t count) {
  const uint8_t fill = s.FillByte();
  if (s.byteoutput != 0) {
    StageRaw(s, nullptr, fill, count);
  } else {
    uint8_t block[256];
    std::memset(block, fill, sizeof block);
    for (uint32_t left = count; left > 0;) {
      const uint32_t k = std::min<uint32_t>(left, sizeof block);
      OutBytesHex(s, block, k);
      left -= k;
    }
  }
}

// LD bytes in streamed records: a full record is written only once a
// further byte arrives.
void RecordBytes(RunState& s, const uint8_t* bytes, std::size_t n) {
  const auto line = static_cast<std::size_t>(s.mhexline);
  while (n > 0) {
    if (s.hexcount >= s.mhexline) FlushRecord(s);
    if (s.hexcount == 0 && n > line && s.pdp11 == 0) {
      // Whole Intel Hex or S-records that further bytes follow, straight
      // from the bytes.
      const std::size_t records = (n - 1) / line;
      HoldsRecord(s, s.begin_address, records * line);  // FlushRecord checks the others
      s.intelhex != 0 ? Lines_Hex(s, bytes, records) : Lines_S(s, bytes, records);
      bytes += records * line;
      n -= records * line;
    }
    const std::size_t k = std::min(n, static_cast<std::size_t>(s.mhexline - s.hexcount));
    std::memcpy(s.image.get() + s.hexcount, bytes, k);
    s.hexcount += static_cast<int32_t>(k);
    bytes += k;
    n -= k;
  }
}

// A raw block is staged only in contiguous streaming, so `contigi` is 0 in
// every other mode.
void EndBlock(RunState& s) {
  if (s.byteoutput != 0 && s.contigi > 0) Write_Data(s, s.contigi);
  s.contigi = 0;
}

void StartWriting(RunState& s) {
  s.contigi = 0;
  if (s.unfill != 0) {
    s.hexcount = 0;
    s.begin_address = 0;
    if (s.motorolas != 0) Begin_S(s);
  }
}

void RecordAt(RunState& s, uint32_t address) {
  FlushRecord(s);
  s.begin_address = address;
}

void FinishWriting(RunState& s) {
  EndBlock(s);
  if (s.unfill != 0) {
    FlushRecord(s);
    if (s.motorolas != 0) End_S(s);
    if (s.intelhex != 0) End_Hex(s);
    if (s.pdp11 != 0) End_PDP(s);
  }
}

void GenerateBinary(RunState& s) {
  if (s.empty != 0) return;
  if (s.unfill == 0) {
    Say(s, "\nWrite binary to file\n");
    if (s.contiguous != 0) {
      GenEndBinHexOut(s);
    } else {
      if (s.binoutput != 0 || s.hexoutput != 0) BinHexOut(s);
      if (s.intelhex != 0) IntelOut(s);
      if (s.motorolas != 0) SOut(s);
      if (s.pdp11 != 0) PDPOut(s);
      if (s.exeout != 0) GenExe(s);
      if (s.tosout != 0) GenTos(s);
    }
  }
  Say(s, "\nFirst address:         %8.8X", s.minadd);
  Say(s, "\nLast address:          %8.8X", s.maxadd);
  uint32_t length = s.contiguous != 0 ? s.loadadd - s.minadd : static_cast<uint32_t>(s.muflength);
  Say(s, "\nLength:                %8.8X\n", length);
}

}  // namespace trelon
