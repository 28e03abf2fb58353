// The output stage: the final emission and the writer of each format.
#pragma once

#include "run_state.hpp"
#include "writers/records.hpp"

namespace trelon {

// Final emission after the module has been read: the chosen writer, then the
// address summary.
void GenerateBinary(RunState& s);

// Image bytes 0 .. muflength-1 to the output file.
void WriteBin(RunState& s);

// The first n bytes of s.data (a file header, say) to the output file.
inline void WriteHeader(RunState& s, int32_t n) { WriteOut(s, s.data.data(), static_cast<std::size_t>(n)); }

// What the reader hands on while it reads, in its order: the start (before
// the first command); LD bytes for the pending record (streamed records)
// and a new record address (the pending record is written first); the
// staged raw block written as far as it goes (contiguous streaming starts);
// and the finish (after the module end: the last block or record, and the
// closing record).
void StartWriting(RunState& s);
void RecordBytes(RunState& s, const uint8_t* bytes, std::size_t n);
void RecordAt(RunState& s, uint32_t address);
void EndBlock(RunState& s);
void FinishWriting(RunState& s);

// Contiguous streaming: `count` fill bytes, or `n` data bytes, in address
// order; raw bytes are staged in blocks of 256, a full block being written
// only once a further byte arrives.
void StreamFill(RunState& s, uint32_t count);
void StreamBytes(RunState& s, const uint8_t* bytes, std::size_t n);

// Hex text dump: bytes as two hex digits each, CR LF after every
// `mhexline` bytes of the whole output.
void OutBytesHex(RunState& s, const uint8_t* bytes, std::size_t n);
void GenEndBinHexOut(RunState& s);
void BinHexOut(RunState& s);

// Intel Hex.
void Line_Hex(RunState& s);
void Lines_Hex(RunState& s, const uint8_t* data, std::size_t count);  // of 32 bytes
void End_Hex(RunState& s);
void IntelOut(RunState& s);

// Motorola S-records.
void Begin_S(RunState& s);
void Line_S(RunState& s);
void Lines_S(RunState& s, const uint8_t* data, std::size_t count);  // of 32 bytes
void End_S(RunState& s);
void SOut(RunState& s);

// PDP-11 absolute loader records.
void Line_PDP(RunState& s);
void End_PDP(RunState& s);
void PDPOut(RunState& s);

// MS-DOS executable and TOS program file.
void GenExe(RunState& s);
void GenTos(RunState& s);

}  // namespace trelon
