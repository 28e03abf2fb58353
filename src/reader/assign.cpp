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
}

// ASL: a section's lowest address, where the window is placed.
void LowestAddress(ModuleReader& r) {
  r.trace.Say("\nLowest address:        ");
  r.ShowText();
  r.trace.Say(", ");
  const uint32_t address = r.FinalAddress();
  r.trace.Say("%4.4X", address);
  if (r.mode == Mode::kRecords) r.writer.RecordAt(address);
  r.image.cursor = 0;
  r.image.first = r.image.end = address;
  r.image.placed = true;
  r.streamed_to = address;
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
    r.trace.Say("Binary must be contiguous, because binary is longer than internal buffer.\n");
  } else {
    Fault(ModuleError::kImageTooLong);
  }
  r.image.end = r.image.first + size;
}

// ASP: where the following LD commands load.
void LoadPosition(ModuleReader& r) {
  do {
    r.Next();
  } while (r.current != ',');
  const uint32_t address = r.FinalAddress();
  switch (r.mode) {
    case Mode::kRecords: return r.writer.RecordAt(address);
    case Mode::kStream:
      if (address < r.streamed_to) Fault(ModuleError::kNotContiguous);
      r.writer.Fill(address - r.streamed_to);
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
