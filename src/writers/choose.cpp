#include "writers/writer.hpp"

namespace trelon {

std::unique_ptr<Writer> MakeWriter(const Options& options, Output& out, Trace& trace) {
  if (!options.format) return std::make_unique<Writer>(out, trace);
  switch (*options.format) {
    case Format::kBinary: return MakeWriterOf<Format::kBinary>(options, out, trace);
    case Format::kHexText: return MakeWriterOf<Format::kHexText>(options, out, trace);
    case Format::kIntelHex: return MakeWriterOf<Format::kIntelHex>(options, out, trace);
    case Format::kSRecords: return MakeWriterOf<Format::kSRecords>(options, out, trace);
    case Format::kPdp11: return MakeWriterOf<Format::kPdp11>(options, out, trace);
    case Format::kExe: return MakeWriterOf<Format::kExe>(options, out, trace);
    case Format::kTos: return MakeWriterOf<Format::kTos>(options, out, trace);
  }
  return nullptr;  // not reached: every format has its case
}

}  // namespace trelon
