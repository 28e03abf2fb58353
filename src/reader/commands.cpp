#include <algorithm>
#include <cstring>
#include <iterator>

#include "reader/module_reader.hpp"

namespace trelon {

void ModuleReader::ShowText(bool commas, std::string* kept) {
  Next();
  while (current != '.' && (commas || current != ',')) {
    trace.Char(current);
    if (kept != nullptr && kept->size() < kSectionName) *kept += current;
    Next();
  }
}

std::size_t ModuleReader::Unbroken(std::size_t n) const {
  const std::size_t k = account.Unbroken(static_cast<uint32_t>(load_at), n);
  if (mode != Mode::kRecords || load_at >= record_limit) return k;
  return static_cast<std::size_t>(std::min<uint64_t>(k, record_limit - load_at));
}

void ModuleReader::ShowCounted() {
  Next();
  const int high = HexDigit();
  Next();
  for (int length = high * 16 + HexDigit(); length > 0; --length) {
    Next();
    trace.Char(current);
  }
}

// The data bytes of one LD command, and of the LD commands that follow it
// line after line while the input buffer holds them. Runs of whole bytes are
// decoded straight from the input buffer (hex digits are always significant,
// so nothing is skipped there and the line count changes only where a line
// ends as usual); everything else goes through Next one character at a
// time. Records and the stream take the bytes of many lines at once (neither
// refers to the line); the image takes no more than it has room for, so that
// a byte that would not fit is refused at its own line.
void ModuleReader::Load() {
  uint8_t run[4096];
  // The `n` bytes at `bytes`, the first of them loaded in line `at`.
  const auto place = [this](const uint8_t* bytes, std::size_t n, int64_t at) {
    const auto address = static_cast<uint32_t>(load_at);
    uint32_t shift = 0;
    switch (mode) {
      case Mode::kImage:
        if (!image.Load(bytes, n)) Fault(ModuleError::kImageTooLong);
        shift = image.shift;
        break;
      case Mode::kRecords:
        if (load_at >= record_limit) account.Lose(Loss::kPastWidth, load_at, n, at, 0, load_at);
        writer.Bytes(bytes, n);
        break;
      case Mode::kStream: {
        // Written where the stream stands, whatever address they were loaded at.
        const auto written_at = static_cast<uint32_t>(stream_base + stream_written);
        if (written_at != address) account.Lose(Loss::kMoved, load_at, n, at, written_at, load_at);
        writer.Bytes(bytes, n);
        shift = address - written_at;
        streamed_to += static_cast<uint32_t>(n);
        stream_written += n;
      }
    }
    account.Add(address, n, at, shift);
    load_at += n;
  };
  for (;;) {
    for (;;) {
      const uint8_t* p = input.pos;
      const std::size_t room = Unbroken(mode != Mode::kImage ? sizeof run
                                        : image.cursor < kImageSize
                                            ? std::min<std::size_t>(kImageSize - image.cursor, sizeof run)
                                            : 0);
      const Taken t = DecodeHexRuns(p, input.end, run, room, avx2);
      if (p == input.pos) break;
      const int64_t at = line;
      current = static_cast<char>(p[-1]);
      sum = (sum + t.sum) & 0x7F;
      line += t.lines;
      input.pos = p;
      if (t.bytes > 0) place(run, t.bytes, at);
      if (t.bytes < room) break;  // a character other than a digit, or the buffer's end
    }
    Next();
    const int high = HexValue();
    if (high < 0) return EndsCommand();
    Next();
    const auto b = static_cast<uint8_t>(high * 16 + HexDigit());
    place(&b, 1, line);
  }
}

namespace {

void ModuleBegin(ModuleReader& r) {
  r.ShowText();
  r.trace.Say(", ");
  if (r.current != '.') {
    r.ShowCounted();
    r.EndsCommand(true);
  }
}

void ModuleEnd(ModuleReader& r) {
  r.ended = true;
  r.EndsCommand(true);
  r.trace.Say("\nModule End");
}

// AD: bits per MAU (a multiple of 8), then MAUs per address and the byte
// order, traced only.
void AddressDescriptor(ModuleReader& r) {
  r.Next();
  uint32_t bits = 0;
  for (; r.current >= '0' && r.current <= '9'; r.Next())
    bits = bits * 10u + static_cast<uint32_t>(r.current - '0');
  const auto wrapped = static_cast<int32_t>(bits);
  r.trace.Say("%d", wrapped);
  if (wrapped == 0 || wrapped % 8 != 0) Fault(ModuleError::kIllegalNumber);
  r.bytes_per_mau = wrapped / 8;
  if (r.current == ',') {
    r.trace.Say("\nMAUs per address:      ");
    r.ShowText();
    if (r.current == ',') {
      r.trace.Say("\nByte order:            ");
      r.ShowText();
    }
  }
  r.EndsCommand();
}

// CS: the sum of the characters since the last CS (or the module's start),
// "CS" included, modulo 128; without digits it only restarts the sum. The
// sum expected goes into the output where it differs.
void Checksum(ModuleReader& r) {
  const uint32_t expected = r.sum;
  r.Next();
  if (r.current != '.') {
    uint32_t given = static_cast<uint32_t>(r.HexDigit()) * 16;
    r.Next();
    given += static_cast<uint32_t>(r.HexDigit());
    if (given != expected) {
      r.writer.Annotate(kHexPairs.pair[expected], 2);
      throw ModuleFault{ModuleError::kChecksum, given, expected};
    }
    r.EndsCommand(true);
  }
  r.sum = 0;
}

void Comment(ModuleReader& r) {
  r.ShowText();
  r.trace.Say(", ");
  r.ShowCounted();
  r.EndsCommand(true);
}

// DT: a text up to "," or "."; SA, SB, ST: a text up to ".".
void DateTime(ModuleReader& r) {
  r.ShowText();
  r.EndsCommand();
}
void SectionText(ModuleReader& r) {
  r.ShowText(true);
  r.EndsCommand();
}

// Every command, by its two letters, with what it traces first.
constexpr struct {
  char first, second;
  const char* label;
  void (*run)(ModuleReader&);
} kCommands[] = {
    {'A', 'D', "\nBits per MAU:          ", AddressDescriptor},
    {'A', 'S', "", [](ModuleReader& r) { r.Assignment(); }},
    {'C', 'S', "", Checksum},
    {'C', 'O', "\nComment:               ", Comment},
    {'D', 'T', "\nDate and time:         ", DateTime},
    {'L', 'D', "", [](ModuleReader& r) { r.Load(); }},
    {'M', 'B', "\nModule begin:          ", ModuleBegin},
    {'M', 'E', "", ModuleEnd},
    {'S', 'A', "\nSection alignment:     ", SectionText},
    {'S', 'B', "\nSection begin:         ", SectionText},
    {'S', 'T', "\nSection type:          ", SectionText},
};

// What the image leaves out of the bytes loaded into it, once its window is
// final: those past its end, those it holds at other addresses than they
// were loaded at, and for records those past the addresses the format holds;
// all of them where no ASL placed it.
void SettleImage(ModuleReader& r) {
  LoadAccount& account = r.account;
  const Image& image = r.image;
  account.image_end = uint64_t{image.first} + image.length;
  account.ForEach([&](const LoadedRange& g) {
    const auto line = static_cast<int64_t>(g.line);
    if (!image.placed) return account.Lose(Loss::kBeforeLowest, g.first, g.length, line, 0, g.first);
    const uint32_t moved = image.shift - g.shift;
    // The `n` bytes from `address` on, which stand at the offsets from `from` on.
    const auto settle = [&](uint32_t address, uint64_t from, uint64_t n) {
      const uint64_t held = from < image.length ? std::min<uint64_t>(n, image.length - from) : 0;
      const uint64_t at = uint64_t{image.first} + from;  // where the held ones stand
      if (moved != 0) {
        account.Lose(Loss::kMoved, address, held, line, static_cast<uint32_t>(at), from);
      } else if (at + held > r.record_limit) {
        const uint64_t over = std::max(at, r.record_limit);
        account.Lose(Loss::kPastWidth, over, at + held - over, line, 0, over);
      }
      account.Lose(Loss::kPastWindow, static_cast<uint32_t>(address + held), n - held, line, 0, from + held);
    };
    // The offsets pass 0xFFFFFFFF at most once.
    const uint32_t offset = g.first + moved - image.first;
    const uint64_t below = std::min<uint64_t>(g.length, (uint64_t{1} << 32) - offset);
    settle(g.first, offset, below);
    if (below < g.length) settle(static_cast<uint32_t>(g.first + below), 0, g.length - below);
  });
}

// The commands, then the writer's end of the file, and the summary.
void Read(ModuleReader& r) {
  if (r.options.streamed) r.trace.Say("Binary size not limited. Binary output not sorted and not contiguous.\n");
  if (r.options.header) r.trace.Say("Adding 256 byte header\n");
  if (r.mode == Mode::kRecords) r.writer.Start();
  r.trace.Say("\n");
  while (!r.ended) {
    r.Next();
    const char first = r.current;
    // The commands with one first letter stand together in the table.
    const auto* command =
        std::find_if(std::begin(kCommands), std::end(kCommands), [&](const auto& c) { return c.first == first; });
    if (command == std::end(kCommands)) Fault(ModuleError::kIllegalFormat);
    r.in_command = true;
    r.Next();
    command = std::find_if(command, std::end(kCommands),
                           [&](const auto& c) { return c.first == first && c.second == r.current; });
    if (command == std::end(kCommands)) Fault(ModuleError::kBadCommand);
    if (*command->label != '\0') r.trace.Say("%s", command->label);
    command->run(r);
    r.in_command = false;
  }
  if (r.mode != Mode::kImage) r.writer.EndOfModule(r.image.start);
  if (r.mode == Mode::kImage) SettleImage(r);
  if (!r.image.placed) return;
  if (r.mode != Mode::kRecords) {
    r.trace.Say("\nWrite binary to file\n");
    r.writer.WriteImage(r.image);
  }
  if (const auto data = r.writer.ImageOffset()) {
    r.account.file = r.mode == Mode::kStream ? FilePlace{*data, r.stream_base, 0, UINT64_MAX}
                                              : FilePlace{*data, r.image.first, r.image.shift, r.image.length};
  }
  r.trace.Say("\nFirst address:         %8.8X", r.image.first);
  r.trace.Say("\nLast address:          %8.8X", r.image.end);
  r.trace.Say("\nLength:                %8.8X\n",
              r.mode == Mode::kStream ? r.streamed_to - r.image.first : r.image.length);
}

}  // namespace

std::optional<ModuleFailure> ReadModule(Input& input, const Options& options, Writer& writer, Trace& trace,
                                        LoadAccount& account, int64_t first_line) {
  if (options.malformed) return ModuleFailure{ModuleError::kBadOptionWord, 0};
  ModuleReader reader(input, options, writer, trace, account, first_line);
  account.address_limit = reader.record_limit;
  try {
    Read(reader);
  } catch (const ModuleFault& fault) {
    return ModuleFailure{fault.error, reader.line, fault.stated, fault.found};
  }
  return std::nullopt;
}

bool IsCommand(char first, char second) {
  return std::any_of(std::begin(kCommands), std::end(kCommands),
                     [=](const auto& c) { return c.first == first && c.second == second; });
}

}  // namespace trelon
