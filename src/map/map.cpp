#include "map/map.hpp"

#include <algorithm>
#include <bit>
#include <cctype>

namespace trelon {

namespace {

// The record format's name.
std::string FormatName(const Options& o) {
  return o.format == Format::kSRecords ? "/M" + std::to_string(o.variant)
         : o.format == Format::kPdp11  ? "/P"
                                       : "/I";
}

}  // namespace

std::optional<MapForm> MapFormOf(std::string_view path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || path.find_first_of("/\\", dot) != std::string_view::npos)
    return std::nullopt;
  std::string extension(path.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "txt") return MapForm::kText;
  if (extension == "json") return MapForm::kJson;
  if (extension == "svg") return MapForm::kSvg;
  return std::nullopt;
}

void WriteMap(std::FILE* to, MapForm form, const LoadAccount& account, const Options& options) {
  switch (form) {
    case MapForm::kText: return WriteText(to, account, options);
    case MapForm::kJson: return WriteJson(to, account, options);
    case MapForm::kSvg: return WriteSvg(to, account, options);
  }
}

std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(v));
  return text;
}

std::string LossText(Loss why, const LossTally& t, const LoadAccount& account, const Options& options) {
  const char* verb = why == Loss::kMoved || why == Loss::kPastWidth ? "written" : "not written";
  std::string text =
      Bytes(t.bytes) + " from " + Hex(t.first) + " on " + (t.bytes == 1 ? "is " : "are ") + verb;
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
      const std::string held = t.first >> 32 != 0   ? "no format holds addresses past FFFFFFFF"
                               : t.other >> 24 != 0 ? "/M3 holds 32-bit addresses"
                                                    : "/M2 holds 24-bit addresses";
      return text + " at wrong addresses: past the " +
             std::to_string(std::countr_zero(account.address_limit)) + "-bit addresses of " +
             FormatName(options) + " (" + held + ")";
    }
    case Loss::kMoved:
      if (account.switch_line != 0)
        return text + " at " + Hex(t.other) +
               " on: the stream writes on where it stands, whatever address an ASL or LD gives";
      return text + " at " + Hex(t.other) + " on: the ASL in line " + std::to_string(account.rebase_line) +
             " placed the image elsewhere after the load";
  }
  return text;
}

const char* SectionName(const LoadAccount& account, const LoadedRange& r) {
  const std::string& name = account.sections()[r.section];
  return name.empty() ? "-" : name.c_str();
}

std::optional<uint64_t> FileOffset(const LoadAccount& account, const LoadedRange& r) {
  if (!account.file) return std::nullopt;
  const FilePlace& f = *account.file;
  const uint32_t offset = r.first - f.first;
  if (r.shift != f.shift || offset >= f.length) return std::nullopt;  // moved, or left out
  return f.data + offset;
}

std::vector<Overlap> OverlapsByAddress(const LoadAccount& account) {
  std::vector<Overlap> overlaps = account.overlaps();
  std::stable_sort(overlaps.begin(), overlaps.end(),
                   [](const Overlap& a, const Overlap& b) { return a.first < b.first; });
  return overlaps;
}

uint64_t LoadedBytes(const LoadAccount& account) {
  uint64_t loaded = 0;
  account.ForEach([&](const LoadedRange& r) { loaded += r.length; });
  return loaded;
}

}  // namespace trelon
