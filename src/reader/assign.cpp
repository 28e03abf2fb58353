#include <string>

#include "reader/module_reader.hpp"

namespace trelon {

uint32_t ModuleReader::FinalAddress(bool adjusted) {
  uint32_t value = 0;
  int digits = 0;
  Next();
  for (int v; (v = HexValue()) >= 0; Next()) {
    if (++digits > 8) Fault(ModuleError::kAddressTooBig);
    value = value * 16 + static_cast<uint32_t>(v);
  }
  if (bytes_per_mau > 1) value *= static_cast<uint32_t>(bytes_per_mau);
  if (adjusted && options.mask) value &= *options.mask;
  if (adjusted && options.offset) value += *options.offset;
  EndsCommand();
  return value;
}

namespace {

// ASG: the start address.
void StartAddress(ModuleReader& r) {
  r.Next();  // the "," (not checked)
  const uint32_t address = r.FinalAddress();
  r.trace.Say("\nStart address:         %4.4X", address);
  r.image.start = address;
  r.account.start_line = r.line;
  r.account.start = address;
}

// ASL: a section's lowest address, where the window is placed.
void LowestAddress(ModuleReader& r) {
  r.trace.Say("\nLowest address:        ");
  std::string section;
  r.ShowText(false, &section);
  r.account.SetSection(section);
  r.trace.Say(", ");
  const uint32_t address = r.FinalAddress();
  r.trace.Say("%4.4X", address);
  // The image goes on where it stands: what it holds stands for addresses
  // moved by as much. So does the stream, once it has written a byte.
  if (address != r.image.first && r.account.size() > 0) r.account.rebase_line = r.line;
  if (r.mode == Mode::kImage) r.image.shift += address - r.image.first;
  if (r.mode == Mode::kStream && r.stream_written == 0) r.stream_base = address;
  if (r.mode == Mode::kRecords) r.writer.RecordAt(address);
  r.image.cursor = 0;
  r.image.first = r.image.end = address;
  r.image.placed = true;
  r.load_at = r.streamed_to = address;
}

// ASS: a section's size. One too long for the image is streamed where the
// format can be, and is a fault where not.
void SectionSize(ModuleReader& r) {
  r.trace.Say("\nSize:                  ");
  r.ShowText();
  r.trace.Say(", ");
  uint32_t size = r.FinalAddress(false);
  if (r.options.mask) size = *r.options.mask + 1;
  r.trace.Say("%8.8X", size);
  if (size < kImageSize || r.mode == Mode::kRecords) {
    r.image.length = size;
  } else if (r.writer.CanStream()) {
    r.writer.BeginStream();
    r.mode = Mode::kStream;
    r.stream_base = r.streamed_to;
    r.account.switch_line = r.line;
    r.account.LoseAll(Loss::kBeforeStream);
    r.trace.Say("Binary must be contiguous, because binary is longer than internal buffer.\n");
  } else {
    Fault(ModuleError::kImageTooLong);
  }
  r.image.end = r.image.first + size;
  if (uint64_t{r.image.first} + size >= uint64_t{1} << 32) r.account.window_wrapped = true;
}

// ASP: where the following LD commands load.
void LoadPosition(ModuleReader& r) {
  std::string section;
  for (r.Next(); r.current != ','; r.Next())
    if (section.size() < kSectionName) section += r.current;
  r.account.SetSection(section);
  const uint32_t address = r.FinalAddress();
  r.load_at = address;
  switch (r.mode) {
    case Mode::kRecords: return r.writer.RecordAt(address);
    case Mode::kStream:
      if (address < r.streamed_to) Fault(ModuleError::kNotContiguous);
      r.writer.Fill(address - r.streamed_to);
      r.stream_written += address - r.streamed_to;
      r.streamed_to = address;
      return;
    case Mode::kImage:
      if (!r.image.MoveTo(address)) Fault(ModuleError::kImageTooLong);
  }
}

}  // namespace

void ModuleReader::Assignment() {
  Next();
  switch (current) {
    case 'G': return StartAddress(*this);
    case 'L': return LowestAddress(*this);
    case 'P': return LoadPosition(*this);
    case 'S': return SectionSize(*this);
    default: Fault(ModuleError::kBadCommand);
  }
}

}  // namespace trelon
