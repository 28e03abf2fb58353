#include "cli/map.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace trelon {

namespace {

// "1 byte" or "N bytes".
std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(v));
  return text;
}

// The record format's name and the bits of its addresses.
std::string FormatName(const Options& o) {
  return o.format == Format::kSRecords ? "/M" + std::to_string(o.variant)
         : o.format == Format::kPdp11  ? "/P"
                                       : "/I";
}
int AddressBits(const Options& o) { return o.format == Format::kSRecords ? 8 * (o.variant + 1) : 16; }

// What became of bytes lost one way: "16 bytes from FFFFFFF0 on are not
// written: ...".
std::string Lost(Loss why, const LossTally& t, const LoadAccount& account, const Options& options) {
  const char* verb = why == Loss::kMoved || why == Loss::kPastWidth ? "written" : "not written";
  std::string text = Bytes(t.bytes) + " from " + Hex(t.first) + " on " + (t.bytes == 1 ? "is " : "are ") + verb;
  switch (why) {
    case Loss::kPastWindow:
      return text + ": past the end of the image at " + Hex(account.image_end) +
             (account.window_wrapped ? " (a section's end wrapped past FFFFFFFF to the bottom of memory)"
                                     : " (an ASS or ASP sets where it ends)");
    case Loss::kBeforeLowest: return text + ": loaded before any ASL placed the image";
    case Loss::kBeforeStream:
      return text + ": held in the image when the ASS in line " + std::to_string(account.switch_line) +
             " switched to streaming (give every ASS before the data)";
    case Loss::kPastWidth: {
      const std::string held = t.other >> 32 != 0   ? "no format holds addresses past FFFFFFFF"
                               : t.other >> 24 != 0 ? "/M3 holds 32-bit addresses"
                                                    : "/M2 holds 24-bit addresses";
      return text + " at wrong addresses: past the " + std::to_string(AddressBits(options)) + "-bit addresses of " +
             FormatName(options) + " (" + held + ")";
    }
    case Loss::kMoved:
      if (account.switch_line != 0)
        return text + " at " + Hex(t.other) + " on: the stream writes on where it stands, whatever address an ASL or LD gives";
      return text + " at " + Hex(t.other) + " on: the ASL in line " + std::to_string(account.rebase_line) +
             " placed the image elsewhere after the load";
  }
  return text;
}

// The section of a range as the module writes it.
const char* SectionName(const LoadAccount& account, const LoadedRange& r) {
  const std::string& name = account.sections()[r.section];
  return name.empty() ? "-" : name.c_str();
}

// Where the output file holds the first byte of `r`, if it does.
std::optional<uint64_t> FileOffset(const LoadAccount& account, const LoadedRange& r) {
  if (!account.file) return std::nullopt;
  const FilePlace& f = *account.file;
  const uint32_t offset = r.first - f.first;
  if (r.shift != f.shift || offset >= f.length) return std::nullopt;  // moved, or left out
  return f.data + offset;
}

}  // namespace

bool WarnOfLoads(Console& console, const LoadAccount& account, const Options& options, const char* input,
                 bool ended) {
  const char* name = std::strcmp(input, "-") == 0 ? "<stdin>" : input;
  for (const Overlap& o : account.overlaps())
    console.Diagnostic("%s:%lld: warning: %s at %s-%s %s data loaded in line %lld\n", name,
                       static_cast<long long>(o.line), Bytes(o.length).c_str(), Hex(o.first).c_str(),
                       Hex(uint64_t{o.first} + o.length - 1).c_str(), o.length == 1 ? "replaces" : "replace",
                       static_cast<long long>(o.earlier_line));
  if (account.overlap_count() > account.overlaps().size())
    console.Note("%llu more loads over loaded data are not shown (--map lists them all)\n",
                 static_cast<unsigned long long>(account.overlap_count() - account.overlaps().size()));
  if (account.stopped_at() != 0)
    console.Note("more than %llu separate ranges are loaded: from line %lld on, loads are not checked for overlaps, "
                 "the start address or bytes the image leaves out (--map checks them all)\n",
                 static_cast<unsigned long long>(LoadAccount::kRangeLimit), static_cast<long long>(account.stopped_at()));
  if (!ended) return false;
  bool lost = false;
  for (int k = 0; k < kLosses; ++k) {
    const auto why = static_cast<Loss>(k);
    const LossTally& t = account.loss(why);
    if (t.bytes == 0) continue;
    lost = true;
    console.Diagnostic("%s:%lld: %s: %s\n", name, static_cast<long long>(t.line),
                       options.strict ? "error" : "warning", Lost(why, t, account, options).c_str());
  }
  if (account.start_line != 0 && account.stopped_at() == 0 && !account.Contains(account.start))
    console.Diagnostic("%s:%lld: warning: the start address %s lies outside every loaded range\n", name,
                       static_cast<long long>(account.start_line), Hex(account.start).c_str());
  return lost;
}

void PrintMap(std::FILE* to, const LoadAccount& account, const Options& options) {
  uint64_t loaded = 0;
  account.ForEach([&](const LoadedRange& r) { loaded += r.length; });
  const bool offsets = account.file.has_value();
  std::fprintf(to, "\nMemory map: %s loaded in %llu range%s\n", Bytes(loaded).c_str(),
               static_cast<unsigned long long>(account.size()),
               account.size() == 1 ? "" : "s");
  std::fprintf(to, "Section   First     Last      Length    %sLine\n", offsets ? "In file   " : "");
  uint64_t end = 0;
  bool any = false;
  account.ForEach([&](const LoadedRange& r) {
    if (any && r.first > end)
      std::fprintf(to, "  gap     %s  %s  %s\n", Hex(end).c_str(), Hex(r.first - 1).c_str(),
                   Hex(r.first - end).c_str());
    std::string offset;
    if (offsets) {
      const auto at = FileOffset(account, r);
      offset = (at ? Hex(*at) : std::string("-       ")) + "  ";
    }
    std::fprintf(to, "%-9s %s  %s  %s  %s%lld\n", SectionName(account, r), Hex(r.first).c_str(),
                 Hex(r.end() - 1).c_str(), Hex(r.length).c_str(), offset.c_str(), static_cast<long long>(r.line));
    end = r.end();
    any = true;
  });
  std::vector<Overlap> overlaps = account.overlaps();
  std::sort(overlaps.begin(), overlaps.end(), [](const Overlap& a, const Overlap& b) { return a.first < b.first; });
  for (const Overlap& o : overlaps)
    std::fprintf(to, "Overlap   %s  %s  %s  line %lld over line %lld\n", Hex(o.first).c_str(),
                 Hex(uint64_t{o.first} + o.length - 1).c_str(), Hex(o.length).c_str(),
                 static_cast<long long>(o.line), static_cast<long long>(o.earlier_line));
  if (account.start_line == 0) {
    std::fprintf(to, "Start     none given\n");
  } else {
    std::fprintf(to, "Start     %s  %s\n", Hex(account.start).c_str(),
                 account.Contains(account.start) ? "in a loaded range" : "outside every loaded range");
  }
  for (int k = 0; k < kLosses; ++k) {
    const auto why = static_cast<Loss>(k);
    const LossTally& t = account.loss(why);
    if (t.bytes > 0)
      std::fprintf(to, "Left out  %s (line %lld)\n", Lost(why, t, account, options).c_str(),
                   static_cast<long long>(t.line));
  }
}

}  // namespace trelon
