// In-memory conversion runs for the fuzz targets and the regression tests,
// and the properties that every run must have, whatever its input.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run.hpp"
#include "run_state.hpp"

namespace trelon::fuzz {

inline constexpr const char* kInName = "fuzz.muf";
inline constexpr const char* kOutName = "fuzz.out";

// Every output of image mode fits in well under 1 MiB (the largest, a
// 131071-byte image as S3 records, is about 330 KB); only contiguous
// streaming, streamed records and an E1 stack can legitimately grow beyond.
inline constexpr std::size_t kDefaultCap = std::size_t{1} << 20;

// One conversion with the module read from memory and the output collected
// in memory. The output refuses every write past `cap` bytes, as a full disk
// would, so that legitimate but huge outputs (a 4 GB gap in contiguous
// streaming, an E1 stack of millions of paragraphs) end early with
// "Could not write" instead of taking the fuzzer's time.
struct Run {
  std::string word, module;
  std::size_t cap = kDefaultCap;
  std::size_t read_pos = 0;
  std::string output;
  bool refused = false;  // a write was refused because of the cap
  std::string console;
  int status = -1;
  RunState state;  // as the run left it

  Run(std::string w, std::string m, std::size_t c = kDefaultCap)
      : word(std::move(w)), module(std::move(m)), cap(c) {}
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  void Execute() {
    cookie_io_functions_t in_io{};
    in_io.read = [](void* cookie, char* buf, std::size_t n) -> ssize_t {
      auto* r = static_cast<Run*>(cookie);
      const std::size_t left = r->module.size() - r->read_pos;
      if (n > left) n = left;
      std::memcpy(buf, r->module.data() + r->read_pos, n);
      r->read_pos += n;
      return static_cast<ssize_t>(n);
    };
    cookie_io_functions_t out_io{};
    out_io.write = [](void* cookie, const char* buf, std::size_t n) -> ssize_t {
      auto* r = static_cast<Run*>(cookie);
      if (n > r->cap - r->output.size()) {
        r->refused = true;
        return 0;
      }
      r->output.append(buf, n);
      return static_cast<ssize_t>(n);
    };
    char* console_buf = nullptr;
    std::size_t console_len = 0;
    state.console = open_memstream(&console_buf, &console_len);
    state.infptr = fopencookie(this, "rb", in_io);
    state.outfptr = fopencookie(this, "wb", out_io);
    if (state.console == nullptr || state.infptr == nullptr || state.outfptr == nullptr) std::abort();
    // Unbuffered, so that the cap applies to exactly what the run wrote.
    std::setvbuf(state.outfptr, nullptr, _IONBF, 0);
    state.inname = kInName;
    state.outname = kOutName;
    // The run's large I/O buffers are kept from one run to the next: fresh
    // ones cost the fuzzer more time in the kernel than in the converter.
    static std::unique_ptr<uint8_t[]> spare_in, spare_out;
    state.inbuf = std::move(spare_in);
    state.outbuf = std::move(spare_out);
    status = ConvertFiles(state, word.c_str());
    spare_in = std::move(state.inbuf);
    spare_out = std::move(state.outbuf);
    std::fclose(state.console);
    state.console = nullptr;
    console.assign(console_buf, console_len);
    std::free(console_buf);
  }
};

// ---------------------------------------------------------------------------
// Small parsers for the output formats.

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Upper-case hex digit pairs to bytes; false on anything else.
inline bool DecodeHex(std::string_view text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return true;
}

inline bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

inline std::size_t Count(std::string_view s, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t p = s.find(what); p != std::string_view::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

// One data or end record of Intel Hex, S-records or PDP-11 loader records.
struct Record {
  int type = 0;  // Intel: 0 data, 1 end; S: the digit; PDP: 0 data, 1 end
  uint32_t address = 0;
  std::vector<uint8_t> data;
};

// Splits `text` into lines ended by `eol`; the text must end with one.
inline bool SplitLines(std::string_view text, std::string_view eol, std::vector<std::string_view>& lines,
                       std::string& why) {
  while (!text.empty()) {
    const std::size_t end = text.find(eol);
    if (end == std::string_view::npos) {
      why = "last line not ended";
      return false;
    }
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + eol.size());
  }
  return true;
}

inline bool ParseIntel(std::string_view text, std::vector<Record>& records, std::string& why) {
  std::vector<std::string_view> lines;
  if (!SplitLines(text, "\r\n", lines, why)) return false;
  for (std::string_view line : lines) {
    std::vector<uint8_t> b;
    if (line.empty() || line[0] != ':' || !DecodeHex(line.substr(1), b) || b.size() < 5) {
      why = "malformed Intel Hex line '" + std::string(line) + "'";
      return false;
    }
    unsigned sum = 0;
    for (uint8_t x : b) sum += x;
    if (b[0] + 5u != b.size()) why = "count does not match the line '" + std::string(line) + "'";
    else if (sum % 256 != 0) why = "bad checksum in '" + std::string(line) + "'";
    else if (b[3] > 1 || (b[3] == 1) != (b[0] == 0)) why = "bad record type in '" + std::string(line) + "'";
    if (!why.empty()) return false;
    Record r;
    r.type = b[3];
    r.address = static_cast<uint32_t>(b[1] << 8 | b[2]);
    r.data.assign(b.begin() + 4, b.end() - 1);
    records.push_back(std::move(r));
  }
  return true;
}

inline bool ParseS(std::string_view text, int variant, std::vector<Record>& records, std::string& why) {
  std::vector<std::string_view> lines;
  if (!SplitLines(text, "\n", lines, why)) return false;
  for (std::string_view line : lines) {
    std::vector<uint8_t> b;
    const int type = line.size() >= 2 ? line[1] - '0' : -1;
    if (line.size() < 4 || line[0] != 'S' || !DecodeHex(line.substr(2), b) || b.empty()) {
      why = "malformed S-record '" + std::string(line) + "'";
      return false;
    }
    unsigned sum = 0;
    for (uint8_t x : b) sum += x;
    const std::size_t abytes = type == 0 ? 2 : static_cast<std::size_t>(variant + 1);
    if (b[0] + 1u != b.size()) why = "count does not match the record '" + std::string(line) + "'";
    else if (sum % 256 != 0xFF) why = "bad checksum in '" + std::string(line) + "'";
    else if (type != 0 && type != variant && type != 10 - variant) why = "bad record type in '" + std::string(line) + "'";
    else if (b.size() < abytes + 2) why = "record too short '" + std::string(line) + "'";
    else if (type == 0 && line != "S00B00005472656C6F6E2D4310") why = "wrong header record '" + std::string(line) + "'";
    else if (type == variant && (b.size() == abytes + 2 || b.size() > abytes + 2 + 32)) why = "data record size '" + std::string(line) + "'";
    else if (type == 10 - variant && b.size() != abytes + 2) why = "termination record with data '" + std::string(line) + "'";
    if (!why.empty()) return false;
    Record r;
    r.type = type;
    for (std::size_t i = 1; i <= abytes; ++i) r.address = r.address << 8 | b[i];
    r.data.assign(b.begin() + 1 + static_cast<std::ptrdiff_t>(abytes), b.end() - 1);
    records.push_back(std::move(r));
  }
  return true;
}

inline bool ParsePdp(std::string_view bytes, std::vector<Record>& records, std::string& why) {
  std::size_t p = 0;
  while (p < bytes.size()) {
    if (bytes.size() - p < 7) {
      why = "truncated PDP-11 record at " + std::to_string(p);
      return false;
    }
    auto at = [&](std::size_t i) { return static_cast<uint8_t>(bytes[p + i]); };
    const unsigned count = at(2) | at(3) << 8;
    if (at(0) != 1 || at(1) != 0 || count < 6 || count > 56 || bytes.size() - p < count + 1) {
      why = "malformed PDP-11 record at " + std::to_string(p);
      return false;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i <= count; ++i) sum += at(i);
    if (sum % 256 != 0) {
      why = "bad PDP-11 checksum at " + std::to_string(p);
      return false;
    }
    Record r;
    r.type = count == 6 ? 1 : 0;
    r.address = at(4) | at(5) << 8;
    for (std::size_t i = 6; i < count; ++i) r.data.push_back(at(i));
    records.push_back(std::move(r));
    p += count + 1;
  }
  return true;
}

// The hex text dump: lines of `per_line` bytes as digits, each ended by
// CR LF, the last one shorter; `complete` asks for the last line end too.
inline bool ParseHexText(std::string_view text, int per_line, bool complete, std::vector<uint8_t>& bytes,
                         std::string& why) {
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    const std::string_view line = text.substr(0, end);
    if (line.empty() || static_cast<int>(line.size()) > 2 * per_line || !DecodeHex(line, bytes)) {
      why = "malformed hex text line '" + std::string(line) + "'";
      return false;
    }
    if (end == std::string_view::npos) {
      if (complete) why = "last hex text line not ended";
      return !complete;
    }
    text.remove_prefix(end + 2);
    if (!text.empty() && static_cast<int>(line.size()) != 2 * per_line) {
      why = "short hex text line in the middle";
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// What a run printed last.

struct Ending {
  bool write_failed = false;  // "Could not write" at the end
  bool error = false;         // the two lines of a module or option error
  int code = -1;
  long line = -1;
  bool completed = false;  // the module end was reached and the run finished
  bool summary = false;    // ... with the address summary
  uint32_t first = 0, last = 0, length = 0;
};

inline const char* const kErrorTexts[12] = {
    "No hex number",          "Line truncated",        "Checksum error",
    "No MUFOM command",       "Binary too long",       "value too big",
    "Illegal MUFOM format",   "Address too big",       "Illegal number",
    "Unexpected end of file", "Binary not contiguous", "Bad command line options",
};

inline bool ParseHex32(std::string_view s, uint32_t& v) {
  if (s.size() != 8) return false;
  v = 0;
  for (char c : s) {
    const int d = HexValue(c);
    if (d < 0) return false;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  return true;
}

// Reads the end of the console text; returns a description of what is wrong
// with it, or "".
inline std::string ReadEnding(std::string_view console, Ending& e) {
  const std::string wf = std::string("Could not write ") + kOutName + "\n";
  if (EndsWith(console, wf)) {
    e.write_failed = true;
    return "";
  }
  constexpr std::string_view kErr = "\nError in muf file: ";
  constexpr std::string_view kBuf = "\nInternal buffer size: 131072 bytes\n";
  const std::size_t at = console.rfind(kErr);
  if (at != std::string_view::npos && EndsWith(console, kBuf)) {
    const std::string_view middle = console.substr(at + kErr.size(), console.size() - kBuf.size() - at - kErr.size());
    const std::size_t in_line = middle.rfind(" in line ");
    if (in_line == std::string_view::npos) return "error message without a line number";
    const std::string text(middle.substr(0, in_line));
    for (int c = 0; c < 12; ++c)
      if (text == kErrorTexts[c]) e.code = c;
    if (e.code < 0) return "unknown error text '" + text + "'";
    const std::string number(middle.substr(in_line + 9));
    char* end = nullptr;
    e.line = std::strtol(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0') return "bad line number '" + number + "'";
    e.error = true;
    return "";
  }
  if (EndsWith(console, "\nModule End")) {
    e.completed = true;
    return "";
  }
  constexpr std::string_view kFirst = "\nFirst address:         ", kLast = "\nLast address:          ",
                             kLength = "\nLength:                ";
  const std::size_t n = 3 * 23 + 3 * 8 + 4;
  if (console.size() >= n) {
    const std::string_view t = console.substr(console.size() - n);
    if (t.substr(0, 24) == kFirst && t.substr(32, 24) == kLast && t.substr(64, 24) == kLength && t.back() == '\n' &&
        ParseHex32(t.substr(24, 8), e.first) && ParseHex32(t.substr(56, 8), e.last) &&
        ParseHex32(t.substr(88, 8), e.length)) {
      e.completed = e.summary = true;
      return "";
    }
  }
  return "the console text ends with neither an error, the summary nor the module end";
}

// The value of the last start address assignment in the trace, 0 if none.
inline uint32_t TracedStart(std::string_view console) {
  constexpr std::string_view kStart = "\nStart address:         ";
  const std::size_t at = console.rfind(kStart);
  if (at == std::string_view::npos) return 0;
  uint32_t v = 0;
  for (std::size_t i = at + kStart.size(); i < console.size() && HexValue(console[i]) >= 0; ++i)
    v = v << 4 | static_cast<uint32_t>(HexValue(console[i]));
  return v;
}

inline uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
                               static_cast<uint8_t>(b[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}

inline unsigned Le16(std::string_view b, std::size_t at) {
  return static_cast<unsigned>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

inline bool AllZero(std::string_view b) {
  for (char c : b)
    if (c != 0) return false;
  return true;
}

// Checks the records of a run: the header first (S-records), data records of
// 1 to `per_record` bytes, and, when `closed`, exactly one end record, last.
// In image mode (`sorted`) the data also runs without a gap from `first`
// (modulo the address width), in records of `per_record` bytes but the
// last, `length` bytes in all, and the end record carries `start`.
inline std::string CheckRecords(const std::vector<Record>& records, int data_type, int end_type, bool header,
                                int per_record, bool closed, bool sorted, uint32_t mask, uint32_t first,
                                uint32_t length, uint32_t start) {
  std::size_t i = 0;
  if (header) {
    if (records.empty() || records[0].type != 0) return "the S0 header record is not first";
    i = 1;
  }
  uint64_t total = 0;
  uint32_t next = first & mask;
  for (; i < records.size(); ++i) {
    const Record& r = records[i];
    if (r.type == end_type) break;
    if (r.type != data_type) return "unexpected record type " + std::to_string(r.type) + " at record " + std::to_string(i);
    if (r.data.empty() || static_cast<int>(r.data.size()) > per_record) return "data record of " + std::to_string(r.data.size()) + " bytes";
    if (sorted) {
      if (r.address != next) return "image records not consecutive at record " + std::to_string(i);
      if (total + r.data.size() < length && static_cast<int>(r.data.size()) != per_record)
        return "short image record before the last";
      next = static_cast<uint32_t>((next + r.data.size()) & mask);
    }
    total += r.data.size();
  }
  if (!closed) {
    if (i != records.size()) return "end record in an output that ended in an error";
    return "";
  }
  if (i + 1 != records.size()) return i == records.size() ? "no end record" : "records after the end record";
  if (sorted) {
    if (total != length) return "image records hold " + std::to_string(total) + " bytes, the summary says " + std::to_string(length);
    if (records[i].address != (start & mask)) return "end record does not carry the start address";
  }
  return "";
}

// ---------------------------------------------------------------------------
// The properties of one run. Returns "" or what is wrong.
inline std::string Check(const Run& r) {
  const RunState& s = r.state;
  Ending e;
  if (std::string why = ReadEnding(r.console, e); !why.empty()) return why;

  // The status and the write failure report agree with what the output did.
  if (e.write_failed) {
    if (r.status != 1) return "write failure reported with status " + std::to_string(r.status);
    if (!r.refused) return "write failure reported but no write failed";
    return "";  // the output is cut at an arbitrary point
  }
  if (r.refused) return "a write failed but the run did not report it";
  if (r.status != 0) return "status " + std::to_string(r.status) + " without a write failure";

  std::string_view out = r.output;
  if (e.error) {
    if (e.code == 1 || e.code == 5) return "error code " + std::to_string(e.code) + " is never raised";
    if (e.code == 11) {
      if (e.line != 0) return "option error not in line 0";
      if (!out.empty()) return "output after an option error";
      return "";
    }
    const long lines = 1 + static_cast<long>(Count(r.module, "\n"));
    if (e.line < 1 || e.line > lines) return "error line " + std::to_string(e.line) + " outside the module";
    if (e.code == 2) {
      // The expected sum (below 0x80) stands as two hex digits at the end.
      std::vector<uint8_t> sum;
      if (out.size() < 2 || !DecodeHex(out.substr(out.size() - 2), sum) || sum[0] >= 0x80)
        return "checksum error without the expected sum in the output";
      out.remove_suffix(2);
    }
  } else if (!e.completed) {
    return "run neither completed nor failed";
  }
  const bool asl = r.console.find("\nLowest address:        ") != std::string::npos;
  if (e.completed && e.summary != asl) return e.summary ? "summary without a lowest address" : "no summary after a lowest address";

  const bool closed = e.completed;
  const uint32_t start = TracedStart(r.console);

  if (s.unfill != 0) {
    std::vector<Record> records;
    std::string why;
    if (s.intelhex != 0) {
      if (!ParseIntel(out, records, why)) return why;
      return CheckRecords(records, 0, 1, false, 32, closed, false, 0xFFFF, 0, 0, 0);
    }
    if (s.motorolas != 0) {
      if (!ParseS(out, s.formats, records, why)) return why;
      return CheckRecords(records, s.formats, 10 - s.formats, true, 32, closed, false, 0, 0, 0, 0);
    }
    if (!ParsePdp(out, records, why)) return why;
    return CheckRecords(records, 0, 1, false, 50, closed, false, 0xFFFF, 0, 0, 0);
  }

  if (s.contiguous != 0) {
    // The stream starts at the lowest address (ASL) in force at the switch
    // and ends at first + length. With a single lowest address, set before
    // the switch, the output holds exactly the bytes between. (The summary's
    // length alone is not that count: an image-mode ASP below the window,
    // before the switch, lowers the first address but not the stream's.)
    constexpr std::string_view kLowest = "\nLowest address:        ";
    const std::size_t switched = r.console.find("Binary must be contiguous");
    const std::size_t lowest = r.console.find(kLowest);
    const bool counted = e.summary && Count(r.console, kLowest) == 1 && lowest < switched;
    uint32_t streamed = 0;
    if (counted) {
      std::size_t end = r.console.find('\n', lowest + 1), digits = end;
      while (digits > lowest && HexValue(r.console[digits - 1]) >= 0) --digits;
      uint32_t base = 0;
      for (std::size_t k = digits; k < end; ++k) base = base << 4 | static_cast<uint32_t>(HexValue(r.console[k]));
      streamed = e.first + e.length - base;
    }
    if (s.byteoutput != 0) {
      if (counted && out.size() != streamed)
        return "contiguous binary of " + std::to_string(out.size()) + " bytes, summary says " + std::to_string(streamed);
      return "";
    }
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ParseHexText(out, 39, e.summary, bytes, why)) return why;
    if (counted && bytes.size() != streamed)
      return "contiguous hex text of " + std::to_string(bytes.size()) + " bytes, summary says " + std::to_string(streamed);
    return "";
  }

  // Image mode: nothing is written before the module has been read.
  if (!e.summary || (s.binoutput | s.hexoutput | s.intelhex | s.motorolas | s.pdp11 | s.exeout | s.tosout) == 0) {
    if (!out.empty()) return "image mode wrote " + std::to_string(out.size()) + " bytes without an emission";
    return "";
  }
  if (e.length >= static_cast<uint32_t>(kImageSize)) return "image longer than the buffer";
  const uint32_t length = e.length;
  if (s.binoutput != 0 || s.hexoutput != 0) {
    std::string bytes;
    if (s.binoutput != 0) {
      bytes.assign(out);
    } else {
      std::vector<uint8_t> decoded;
      std::string why;
      if (!ParseHexText(out, 39, true, decoded, why)) return why;
      bytes.assign(decoded.begin(), decoded.end());
    }
    const std::size_t head = s.head256 != 0 ? 256 : 0;
    if (bytes.size() != length + head)
      return "image output of " + std::to_string(bytes.size()) + " bytes, summary says " + std::to_string(length) + (head ? " + 256" : "");
    if (head != 0 && (Le32(bytes, 0) != e.first || Le32(bytes, 4) != length || Le32(bytes, 8) != start ||
                      !AllZero(std::string_view(bytes).substr(12, 244))))
      return "header does not match the summary";
    return "";
  }
  std::vector<Record> records;
  std::string why;
  if (s.intelhex != 0) {
    if (!ParseIntel(out, records, why)) return why;
    return CheckRecords(records, 0, 1, false, 32, true, true, 0xFFFF, e.first, length, start);
  }
  if (s.motorolas != 0) {
    if (!ParseS(out, s.formats, records, why)) return why;
    const uint32_t mask = s.formats == 3 ? 0xFFFFFFFFu : (s.formats == 2 ? 0xFFFFFFu : 0xFFFFu);
    return CheckRecords(records, s.formats, 10 - s.formats, true, 32, true, true, mask, e.first, length, start);
  }
  if (s.pdp11 != 0) {
    if (!ParsePdp(out, records, why)) return why;
    return CheckRecords(records, 0, 1, false, 50, true, true, 0xFFFF, e.first, length, start);
  }
  if (s.exeout != 0) {
    if (e.first != 0) {
      if (!out.empty() || r.console.find("Load address <> 0! Use .LOC 0\n") == std::string::npos)
        return "EXE of a module not at 0";
      return "";
    }
    const uint64_t stack = s.typexe == 1 && s.stack_size > 0 ? uint64_t{16} * static_cast<uint64_t>(s.stack_size) : 0;
    const uint64_t pad = (16 - length % 16) % 16;
    const uint64_t size = 512 + stack + length + pad;
    if (out.size() != size) return "EXE of " + std::to_string(out.size()) + " bytes, expected " + std::to_string(size);
    if (out[0] != 'M' || out[1] != 'Z' || Le16(out, 8) != 32) return "EXE header signature";
    if (s.typexe != 1 || s.stack_size >= 0) {  // a negative E1 stack is not written
      const uint64_t paragraphs = size / 16;
      if (Le16(out, 2) != (paragraphs % 32) * 16 % 65536 || Le16(out, 4) != (paragraphs + 31) / 32 % 65536)
        return "EXE page fields do not match the file size";
    }
    if (!AllZero(out.substr(512, stack)) || !AllZero(out.substr(out.size() - pad)))
      return "EXE stack or padding not zero";
    if (r.console.find(std::to_string(static_cast<int32_t>(size)) + " bytes written\n") == std::string::npos)
      return "EXE byte count not reported";
    return "";
  }
  // TOS.
  if (e.first != 0 || start != 0 || length == 0) {
    if (!out.empty()) return "TOS file written although a check failed";
    return "";
  }
  const uint32_t text = length + (length & 1);
  if (out.size() != text + 34) return "TOS file of " + std::to_string(out.size()) + " bytes, expected " + std::to_string(text + 34);
  const uint32_t declared = static_cast<uint32_t>(static_cast<uint8_t>(out[2])) << 24 |
                            static_cast<uint32_t>(static_cast<uint8_t>(out[3])) << 16 |
                            static_cast<uint32_t>(static_cast<uint8_t>(out[4])) << 8 | static_cast<uint8_t>(out[5]);
  if (static_cast<uint8_t>(out[0]) != 0x60 || out[1] != 0x1A || declared != text || !AllZero(out.substr(6, 22)) ||
      !AllZero(out.substr(28 + length)))
    return "TOS header or tail";
  return "";
}

// ---------------------------------------------------------------------------
// One module in every format. The formats must agree with each other: every
// image format carries the bytes of the raw binary, the hex text carries the
// raw stream, and the streamed record formats carry the same bytes at the
// same addresses. Another fill byte changes only the bytes nothing loaded.

struct Converted {
  std::unique_ptr<Run> run;
  Ending end;
  std::string out;  // the output without the expected sum of a checksum error
  std::string problem;
};

inline Converted ConvertChecked(const std::string& word, const std::string& module) {
  Converted c;
  c.run = std::make_unique<Run>(word, module);
  c.run->Execute();
  c.problem = Check(*c.run);
  if (!c.problem.empty()) c.problem = word + ": " + c.problem;
  ReadEnding(c.run->console, c.end);
  c.out = c.run->output;
  if (c.end.error && c.end.code == 2 && c.out.size() >= 2) c.out.resize(c.out.size() - 2);
  return c;
}

inline bool Finished(const Converted& c) { return !c.end.write_failed; }

// Runs that read the module the same way end the same way.
inline bool SameEnding(const Converted& a, const Converted& b) {
  if (!Finished(a) || !Finished(b)) return true;
  return a.end.error == b.end.error && a.end.code == b.end.code && a.end.line == b.end.line &&
         a.end.summary == b.end.summary && a.end.first == b.end.first && a.end.last == b.end.last &&
         a.end.length == b.end.length;
}

// Whether `whole` holds `part` from `at` on.
inline bool HoldsAt(const std::string& whole, std::size_t at, const std::string& part) {
  return whole.size() >= at && whole.size() - at >= part.size() && whole.compare(at, part.size(), part) == 0;
}

// All hex digit pairs of a (possibly cut) hex text, line ends skipped.
inline std::string HexStream(const std::string& text) {
  std::string bytes;
  int high = -1;
  for (char ch : text) {
    const int d = HexValue(ch);
    if (d < 0) continue;
    if (high < 0) {
      high = d;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + d));
      high = -1;
    }
  }
  return bytes;
}

inline std::vector<Record> RecordsOf(const Converted& c) {
  std::vector<Record> records;
  std::string why;
  const RunState& s = c.run->state;
  if (s.intelhex != 0) ParseIntel(c.out, records, why);
  else if (s.motorolas != 0) ParseS(c.out, s.formats, records, why);
  else ParsePdp(c.out, records, why);
  return records;
}

// The data bytes of the data records, in order, and the low 16 bits of the
// address of each.
inline void Flatten(const Converted& c, std::string& bytes, std::vector<uint16_t>& addresses) {
  const RunState& s = c.run->state;
  const int data_type = s.motorolas != 0 ? s.formats : 0;
  for (const Record& r : RecordsOf(c)) {
    if (r.type != data_type) continue;
    for (std::size_t k = 0; k < r.data.size(); ++k) {
      bytes.push_back(static_cast<char>(r.data[k]));
      addresses.push_back(static_cast<uint16_t>(r.address + k));
    }
  }
}

// `line` holds the modifiers (only the offset, fill byte and filter are
// taken from it); returns "" or what is wrong.
inline std::string CheckFormats(std::string_view line, const std::string& module) {
  std::string mods;
  for (char ch : line)
    if (ch == 'A' || ch == 'Z' || ch == 'F' || (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f')) mods += ch;
  auto differs = [](const Converted& c, const std::string& what) { return c.run->word + ": " + what; };

  // Raw binary and hex text.
  const Converted b = ConvertChecked("/B" + mods, module);
  if (!b.problem.empty()) return b.problem;
  const Converted h = ConvertChecked("/H" + mods, module);
  if (!h.problem.empty()) return h.problem;
  if (!SameEnding(b, h)) return differs(h, "ends differently from /B");
  if (b.run->state.contiguous != h.run->state.contiguous) return differs(h, "contiguous differs from /B");
  // The fill byte: with two other fill bytes, every byte of the output is
  // either the same in all three runs (loaded) or the fill byte of each.
  const Converted fill_aa = ConvertChecked("/BZaax" + mods, module);
  if (!fill_aa.problem.empty()) return fill_aa.problem;
  const Converted fill_55 = ConvertChecked("/BZ55x" + mods, module);
  if (!fill_55.problem.empty()) return fill_55.problem;
  if (!SameEnding(b, fill_aa) || !SameEnding(b, fill_55)) return differs(fill_aa, "ends differently from /B");
  if (Finished(b) && Finished(fill_aa) && Finished(fill_55)) {
    if (fill_aa.out.size() != b.out.size() || fill_55.out.size() != b.out.size())
      return differs(fill_aa, "another fill byte changes the output size");
    const char fill = static_cast<char>(b.run->state.init_value & 0xFF);
    for (std::size_t k = 0; k < b.out.size(); ++k) {
      const bool loaded = fill_aa.out[k] == fill_55.out[k] && fill_aa.out[k] == b.out[k];
      const bool filled = fill_aa.out[k] == '\xAA' && fill_55.out[k] == '\x55' && b.out[k] == fill;
      if (!loaded && !filled) return differs(fill_aa, "byte " + std::to_string(k) + " is neither loaded nor fill");
    }
  }

  const std::string h_bytes = HexStream(h.out);
  if (b.run->state.contiguous != 0) {
    // Both stream the same bytes; a run that stopped early holds a prefix.
    const std::size_t n = std::min(b.out.size(), h_bytes.size());
    if (b.out.compare(0, n, h_bytes, 0, n) != 0) return differs(h, "hex stream differs from the raw stream");
    if (b.end.summary && h.end.summary && b.out != h_bytes) return differs(h, "hex stream longer or shorter than the raw stream");
    return "";
  }
  if (Finished(b) && Finished(h) && b.out != h_bytes) return differs(h, "hex text differs from the raw binary");

  const Converted bh = ConvertChecked("/BH" + mods, module);
  if (!bh.problem.empty()) return bh.problem;
  if (!SameEnding(b, bh)) return differs(bh, "ends differently from /B");
  if (b.end.summary && !HoldsAt(bh.out, 256, b.out)) return differs(bh, "image behind the header differs from the raw binary");

  // Every other image format holds the same image.
  for (const char* format : {"/IC", "/M1C", "/M2C", "/M3C", "/PC"}) {
    const Converted c = ConvertChecked(format + mods, module);
    if (!c.problem.empty()) return c.problem;
    if (!SameEnding(b, c)) return differs(c, "ends differently from /B");
    if (!b.end.summary) continue;
    std::string bytes;
    std::vector<uint16_t> addresses;
    Flatten(c, bytes, addresses);
    if (bytes != b.out) return differs(c, "records carry other bytes than the raw binary");
  }
  const Converted exe = ConvertChecked("/E3S0x" + mods, module);
  if (!exe.problem.empty()) return exe.problem;
  if (!SameEnding(b, exe)) return differs(exe, "ends differently from /B");
  if (b.end.summary && b.end.first == 0 && !HoldsAt(exe.out, 512, b.out)) return differs(exe, "image differs from the raw binary");
  const Converted tos = ConvertChecked("/T" + mods, module);
  if (!tos.problem.empty()) return tos.problem;
  if (!SameEnding(b, tos)) return differs(tos, "ends differently from /B");
  if (b.end.summary && !tos.out.empty() && !HoldsAt(tos.out, 28, b.out)) return differs(tos, "image differs from the raw binary");

  // Streamed records: the same bytes at the same addresses in every format,
  // and the same record boundaries where the record size is the same.
  const Converted i = ConvertChecked("/I" + mods, module);
  if (!i.problem.empty()) return i.problem;
  std::string i_bytes;
  std::vector<uint16_t> i_addresses;
  Flatten(i, i_bytes, i_addresses);
  const std::vector<Record> i_records = RecordsOf(i);
  for (const char* format : {"/M1", "/M2", "/M3", "/P"}) {
    const Converted c = ConvertChecked(format + mods, module);
    if (!c.problem.empty()) return c.problem;
    if (!SameEnding(i, c)) return differs(c, "ends differently from /I");
    if (!Finished(i) || !Finished(c)) continue;
    std::string bytes;
    std::vector<uint16_t> addresses;
    Flatten(c, bytes, addresses);
    // A record is written when it is full or ends: on an error the bytes
    // still pending are lost, and more of them with longer records, so only
    // what both runs wrote is compared.
    const std::size_t n = i.end.error ? std::min(bytes.size(), i_bytes.size()) : bytes.size();
    if ((!i.end.error && bytes.size() != i_bytes.size()) || bytes.compare(0, n, i_bytes, 0, n) != 0 ||
        !std::equal(addresses.begin(), addresses.begin() + static_cast<std::ptrdiff_t>(n), i_addresses.begin()))
      return differs(c, "streamed records differ from /I");
    if (format[1] == 'M') {
      const std::vector<Record> records = RecordsOf(c);
      std::size_t k = 1;  // behind the header
      for (const Record& r : i_records) {
        if (r.type != 0) continue;
        if (k >= records.size() || records[k].data != r.data) return differs(c, "record boundaries differ from /I");
        ++k;
      }
    }
  }
  return "";
}

// Bytes 0x00 to 0x1F (but the line feed) and 0x80 to 0xFF are invisible in
// a module wherever they stand, so a carriage return after every character
// must change nothing: not the trace, not the line numbers, not the output.
// It also keeps the reader off any path that takes several characters at
// once, so both ways of reading are compared.
inline std::string CheckSkippedBytesChangeNothing(const Run& r) {
  std::string spread;
  spread.reserve(2 * r.module.size());
  for (char ch : r.module) {
    spread += ch;
    spread += '\r';
  }
  Run other(r.word, spread, r.cap);
  other.Execute();
  if (other.status != r.status) return "carriage returns change the status";
  if (other.console != r.console) return "carriage returns change the console text:\n" + other.console;
  if (other.refused != r.refused || other.output != r.output) return "carriage returns change the output";
  return "";
}

// Splits a fuzz input into the option word (its first line) and the module.
inline void SplitInput(std::string_view in, std::string& word, std::string& module) {
  const std::size_t nl = in.find('\n');
  word.assign(in.substr(0, nl));
  module.assign(nl == std::string_view::npos ? std::string_view() : in.substr(nl + 1));
}

}  // namespace trelon::fuzz
