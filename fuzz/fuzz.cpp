// One module in all formats. The first line of an input holds modifiers (the
// offset A, fill byte Z and filter F with their values; anything else there is
// dropped, but a line that starts with "/" also runs as an option word), the
// rest is the module. Besides running clean under the sanitizers:
// - every format that carries the raw image (/B) carries its bytes at the
//   same addresses;
// - streamed records carry the bytes of /M3 at the same addresses, and where
//   the image window holds a streamed byte, the image holds that byte too;
// - invisible bytes between the characters of the module change nothing;
// - the SSE2 decoding of LD data gives what the AVX2 decoding gives;
// - an output whose close fails, or an input that fails halfway, ends the
//   run with "Could not write" or "Could not read" and status 1, after what
//   the run had done until then.
// The test suite runs the same checks over fuzz/corpus and fuzz/regressions.
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/run.hpp"
#include "cli/word.hpp"
#include "io/hex.hpp"

namespace {

using Loads = std::vector<std::pair<uint32_t, uint8_t>>;  // bytes with their addresses
constexpr auto npos = std::string::npos;

struct Out {
  std::string console, bytes;
  int status = 0;
  uint32_t first = 0;  // from the summary
};

std::string input;  // shown when a check fails

void Check(bool ok, const std::string& word, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "\n*** %s: %s\n--- input:\n%s\n", word.c_str(), what, input.c_str());
  std::abort();
}

// Reading fails after `good` bytes, closing when `bad_close`; past 1 MiB
// every write fails as on a full disk, since a 4 GB gap is legitimate.
Out Convert(const std::string& word, const std::string& module, std::size_t good = -1, bool bad_close = false,
            bool avx2 = true) {
  struct Io {
    const std::string& in;
    std::size_t good, pos;
    bool bad_close;
    std::string out;
  } io{module, std::min(good, module.size()), 0, bad_close, {}};
  cookie_io_functions_t in{}, out{};
  in.read = [](void* me, char* buffer, std::size_t n) -> ssize_t {
    auto* s = static_cast<Io*>(me);
    n = std::min(n, s->good - s->pos);
    std::memcpy(buffer, s->in.data() + s->pos, n);
    s->pos += n;
    return n > 0 || s->good == s->in.size() ? static_cast<ssize_t>(n) : -1;
  };
  out.write = [](void* me, const char* buffer, std::size_t n) -> ssize_t {
    auto* s = static_cast<Io*>(me);
    return s->out.size() + n > (1u << 20) ? 0 : (s->out.append(buffer, n), static_cast<ssize_t>(n));
  };
  out.close = [](void* me) { return static_cast<Io*>(me)->bad_close ? -1 : 0; };
  char* text = nullptr;
  std::size_t length = 0;
  std::FILE* console_file = open_memstream(&text, &length);
  trelon::Console console(console_file, console_file, nullptr);
  Out o;
  // Every other module also keeps every range and prints the memory map.
  static std::FILE* const map = std::fopen("/dev/null", "w");
  trelon::Options given;
  given.avx2 = avx2;
  given.map = module.size() % 2 == 1;
  o.status = trelon::ConvertStreams(trelon::ReadWord(word.c_str(), given), fopencookie(&io, "r", in),
                                    fopencookie(&io, "w", out), console, given.map ? map : nullptr);
  std::fclose(console_file);
  o.console.assign(text, length);
  std::free(text);
  o.bytes = std::move(io.out);
  const std::size_t at = o.console.rfind("\nFirst address:");
  if (at != npos) o.first = std::stoul(o.console.substr(at + 24, 8), nullptr, 16);
  return o;
}

// The bytes that the output of `format` carries, with their addresses cut to
// `mask`: the data of its records (none if a record has the wrong size), or
// the image behind its header.
Loads Carried(const char* format, const Out& o, std::size_t length, uint32_t mask) {
  Loads loads;
  const std::string& out = o.bytes;
  const char kind = format[1] == 'M' ? 'S' : format[1];
  std::string image;
  for (std::size_t i = 0; kind == 'H' && i + 1 < out.size(); i += 2)
    if (out[i] != '\r') image += static_cast<char>(std::stoul(out.substr(i, 2), nullptr, 16));
  const std::size_t head = kind == 'E' ? 512 : kind == 'T' ? 28 : format[2] == 'H' ? 256 : 0;
  if (kind != 'H') image = out.substr(std::min(head, out.size()), length);
  for (std::size_t k = 0; !std::strchr("ISP", kind) && k < image.size(); ++k)
    loads.emplace_back((o.first + k) & mask, image[k]);
  for (std::size_t p = 0, end; std::strchr("ISP", kind) && p < out.size(); p = end) {
    std::vector<unsigned> r;  // one record's bytes
    if (kind == 'P') {
      end = p + 3 < out.size() ? p + (uint8_t(out[p + 2]) | uint8_t(out[p + 3]) << 8) + 1 : out.size();
      for (std::size_t i = p; i < end && i < out.size(); ++i) r.push_back(uint8_t(out[i]));
    } else {
      end = std::min(out.find('\n', p), out.size()) + 1;
      for (std::size_t i = p + (kind == 'S' ? 2 : 1); i + 2 < end; i += 2)
        r.push_back(std::stoul(out.substr(i, 2), nullptr, 16));
    }
    const int t = kind == 'S' ? out[p + 1] - '0' : kind == 'I' && r.size() > 3 ? int(r[3]) : -1;
    const std::size_t width = t == 2 || t == 8 ? 3 : t == 3 || t == 7 ? 4 : 2;
    const std::size_t from = kind == 'S' ? 1 + width : kind == 'I' ? 4 : 6;
    unsigned address = 0;
    if (r.size() < from || r.size() != (kind == 'P' ? end - p : r[0] + (kind == 'S' ? 1u : 5u))) return {};
    if (kind == 'I' ? t != 0 : kind == 'S' ? t < 1 || t > 3 : r.size() == 7) continue;
    for (std::size_t k = 0; k < width; ++k)
      address = kind == 'P' ? address | r[4 + k] << 8 * k : address << 8 | r[1 + k];
    for (std::size_t k = from; k + 1 < r.size(); ++k) loads.emplace_back((address + k - from) & mask, r[k]);
  }
  return loads;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  input.assign(reinterpret_cast<const char*>(data), size);
  const std::size_t eol = std::min(input.find('\n'), size);
  const std::string line = input.substr(0, eol), module = input.substr(std::min(eol + 1, size));
  std::string mods, spread, text;
  for (const char c : line)
    if (c != 0 && std::strchr("AZF0123456789abcdef", c) != nullptr) mods += c;
  const char invisible[] = {'\x1f', '\x80', '\r', '\xff', '\0', '\t'};
  for (std::size_t i = 0; i < module.size(); ++i) spread += {module[i], invisible[i % sizeof invisible]};
  for (const char c : module)
    if (static_cast<signed char>(c) > 0x1F) text += c;
  const std::string word = "/B" + mods;
  const Out b = Convert(word, module), shut = Convert(word, module, -1, true);
  const Out cut = Convert(word, module, module.size() / 2);
  for (const std::string& w : {word, line}) {
    if (!w.starts_with("/")) continue;
    const Out o = w == word ? b : Convert(w, module), other = Convert(w, spread);
    Check(other.console == o.console && other.bytes == o.bytes, w, "invisible bytes change the run");
  }
  if (trelon::HasAvx2()) {
    // /B in image or contiguous mode, /M3 streamed, /IC through the image.
    for (const std::string& w : {word, "/M3" + mods, "/IC" + mods}) {
      for (const std::string& m : {module, spread}) {
        const Out narrow = Convert(w, m, -1, false, false), wide = Convert(w, m);
        Check(narrow.console == wide.console && narrow.bytes == wide.bytes && narrow.status == wide.status, w,
              "the SSE2 and AVX2 paths differ");
      }
    }
  }
  const std::string fresh = b.console.ends_with('\n') ? "" : "\n";  // the message begins its own line
  Check(b.status != 0 || (shut.console == b.console + fresh + "Could not write \n" && shut.bytes == b.bytes), word,
        "a failed close goes unreported");
  Check(b.status != 0 ||
            (cut.status == 1 ? cut.console.ends_with("Could not read \n") && b.bytes.starts_with(cut.bytes)
                             : cut.console == b.console && cut.bytes == b.bytes),
        word, "a failed read goes unreported, or other bytes come before it");

  // /B ended with its summary in image mode; /M3 ended without an error.
  const std::size_t summary = b.console.rfind("\nFirst address:");
  const bool image = b.status == 0 && summary != npos && b.console.size() == summary + 97 &&
                     b.console.find("contiguous") == npos;
  const Out m3 = Convert("/M3" + mods, module);
  const bool streamed = m3.status == 0 && m3.console.find("\nError in muf file") == npos;
  const Loads stream = Carried("/M3", m3, 0, 0xFFFFFFFF);
  for (const char* format :
       {"/H", "/BH", "/E3S0", "/T", "/IC", "/M1C", "/M2C", "/M3C", "/PC", "/I", "/M1", "/M2", "/P"}) {
    const bool records = std::strchr("IMP", format[1]), collected = !records || std::strchr(format, 'C');
    if (collected ? !image : !streamed) continue;
    const Out o = Convert(format + mods, module);
    const uint32_t mask = format[2] == '2' ? 0xFFFFFF : format[2] == '3' || !records ? 0xFFFFFFFF : 0xFFFF;
    const Loads want = collected ? Carried("/B", b, b.bytes.size(), mask) : Carried("/M3", m3, 0, mask);
    Check(((format[1] == 'E' || format[1] == 'T') && o.bytes.empty()) ||
              Carried(format, o, b.bytes.size(), mask) == want,
          format + mods, "carries other bytes or addresses than /B or /M3");
  }

  // The image keeps each address's last byte, where the window holds it. An
  // image moved below its lowest address, data before that, or a second one
  // put bytes elsewhere than the records do, so such modules are left out.
  const std::size_t asl = text.find("ASL"),
                    lowest = b.console.find(", ", b.console.find("\nLowest address:"));
  bool plain = image && streamed && asl != npos && text.find("ASL", asl + 1) == npos &&
               std::stoul(b.console.substr(lowest + 2), nullptr, 16) == b.first;
  for (const char* command : {"LD", "ASP", "ASS"}) plain = plain && text.substr(0, asl).find(command) == npos;
  std::map<uint32_t, uint8_t> last;
  for (const auto& [address, byte] : stream) last[address] = byte;
  for (const auto& [address, byte] : last)
    Check(!plain || address - b.first >= b.bytes.size() || uint8_t(b.bytes[address - b.first]) == byte,
          "/M3" + mods, "the image holds another byte than the streamed records");
  return 0;
}
