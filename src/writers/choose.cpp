#include "writers/writer.hpp"

namespace trelon {

// Each defined beside its format.
std::unique_ptr<Writer> MakeBinaryWriter(const Options&, Output&, Trace&);
std::unique_ptr<Writer> MakeHexTextWriter(const Options&, Output&, Trace&);
std::unique_ptr<Writer> MakeIntelHexWriter(const Options&, Output&, Trace&);
std::unique_ptr<Writer> MakeSRecordWriter(const Options&, Output&, Trace&);
std::unique_ptr<Writer> MakePdp11Writer(const Options&, Output&, Trace&);
std::unique_ptr<Writer> MakeExeWriter(const Options&, Output&, Trace&);
std::unique_ptr<Writer> MakeTosWriter(const Options&, Output&, Trace&);

std::unique_ptr<Writer> MakeWriter(const Options& options, Output& out, Trace& trace) {
  if (!options.format) return std::make_unique<Writer>(out, trace);
  switch (*options.format) {
    case Format::kBinary: return MakeBinaryWriter(options, out, trace);
    case Format::kHexText: return MakeHexTextWriter(options, out, trace);
    case Format::kIntelHex: return MakeIntelHexWriter(options, out, trace);
    case Format::kSRecords: return MakeSRecordWriter(options, out, trace);
    case Format::kPdp11: return MakePdp11Writer(options, out, trace);
    case Format::kExe: return MakeExeWriter(options, out, trace);
    case Format::kTos: return MakeTosWriter(options, out, trace);
  }
  return nullptr;  // not reached: every format has its case
}

}  // namespace trelon
